// Saves a setting, reads it back and splits a path: the library as a host
// program uses it.
#include <cstdio>

#include <quorvane/fileworks/fileworks.h>
#include <quorvane/settings/self_register_classes.h>

int main() {
  quorvane::SelfRegisterClasses settings;
  try {
    settings.QvSaveSetting(u"QvConsumer", u"Window", u"Left", u"120");
  } catch (const quorvane::ErrorObject& error) {
    std::printf("save failed: %s\n", error.what());
    return 1;
  }
  const bool same =
      settings.QvGetSetting(u"QvConsumer", u"Window", u"Left", u"0") == quorvane::Variant(u"120");
  quorvane::Registry().DeleteKey(quorvane::kHkeyLocalMachine,
                                 u"Software\\Quorvane\\QvConsumer\\Window");
  quorvane::Registry().DeleteKey(quorvane::kHkeyLocalMachine, u"Software\\Quorvane\\QvConsumer");
  const bool split = quorvane::FileWorks().GetFile(u"C:\\dir\\file.txt") == u"file.txt";
  std::printf("consumer: setting %s, path %s\n", same ? "ok" : "WRONG", split ? "ok" : "WRONG");
  return same && split ? 0 : 1;
}
