// The registry and settings operations the benchmarks time, each paired with
// the bare platform calls it makes on the same keys. Shared by the Google
// Benchmark program and the plain timing loop run under Wine.
#pragma once

#include <functional>
#include <string>

#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "bench/baseline_calls.h"

namespace quorvane::bench {

inline const std::u16string kBranch = u"Software\\QvBench\\Values";
inline const std::u16string kGoneBranch = kBranch + u"\\gone";
inline const char* const kAnsiBranch = "Software\\QvBench\\Values";
inline const char* const kAnsiGone = "Software\\QvBench\\Values\\gone";
inline const char* const kSettingBranch = "Software\\Quorvane\\QvBench\\Section";

// The library's arguments, made once as the bare calls' literals are, so that
// what is timed is what the library adds and not the caller's own strings.
inline const std::u16string kValueName = u"text";
inline const std::u16string kGoneName = u"gone";
inline const Variant kValues[2] = {Variant(u"a value"), Variant(u"b value")};
inline const Variant kGoneValue = Variant(u"x");
inline const std::u16string kApp = u"QvBench";
inline const std::u16string kSection = u"Section";
inline const std::u16string kKey = u"Key";
inline const Variant kSettings[2] = {Variant(u"value 1"), Variant(u"value 2")};
inline const Variant kDefault = Variant(u"default");

// The keys and values the operations work on.
inline void PrepareKeys() {
  Registry registry;
  registry.CreateKey(kHkeyCurrentUser, kBranch);
  registry.SetValue(kHkeyCurrentUser, kBranch, u"text", kRegSz, u"a value");
  for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
    registry.CreateKey(kHkeyCurrentUser, kBranch + u"\\child" + std::u16string(1, digit));
  }
  SelfRegisterClasses().QvSaveSetting(u"QvBench", u"Section", u"Key", u"value");
}

inline void RemoveKeys() {
  Registry registry;
  for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
    registry.DeleteKey(kHkeyCurrentUser, kBranch + u"\\child" + std::u16string(1, digit));
  }
  registry.DeleteKey(kHkeyCurrentUser, kBranch);
  registry.DeleteKey(kHkeyCurrentUser, u"Software\\QvBench");
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvBench\\Section");
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvBench");
}

using Call = std::function<void()>;

// Calls visit(name, library call, platform calls) for every operation.
template <typename Visit>
void ForEachOperation(Visit visit) {
  static Registry registry;
  static SelfRegisterClasses settings;
  visit("CreateKey", Call([] { registry.CreateKey(kHkeyCurrentUser, kBranch); }),
        Call([] { CreateKeyCalls(kHkeyCurrentUser, kAnsiBranch); }));
  visit("DeleteKey", Call([] {
          registry.CreateKey(kHkeyCurrentUser, kGoneBranch);
          registry.DeleteKey(kHkeyCurrentUser, kGoneBranch);
        }),
        Call([] {
          CreateKeyCalls(kHkeyCurrentUser, kAnsiGone);
          DeleteKeyCalls(kHkeyCurrentUser, kAnsiGone);
        }));
  // Writes change the data each time: a database would skip rewriting the same.
  visit("SetValue", Call([] {
          static bool odd = false;
          odd = !odd;
          registry.SetValue(kHkeyCurrentUser, kBranch, kValueName, kRegSz, kValues[odd ? 1 : 0]);
        }),
        Call([] {
          static bool odd = false;
          odd = !odd;
          SetStringCalls(kHkeyCurrentUser, kAnsiBranch, "text", odd ? "b value" : "a value");
        }));
  visit("QueryValue",
        Call([] { (void)registry.QueryValue(kHkeyCurrentUser, kBranch, kValueName); }),
        Call([] { QueryStringCalls(kHkeyCurrentUser, kAnsiBranch, "text"); }));
  visit("QueryType", Call([] { (void)registry.QueryType(kHkeyCurrentUser, kBranch, kValueName); }),
        Call([] { QueryTypeCalls(kHkeyCurrentUser, kAnsiBranch, "text"); }));
  visit("DeleteValue", Call([] {
          registry.SetValue(kHkeyCurrentUser, kBranch, kGoneName, kRegSz, kGoneValue);
          registry.DeleteValue(kHkeyCurrentUser, kBranch, kGoneName);
        }),
        Call([] {
          SetStringCalls(kHkeyCurrentUser, kAnsiBranch, "gone", "x");
          DeleteValueCalls(kHkeyCurrentUser, kAnsiBranch, "gone");
        }));
  visit("GetBranchNames", Call([] { (void)registry.GetBranchNames(kHkeyCurrentUser, kBranch); }),
        Call([] { EnumerateCalls(kHkeyCurrentUser, kAnsiBranch); }));
  visit("QvSaveSetting", Call([] {
          static bool odd = false;
          odd = !odd;
          settings.QvSaveSetting(kApp, kSection, kKey, kSettings[odd ? 1 : 0]);
        }),
        Call([] {
          static bool odd = false;
          odd = !odd;
          CreateKeyCalls(kHkeyLocalMachine, kSettingBranch);
          SetStringCalls(kHkeyLocalMachine, kSettingBranch, "Key", odd ? "value 2" : "value 1");
        }));
  visit("QvGetSetting", Call([] { (void)settings.QvGetSetting(kApp, kSection, kKey, kDefault); }),
        Call([] { QueryStringCalls(kHkeyLocalMachine, kSettingBranch, "Key"); }));
}

}  // namespace quorvane::bench
