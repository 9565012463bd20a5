// qv reg: keys and values, modelled on the Windows reg command; this file
// holds its help and sends each command to the file of its group.
#include <cstdio>
#include <string>

#include "tools/qv/cli/cli.h"
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

namespace {

constexpr const char* kRegHelp =
    "usage: qv reg COMMAND KEY [options]\n"
    "\n"
    "KEY is [\\\\MACHINE\\]ROOT[\\Branch]; ROOT is HKLM, HKCU, HKCR, HKU, HKCC\n"
    "(or HKEY_LOCAL_MACHINE, ...).\n"
    "\n"
    "commands:\n"
    "  add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEP] [/f]\n"
    "                    create KEY, and write a value into it (default REG_SZ,\n"
    "                    the default value without /v); the word after /d is\n"
    "                    always the data: REG_BINARY in hex digits (0102ff),\n"
    "                    REG_DWORD and REG_QWORD in decimal or 0x hex,\n"
    "                    REG_MULTI_SZ items separated by SEP (\\0); an existing\n"
    "                    value is overwritten only with /f or when you say yes\n"
    "  query KEY [/v NAME | /ve] [/s] [/f PATTERN [/k | /d] [/c] [/e]] [/t TYPE]\n"
    "                    show KEY's values and list its subkeys, as reg.exe\n"
    "                    lays them out; /v or /ve one value; /s the whole tree;\n"
    "                    /f only what holds PATTERN (* for all) in key names,\n"
    "                    value names or data (/k key names only, /d data only,\n"
    "                    /c case-sensitive, /e whole names only); /t one type\n"
    "  type KEY /v NAME | /ve\n"
    "                    show the type of a value\n"
    "  delete KEY [/v NAME | /ve | /va] [/f]\n"
    "                    delete a value, all values (/va), or KEY with its whole\n"
    "                    tree; asks first unless /f (without a terminal: refuses)\n"
    "  copy KEY1 KEY2 [/s] [/f]\n"
    "                    copy KEY1's values (and with /s its tree) into KEY2\n"
    "  list KEY          the names of KEY's subkeys, one a line\n"
    "  export KEY FILE [/y] [/regedit4]\n"
    "                    write KEY and its tree to FILE: \"Windows Registry Editor\n"
    "                    Version 5.00\" in UTF-16LE, or REGEDIT4 in the ANSI code\n"
    "                    page with /regedit4; an existing FILE is replaced only\n"
    "                    with /y or when you say yes, and only once the whole\n"
    "                    export is written\n"
    "  check             check the registry's file whole (where it is a database of\n"
    "                    qv's); exit 0 when it is sound, 1 when it is damaged\n"
    "  import FILE [/m MACHINE] [/skip]\n"
    "                    apply a .reg file (either format, UTF-16, UTF-8 or ANSI);\n"
    "                    the whole file is checked first and nothing is applied\n"
    "                    if a line is bad, unless /skip leaves bad lines out\n"
    "  save KEY FILE [/y]\n"
    "                    write KEY and its tree to FILE as a hive file (the\n"
    "                    format of Windows' own registry files)\n"
    "  restore KEY FILE [/f]\n"
    "                    replace KEY's values and subkeys with a hive file's, as\n"
    "                    one transaction; asks first unless /f\n"
    "  load HKLM\\NAME|HKU\\NAME FILE\n"
    "                    load a hive file as that key, for every process; the\n"
    "                    file is written back only by unload\n"
    "  unload HKLM\\NAME|HKU\\NAME\n"
    "                    write a loaded hive back to its file and remove the key\n"
    "  compare KEY1 KEY2|FILE [/v NAME | /ve] [/s] [/oa | /od | /os | /on]\n"
    "                    compare two keys, or a key with a saved hive or .reg\n"
    "                    file (its first key); /s the whole trees; show all\n"
    "                    (/oa), differences (/od, the default), matches (/os) or\n"
    "                    nothing (/on); exit 0 identical, 2 different, 1 failed\n"
    "  diff KEY FILE /out UNDO.reg [/y]\n"
    "                    write the .reg file that turns KEY's tree back into\n"
    "                    what FILE (a hive or .reg file) saved\n"
    "\n"
    "types: REG_SZ REG_EXPAND_SZ REG_BINARY REG_DWORD REG_DWORD_BIG_ENDIAN\n"
    "       REG_MULTI_SZ REG_QWORD REG_NONE REG_DWORD_LITTLE_ENDIAN (any case)\n"
    "Every command takes /reg:32 or /reg:64 to choose the 32- or 64-bit registry\n"
    "view (the 32-bit view finds HKLM\\Software\\X at Software\\Wow6432Node\\X).\n"
    "Switches may be written /x or -x, in any case. Every failure exits 1.\n";

}  // namespace

int RunReg(Arguments& arguments) {
  if (arguments.Empty() || arguments.NextIsHelp()) {
    Cli::PrintRaw(kRegHelp);
    return arguments.Empty() ? 2 : 0;
  }
  // Help only right after the command: any later word may be data.
  const std::u16string command = Cli::AsciiLower(arguments.Take("COMMAND"));
  if (arguments.NextIsHelp()) {
    Cli::PrintRaw(kRegHelp);
    return 0;
  }
  // As reg.exe, every failure of a reg command exits 1, wrong usage included.
  try {
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
  } catch (const UsageError& usage) {
    std::fflush(stdout);
    std::fprintf(stderr, "qv: %s (try 'qv reg --help')\n", usage.hint.c_str());
    return 1;
  }
}

}  // namespace quorvane::qv
