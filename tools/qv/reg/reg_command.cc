// qv reg: keys and values, modelled on the Windows reg command; this file
// sends each command to the file of its group (its help: reg_help.cc).
#include <cstdio>
#include <string>

#include "tools/qv/cli/cli.h"
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

int RunReg(Arguments& arguments) {
  if (arguments.Empty()) {
    Cli::PrintRaw(RegHelp());
    return 1;
  }
  if (arguments.NextIsHelp() && arguments.Remaining() == 1) {
    Cli::PrintRaw(RegHelp());
    return 0;
  }
  const std::u16string command = Cli::AsciiLower(arguments.Take("COMMAND"));
  const char* help = RegCommandHelp(command);
  // As reg.exe, every failure of a reg command exits 1, wrong usage included.
  try {
    // Help only right after the command, and alone: any later word may be
    // data, and reg.exe takes /? beside another word as a mistake.
    const bool is_command = help != nullptr;
    if (arguments.NextIsHelp() && is_command) {
      if (arguments.Remaining() > 1) throw UsageError{"ask for help alone"};
      Cli::PrintRaw(help);
      return 0;
    }
    if (!is_command && Arguments::IsHelpWord(command)) throw UsageError{"ask for help alone"};
    if (command == u"add") return RegAdd(arguments);
    if (command == u"query") return RegQuery(arguments);
    if (command == u"type") return RegType(arguments);
    if (command == u"delete") return RegDelete(arguments);
    if (command == u"copy") return RegCopy(arguments);
    if (command == u"list") return RegList(arguments);
    if (command == u"export") return RegExport(arguments);
    if (command == u"import") return RegImport(arguments);
    if (command == u"check") return RegCheck(arguments);
    if (command == u"save") return RegSave(arguments);
    if (command == u"restore") return RegRestore(arguments);
    if (command == u"load") return RegLoad(arguments);
    if (command == u"unload") return RegUnload(arguments);
    if (command == u"compare") return RegCompare(arguments);
    if (command == u"diff") return RegDiff(arguments);
    throw UsageError{"unknown reg command '" + Cli::Utf8(command) + "'"};
  } catch (const Cancelled&) {
    Cli::Print(u"The registry operation was cancelled.");
    return 0;
  } catch (const UsageError& usage) {
    std::fflush(stdout);
    const std::string asking = help != nullptr ? "qv reg " + Cli::Utf8(command) + " /?" : "qv reg /?";
    std::fprintf(stderr, "qv: %s (try '%s')\n", usage.hint.c_str(), asking.c_str());
    return 1;
  }
}

}  // namespace quorvane::qv
