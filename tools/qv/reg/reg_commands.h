// What the reg commands share: value types by name, the key and value a
// command line names, values as reg query shows them, questions at the
// terminal; and the commands themselves, each given the words after its
// name and returning the exit code. reg_command.cc dispatches to them.
#pragma once

#include <cstdint>
#include <string>

#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/registry_path.h"
#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

[[nodiscard]] std::u16string TypeToName(std::int32_t code);
// A type's name, in any case, as reg.exe takes it (not a number); UsageError
// for anything else.
[[nodiscard]] std::int32_t TypeFromName(const std::u16string& name);
// /v NAME or /ve (the default value); false when neither is given.
bool ValueName(const Switches& switches, std::u16string* name);
// A key named on the command line, in the registry view /reg:32 or /reg:64
// chooses (the 32-bit view finds HKLM\Software\X at Wow6432Node\X).
[[nodiscard]] RegistryPath KeyIn(const Switches& switches, const std::u16string& text);
// The one positional word a command takes.
[[nodiscard]] std::u16string OnlyPositional(const Switches& switches, const char* what);
// How reg query shows values: /se's separator of REG_MULTI_SZ items, and
// with /z each type's number beside its name.
struct ShowOptions {
  std::u16string separator = u"\\0";
  bool type_numbers = false;
};
// Value data as reg query shows them, and a value's whole line.
[[nodiscard]] std::u16string Shown(const RegValue& value, const ShowOptions& options = {});
[[nodiscard]] std::u16string ValueLine(const RegValue& value, const ShowOptions& options = {});
// Asks on the terminal until the answer is yes or no: true for yes; false
// without a terminal to ask at, or when input ends before an answer (the
// caller refuses, in words). No cancels the command: Cancelled.
bool Confirm(const std::string& question);
// A command the user said no to: "The registry operation was cancelled.",
// exit 0, as reg.exe.
struct Cancelled {};
// An existing FILE is replaced only with /y or when the user says yes:
// ToolFailure otherwise (reg_file_commands.cc).
void KeepUnlessOverwriting(const Switches& switches, const std::u16string& file);

// reg_help.cc: the list of the commands, and one command's help (nullptr
// for a name that is no command).
[[nodiscard]] const char* RegHelp();
[[nodiscard]] const char* RegCommandHelp(const std::u16string& command);

// reg_write_commands.cc
int RegAdd(Arguments& arguments);
int RegDelete(Arguments& arguments);
int RegCopy(Arguments& arguments);
// reg_query_commands.cc
int RegQuery(Arguments& arguments);
int RegType(Arguments& arguments);
int RegList(Arguments& arguments);
// reg_file_commands.cc
int RegExport(Arguments& arguments);
int RegImport(Arguments& arguments);
int RegCheck(Arguments& arguments);
int RegSave(Arguments& arguments);
int RegRestore(Arguments& arguments);
int RegLoad(Arguments& arguments);
int RegUnload(Arguments& arguments);
// reg_compare_commands.cc
int RegCompare(Arguments& arguments);
int RegDiff(Arguments& arguments);

}  // namespace quorvane::qv
