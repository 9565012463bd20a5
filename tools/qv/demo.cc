// qv demo: a short tour of a host program's session with the library.
#include <string>
#include <vector>

#include <quorvane/core/error_object.h>
#include <quorvane/fileworks/fileworks.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {
namespace {

const std::u16string kDemoKey = u"Software\\QuorvaneDemo";

void Heading(const std::u16string& title) {
  Cli::Print(u"");
  Cli::Print(title);
  Cli::Print(std::u16string(title.size(), u'-'));
}

void Show(const std::u16string& call, const std::u16string& result) {
  std::u16string line = u"  " + call;
  if (line.size() < 52) line += std::u16string(52 - line.size(), u' ');
  Cli::Print(line + u" -> " + result);
}

std::u16string Quote(const std::u16string& text) {
  std::u16string quoted = u"\"";
  for (char16_t unit : text)
    quoted += unit == u'\0' ? std::u16string(u"\\0") : std::u16string(1, unit);
  return quoted + u"\"";
}

std::u16string Describe(const Variant& value) {
  switch (value.GetKind()) {
    case Variant::Kind::kText:
      return Quote(value.ToText());
    case Variant::Kind::kMissing:
      return u"(missing)";
    case Variant::Kind::kNull:
      return u"(null)";
    default:
      return value.ToText();
  }
}

void ShowError(const std::u16string& call, const ErrorObject& error) {
  Show(call, u"error " + Cli::Utf16(std::to_string(error.Number())));
  Cli::Print(u"      source:      " + error.Source());
  Cli::Print(u"      description: " + error.Description());
}

// Whether root\branch exists, told by listing its parent.
bool KeyExists(Registry& registry, HKeyValue root, const std::u16string& branch) {
  const std::size_t slash = branch.rfind(u'\\');
  const std::u16string parent = slash == std::u16string::npos ? u"" : branch.substr(0, slash);
  const std::u16string leaf = slash == std::u16string::npos ? branch : branch.substr(slash + 1);
  for (const Variant& name : registry.GetBranchNames(root, parent)) {
    if (name.ToText() == leaf) return true;
  }
  return false;
}

void Settings(SelfRegisterClasses& settings) {
  Heading(u"1. Settings with defaults (HKLM\\Software\\Quorvane\\QvDemo\\Window)");
  settings.QvSaveSetting(u"QvDemo", u"Window", u"Left", u"120");
  settings.QvSaveSetting(u"QvDemo", u"Window", u"Maximized", true);
  Show(u"QvSaveSetting(\"QvDemo\", \"Window\", \"Left\", \"120\")", u"saved");
  Show(u"QvSaveSetting(... \"Maximized\", True)", u"saved as text");
  Show(u"QvGetSetting(... \"Left\", \"0\")",
       Describe(settings.QvGetSetting(u"QvDemo", u"Window", u"Left", u"0")));
  Show(u"QvGetSetting(... \"Maximized\")",
       Describe(settings.QvGetSetting(u"QvDemo", u"Window", u"Maximized")));
  Show(u"QvGetSetting(... \"Top\", \"40\")   never saved",
       Describe(settings.QvGetSetting(u"QvDemo", u"Window", u"Top", u"40")));
  Show(u"QvGetSetting(... \"Top\")           no default",
       Describe(settings.QvGetSetting(u"QvDemo", u"Window", u"Top")));
}

void Keys(Registry& registry) {
  Heading(u"2. Keys (HKCU\\Software\\QuorvaneDemo)");
  registry.CreateKey(kHkeyCurrentUser, kDemoKey + u"\\Projects\\Beta");
  registry.CreateKey(kHkeyCurrentUser, kDemoKey + u"\\Projects\\Alpha");
  registry.CreateKey(kHkeyCurrentUser, kDemoKey + u"\\Projects\\  spaced  ");
  Show(u"CreateKey(HKCU, \"...\\Projects\\Beta\")", u"all three levels made");
  std::u16string names;
  for (const Variant& name : registry.GetBranchNames(kHkeyCurrentUser, kDemoKey + u"\\Projects")) {
    names += (names.empty() ? u"" : u", ") + Quote(name.ToText());
  }
  Show(u"GetBranchNames(HKCU, \"...\\Projects\")", names);
  try {
    registry.DeleteKey(kHkeyCurrentUser, kDemoKey + u"\\Projects");
  } catch (const ErrorObject& error) {
    ShowError(u"DeleteKey(HKCU, \"...\\Projects\")  has subkeys", error);
  }
  registry.DeleteKey(kHkeyCurrentUser, kDemoKey + u"\\Projects\\  spaced  ");
  Show(u"DeleteKey(HKCU, \"...\\Projects\\  spaced  \")", u"gone");
}

void Values(Registry& registry) {
  Heading(u"3. Values of every type");
  const std::u16string branch = kDemoKey + u"\\Projects\\Alpha";
  struct Row {
    std::int32_t type;
    const char16_t* name;
    Variant value;
  };
  const Row rows[] = {
      {kRegSz, u"REG_SZ", u"Quorvane"},
      {kRegExpandSz, u"REG_EXPAND_SZ", u"%TEMP%\\alpha"},
      {kRegBinary, u"REG_BINARY", u"abc"},
      {kRegDword, u"REG_DWORD", std::int32_t{-1}},
      {kRegMultiSz, u"REG_MULTI_SZ", std::u16string(u"one\0two\0", 8)},
  };
  for (const Row& row : rows) {
    registry.SetValue(kHkeyCurrentUser, branch, row.name, row.type, row.value);
    const Variant back = registry.QueryValue(kHkeyCurrentUser, branch, row.name);
    const std::int32_t type = registry.QueryType(kHkeyCurrentUser, branch, row.name);
    Show(u"SetValue " + std::u16string(row.name) + u" " + Describe(row.value),
         u"type " + Cli::Utf16(std::to_string(type)) + u", reads " + Describe(back));
  }
}

void Errors(Registry& registry) {
  Heading(u"4. An error as the host sees it");
  const std::u16string branch = kDemoKey + u"\\Projects\\Alpha";
  try {
    (void)registry.QueryValue(kHkeyCurrentUser, branch, u"NoSuchValue");
  } catch (const ErrorObject& error) {
    ShowError(u"QueryValue(HKCU, \"...\\Alpha\", \"NoSuchValue\")", error);
  }
  try {
    registry.SetValue(kHkeyCurrentUser, branch, u"Big", kRegDword, u"forty-two");
  } catch (const ErrorObject& error) {
    ShowError(u"SetValue(... REG_DWORD, \"forty-two\")", error);
  }
}

void Paths() {
  FileWorks files;
  Heading(u"5. Paths, versions and target names");
  const std::u16string path = u"C:\\Program Files\\Vendor\\app.tar.gz";
  Show(u"GetPath(" + Quote(path) + u")", Quote(files.GetPath(path)));
  Show(u"GetFile(...)", Quote(files.GetFile(path)));
  Show(u"GetFileLessExt(...)", Quote(files.GetFileLessExt(path)));
  Show(u"GetExt(\"app.tar.gz\")", Quote(files.GetExt(u"app.tar.gz")));
  Show(u"GetDrive(...)", Quote(files.GetDrive(path)));
  const std::u16string unc = u"\\\\server\\share\\docs\\a.txt";
  Show(u"GetDrive(" + Quote(unc) + u")", Quote(files.GetDrive(unc)));
  Variant rewritten = unc;
  const Variant below_server = files.RemoveServer(rewritten);
  Show(u"RemoveServer(...)", Describe(below_server) + u", argument now " + Describe(rewritten));
  for (const auto& [first, second] :
       {std::pair<const char16_t*, const char16_t*>{u"1.10.0.0", u"1.9.0.0"}, {u"1.2", u"1.1.5"}}) {
    Variant a = first;
    Variant b = second;
    const bool greater = files.VersionGreater(a, b);
    Show(u"VersionGreater(\"" + std::u16string(first) + u"\", \"" + second + u"\")",
         greater ? u"true" : u"false");
  }
  Cli::Print(u"      (1.2 is read as 1.0.0.2: short versions fill from the right)");
  Show(u"GetTargetName(\"readme.txt\", \"*.bak\")",
       Quote(files.GetTargetName(u"readme.txt", u"*.bak")));
  Show(u"GetTargetName(\"readme.txt\", \"??b*.t?t\")",
       Quote(files.GetTargetName(u"readme.txt", u"??b*.t?t")));
}

void Folders() {
  FileWorks files;
  Heading(u"6. The Windows, system and temporary folders");
  Show(u"GetWinDir()", Quote(files.GetWinDir()));
  Show(u"GetWinSysDir()", Quote(files.GetWinSysDir()));
  Show(u"GetTempDir()", Quote(files.GetTempDir()));
}

}  // namespace

int RunDemo(Arguments& arguments) {
  if (arguments.WantsHelp()) {
    Cli::PrintRaw(
        "usage: qv demo\n\nA short tour of the library on the default registry; it "
        "removes what it wrote.\n");
    return 0;
  }
  arguments.ExpectEnd();
  Registry registry;
  // The keys above the demo's own, innermost first, that the demo may create
  // on a registry that lacks them; they are removed again if it did.
  struct Parent {
    HKeyValue root;
    std::u16string branch;
    bool existed;
  };
  std::vector<Parent> parents = {{kHkeyLocalMachine, u"Software\\Quorvane", false},
                                 {kHkeyLocalMachine, u"Software", false},
                                 {kHkeyCurrentUser, u"Software", false}};
  for (Parent& parent : parents) parent.existed = KeyExists(registry, parent.root, parent.branch);
  Cli::Print(u"Quorvane support: a tour");
  Cli::Print(u"========================");
  int status = 0;
  try {
    SelfRegisterClasses settings;
    Settings(settings);
    Keys(registry);
    Values(registry);
    Errors(registry);
    Paths();
    Folders();
  } catch (const ErrorObject& error) {
    ShowError(u"unexpected", error);
    status = 1;
  }
  // Leave the registry as the tour found it.
  try {
    RegFile::DeleteTree({u"", kHkeyCurrentUser, kDemoKey});
  } catch (const ErrorObject&) {
  }
  try {
    RegFile::DeleteTree({u"", kHkeyLocalMachine, u"Software\\Quorvane\\QvDemo"});
  } catch (const ErrorObject&) {
  }
  for (const Parent& parent : parents) {
    try {
      if (!parent.existed) registry.DeleteKey(parent.root, parent.branch);
    } catch (const ErrorObject&) {
      // Someone else put something there meanwhile: it stays.
    }
  }
  Cli::Print(u"");
  Cli::Print(u"Done: the demo keys and settings have been removed again.");
  return status;
}

}  // namespace quorvane::qv
