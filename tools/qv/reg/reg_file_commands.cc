// qv reg export, import and check: .reg files, and the registry's own file.
#include <cstdio>
#include <filesystem>
#include <string>

#include <quorvane/platform/platform.h>
#include "tools/qv/hive/hive_file.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

void KeepUnlessOverwriting(const Switches& switches, const std::u16string& file) {
  std::error_code ignored;
  if (!switches.Has(u"y") &&
      std::filesystem::exists(std::filesystem::u8path(Cli::Utf8(file)), ignored) &&
      !Confirm("File " + Cli::Utf8(file) + " already exists. Overwrite")) {
    throw ToolFailure(Cli::Utf8(file) + " exists and was left as it is (add /y to overwrite it)");
  }
}

int RegExport(Arguments& arguments) {
  const Switches switches(arguments, {u"m"}, {u"y", u"regedit4", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"export takes KEY and FILE"};
  RegistryPath path = KeyIn(switches, switches.Positional()[0]);
  switches.Value(u"m", &path.machine);
  const std::u16string file = switches.Positional()[1];
  KeepUnlessOverwriting(switches, file);
  const RegFormat format = switches.Has(u"regedit4") ? RegFormat::kRegedit4 : RegFormat::kVersion5;
  const int keys = RegFile::Export(path, Cli::Utf8(file), format);
  Cli::Print(u"Exported " + Cli::Utf16(std::to_string(keys)) + u" key(s) to " + file + u".");
  return 0;
}

int RegSave(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"y", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"save takes KEY and FILE"};
  const RegistryPath path = KeyIn(switches, switches.Positional()[0]);
  const std::u16string file = switches.Positional()[1];
  KeepUnlessOverwriting(switches, file);
  (void)HiveFile::Save(path, Cli::Utf8(file));
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int RegRestore(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"f", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"restore takes KEY and FILE"};
  const RegistryPath path = KeyIn(switches, switches.Positional()[0]);
  const std::u16string file = switches.Positional()[1];
  // Unattended, as reg.exe restores; a person at the terminal is asked first
  // (and where no answer comes, it goes ahead as without one).
  if (!switches.Has(u"f")) {
    (void)Confirm("Replace everything in " + Cli::Utf8(path.FullName()) + " with " +
                  Cli::Utf8(file));
  }
  (void)HiveFile::Restore(path, Cli::Utf8(file));
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int RegLoad(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"load takes KEY and FILE"};
  (void)HiveFile::Load(KeyIn(switches, switches.Positional()[0]),
                       Cli::Utf8(switches.Positional()[1]));
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int RegUnload(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"reg:32", u"reg:64"});
  (void)HiveFile::Unload(KeyIn(switches, OnlyPositional(switches, "KEY")));
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

// The registry's file checked whole: exit 0 when sound, 1 when damaged or not
// checked, with the findings in words.
int RegCheck(Arguments& arguments) {
  const Switches switches(arguments, {}, {});
  if (!switches.Positional().empty()) {
    throw UsageError{"check takes no argument"};
  }
  std::string report;
  const platform::LONG result = platform::CheckRegistryStore(&report);
  if (result == platform::kErrorSuccess) {
    Cli::Print(Cli::Utf16(report));
    return 0;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "qv: %s\n", report.c_str());
  return 1;
}

int RegImport(Arguments& arguments) {
  const Switches switches(arguments, {u"m"}, {u"skip", u"reg:32", u"reg:64"});
  const std::u16string file = OnlyPositional(switches, "FILE");
  std::u16string machine;
  switches.Value(u"m", &machine);
  RegistryPath view;
  if (switches.Has(u"reg:32")) view.view = kKeyWow6432Key;
  if (switches.Has(u"reg:64")) view.view = kKeyWow6464Key;
  const RegFile::ImportResult result =
      RegFile::Import(Cli::Utf8(file), machine, view.view, switches.Has(u"skip"));
  for (const std::string& skipped : result.skipped) {
    std::fprintf(stderr, "qv: skipped %s\n", skipped.c_str());
  }
  Cli::Print(u"Imported " + Cli::Utf16(std::to_string(result.values)) + u" value(s) from " + file +
             u".");
  return 0;
}

}  // namespace quorvane::qv
