// qv setting, qv path and the FileWorks commands.
#include <functional>
#include <map>

#include <quorvane/fileworks/fileworks.h>
#include <quorvane/platform/platform.h>
#include <quorvane/settings/self_register_classes.h>
#include "tools/qv/cli/cli.h"

namespace quorvane::qv {
namespace {

constexpr const char* kSettingHelp =
    "usage: qv setting save APP SECTION KEY VALUE\n"
    "       qv setting get APP SECTION KEY [DEFAULT]\n"
    "\n"
    "Settings live in HKLM\\Software\\Quorvane\\APP\\SECTION. get prints the stored\n"
    "text, or DEFAULT when there is none (nothing when DEFAULT is left out).\n";

constexpr const char* kPathHelp =
    "usage: qv path MEMBER TEXT [SEPARATOR]\n"
    "\n"
    "Path text, nothing touched on disk. MEMBER is one of:\n"
    "  getpath getfile getfilelessext getext addslash removeslash removeleadslash\n"
    "  getdrive removedriveorvol getrootdrive checkfordrive addserverslashes\n"
    "  getmachinename removeserverslashes removeserver\n"
    "SEPARATOR (default \\) is taken by getpath, getfile, getfilelessext, addslash\n"
    "and removeslash. Members that rewrite their argument also print what it holds\n"
    "afterwards.\n";

using PathMember = std::function<void(FileWorks&, const std::u16string&, const std::u16string&)>;

void PrintRewritten(const std::u16string& result, const std::u16string& argument) {
  Cli::Print(result);
  Cli::Print(u"argument afterwards: " + argument);
}

const std::map<std::u16string, std::pair<bool, PathMember>>& PathMembers() {
  // name -> (takes a separator, member)
  static const std::map<std::u16string, std::pair<bool, PathMember>> members = {
      {u"getpath", {true, [](FileWorks& f, auto& t, auto& s) { Cli::Print(f.GetPath(t, s)); }}},
      {u"getfile", {true, [](FileWorks& f, auto& t, auto& s) { Cli::Print(f.GetFile(t, s)); }}},
      {u"getfilelessext",
       {true, [](FileWorks& f, auto& t, auto& s) { Cli::Print(f.GetFileLessExt(t, s)); }}},
      {u"getext", {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.GetExt(t)); }}},
      {u"addslash", {true, [](FileWorks& f, auto& t, auto& s) { Cli::Print(f.AddSlash(t, s)); }}},
      {u"removeslash",
       {true, [](FileWorks& f, auto& t, auto& s) { Cli::Print(f.RemoveSlash(t, s)); }}},
      {u"removeleadslash",
       {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.RemoveLeadSlash(t)); }}},
      {u"getdrive", {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.GetDrive(t)); }}},
      {u"removedriveorvol",
       {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.RemoveDriveOrVol(t)); }}},
      {u"getrootdrive",
       {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.GetRootDrive(t)); }}},
      {u"checkfordrive",
       {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.CheckForDrive(t)); }}},
      {u"addserverslashes",
       {false, [](FileWorks& f, auto& t, auto&) { Cli::Print(f.AddServerSlashes(t)); }}},
      {u"getmachinename",
       {false,
        [](FileWorks& f, auto& t, auto&) {
          Variant argument = t;
          const std::u16string result = f.GetMachineName(argument);
          PrintRewritten(result, Cli::Show(argument));
        }}},
      {u"removeserverslashes",
       {false,
        [](FileWorks& f, auto& t, auto&) {
          std::u16string argument = t;
          const std::u16string result = f.RemoveServerSlashes(argument);
          PrintRewritten(result, argument);
        }}},
      {u"removeserver",
       {false,
        [](FileWorks& f, auto& t, auto&) {
          Variant argument = t;
          const Variant result = f.RemoveServer(argument);
          PrintRewritten(Cli::Show(result), Cli::Show(argument));
        }}},
  };
  return members;
}

}  // namespace

int RunSetting(Arguments& arguments) {
  if (arguments.Empty() || arguments.WantsHelp()) {
    Cli::PrintRaw(kSettingHelp);
    return arguments.Empty() ? 2 : 0;
  }
  const std::u16string command = arguments.Take("COMMAND");
  const std::u16string app = arguments.Take("APP");
  const std::u16string section = arguments.Take("SECTION");
  const std::u16string key = arguments.Take("KEY");
  SelfRegisterClasses settings;
  if (command == u"save") {
    const std::u16string value = arguments.Take("VALUE");
    arguments.ExpectEnd();
    settings.QvSaveSetting(app, section, key, value);
    return 0;
  }
  if (command == u"get") {
    std::u16string fallback;
    const bool has_default = arguments.TakeOptional(&fallback);
    arguments.ExpectEnd();
    const Variant value = settings.QvGetSetting(
        app, section, key, has_default ? Variant(fallback) : Variant::Missing());
    // The library answers with the default whatever went wrong; a registry
    // that cannot be read at all is no missing setting, and is told.
    const std::string diagnosis = platform::RegistryStoreDiagnosis();
    if (!diagnosis.empty()) throw ToolFailure(diagnosis + "; the setting cannot be read");
    if (!value.IsMissing()) Cli::Print(Cli::Show(value));
    return 0;
  }
  throw UsageError{"unknown setting command '" + Cli::Utf8(command) + "' (save or get)"};
}

int RunPath(Arguments& arguments) {
  if (arguments.Empty() || arguments.WantsHelp()) {
    Cli::PrintRaw(kPathHelp);
    return arguments.Empty() ? 2 : 0;
  }
  const std::u16string name = arguments.Take("MEMBER");
  const auto member = PathMembers().find(name);
  if (member == PathMembers().end()) {
    throw UsageError{"unknown path member '" + Cli::Utf8(name) + "' (see qv path --help)"};
  }
  const std::u16string text = arguments.Take("TEXT");
  std::u16string separator = u"\\";
  if (member->second.first) arguments.TakeOptional(&separator);
  arguments.ExpectEnd();
  FileWorks files;
  member->second.second(files, text, separator);
  return 0;
}

int RunFileWorks(const std::u16string& command, Arguments& arguments) {
  FileWorks files;
  if (command == u"version-greater") {
    Variant first = arguments.Take("VERSION1");
    Variant second = arguments.Take("VERSION2");
    arguments.ExpectEnd();
    Cli::Print(files.VersionGreater(first, second) ? u"true" : u"false");
    return 0;
  }
  if (command == u"target-name") {
    const std::u16string file = arguments.Take("FILE");
    const std::u16string pattern = arguments.Take("PATTERN");
    arguments.ExpectEnd();
    Cli::Print(files.GetTargetName(file, pattern));
    return 0;
  }
  if (command == u"exists") {
    const std::u16string name = arguments.Take("NAME");
    arguments.ExpectEnd();
    Cli::Print(files.Exists(name) ? u"true" : u"false");
    return 0;
  }
  if (command == u"mkdir") {
    const std::u16string path = arguments.Take("PATH");
    arguments.ExpectEnd();
    Cli::Print(files.MakeSureDirExists(path) ? u"true" : u"false");
    return 0;
  }
  arguments.ExpectEnd();
  if (command == u"windir") Cli::Print(files.GetWinDir());
  if (command == u"sysdir") Cli::Print(files.GetWinSysDir());
  if (command == u"tempdir") Cli::Print(files.GetTempDir());
  return 0;
}

}  // namespace quorvane::qv
