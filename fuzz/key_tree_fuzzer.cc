// Trees of hostile shape (deep chains, wide levels, one key by several
// names) walked, compared and deleted the way qv does it, on the portable
// registry: a walk visits every key once, a key is always found within its
// own tree by each of its names, a delete leaves nothing, and no handle is
// left open. Keys deeper than Windows allows are refused with 1450.
#include <set>
#include <string>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry_errors.h>
#include "fuzz/fuzz_input.h"
#include "tools/qv/cli/cli.h"
#include "tools/qv/keys/key_tree.h"

namespace {

using quorvane::fuzz::Require;
using quorvane::qv::KeyTree;
using quorvane::qv::OpenKey;
using quorvane::qv::RegistryPath;

// One key below HKLM\Software\Classes and one redirected by the 32-bit view,
// each by the names it has.
struct Spelling {
  const char16_t* text;
  std::uint32_t view;
};
constexpr Spelling kClasses[] = {
    {u"HKCR\\QvFuzzTree", 0},
    {u"HKLM\\Software\\Classes\\QvFuzzTree", 0},
    {u"HKLM\\Software\\Classes\\QvFuzzTree", quorvane::qv::kKeyWow6432Key},
};
constexpr Spelling kRedirected[] = {
    {u"HKLM\\Software\\QvFuzzTree32", quorvane::qv::kKeyWow6432Key},
    {u"HKLM\\Software\\Wow6432Node\\QvFuzzTree32", quorvane::qv::kKeyWow6464Key},
};

RegistryPath PathOf(const Spelling& spelling, const std::u16string& below) {
  RegistryPath path = RegistryPath::Parse(spelling.text);
  path.view = spelling.view;
  if (!below.empty()) path.branch += u"\\" + below;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quorvane::platform::portable::TestControls;
  TestControls::ResetRegistry();
  quorvane::fuzz::FuzzInput input(data, size);
  const bool redirected = input.Byte() % 2 == 1;
  const Spelling* spellings = redirected ? kRedirected : kClasses;
  const std::size_t count = redirected ? 2 : 3;
  // Chains and fans of short names below the key, through any of its names.
  std::set<std::u16string> made;
  const int steps = input.Byte() % 12;
  for (int step = 0; step < steps; ++step) {
    const Spelling& spelling = spellings[input.Byte() % count];
    std::u16string below;
    const int depth = 1 + input.Byte() * 3;  // up to 766: deeper than Windows allows
    const char16_t letter = static_cast<char16_t>(u'a' + input.Byte() % 3);
    for (int level = 0; level < depth; ++level)
      below += (level == 0 ? u"" : u"\\") + std::u16string(1, letter);
    const int fan = input.Byte() % 6;
    for (int sibling = 0; sibling <= fan; ++sibling) {
      const std::u16string name = below + std::u16string(1, static_cast<char16_t>(u'0' + sibling));
      try {
        OpenKey created(PathOf(spelling, name), quorvane::platform::kKeySetValue, true);
        made.insert(name);
      } catch (const quorvane::ErrorObject& error) {
        quorvane::fuzz::RequireNumber(
            error, {quorvane::RegistryErrors::kBase + quorvane::platform::kErrorNoSystemResources});
      }
    }
  }
  // Each name of the key holds every name of it, and what lies below.
  for (std::size_t outer = 0; outer < count; ++outer) {
    for (std::size_t inner = 0; inner < count; ++inner) {
      Require(KeyTree::Contains(PathOf(spellings[outer], u""), PathOf(spellings[inner], u"x\\y")));
    }
  }
  if (!made.empty()) {
    // A walk through any name visits each key once, deep trees included.
    std::set<std::u16string> visited;
    std::size_t visits = 0;
    KeyTree::Walk(PathOf(spellings[input.Byte() % count], u""), quorvane::platform::kKeyRead,
                  [&](const KeyTree::Visit& visit) {
                    ++visits;
                    visited.insert(visit.path.branch);
                  });
    Require(visits == visited.size());
    Require(visits > made.size());
    KeyTree::Delete(PathOf(spellings[input.Byte() % count], u""));
    for (std::size_t name = 0; name < count; ++name) {
      bool gone = false;
      try {
        OpenKey still(PathOf(spellings[name], u""), quorvane::platform::kKeyRead);
      } catch (const quorvane::ErrorObject& error) {
        gone = error.Number() ==
               quorvane::RegistryErrors::kBase + quorvane::platform::kErrorFileNotFound;
      }
      Require(gone);
    }
  }
  Require(TestControls::OpenHandleCount() == 0);
  return 0;
}
