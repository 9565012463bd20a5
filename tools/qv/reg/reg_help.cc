// The help of qv reg: the list of its commands, and each command's own help
// with examples, as reg.exe gives `reg add /?`.
#include <string>

#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

namespace {

constexpr const char* kRegHelp =
    "usage: qv reg COMMAND KEY [options]\n"
    "\n"
    "KEY is [\\\\MACHINE\\]ROOT[\\Branch]; ROOT is HKLM, HKCU, HKCR, HKU, HKCC\n"
    "(or HKEY_LOCAL_MACHINE, ...). Quote KEY in a POSIX shell, which would\n"
    "otherwise remove its backslashes: 'HKCU\\Software\\MyApp'.\n"
    "\n"
    "commands (qv reg COMMAND /? for a command's own help, with examples):\n"
    "  add               create a key, write a value into it\n"
    "  query             show a key's values and subkeys, or search a tree\n"
    "  type              show the type of a value\n"
    "  delete            delete a value, all values, or a key with its tree\n"
    "  copy              copy a key's values, or its tree, into another key\n"
    "  list              the names of a key's subkeys\n"
    "  export            write a key and its tree to a .reg file\n"
    "  import            apply a .reg file\n"
    "  check             check the registry's file whole\n"
    "  save              write a key and its tree to a hive file\n"
    "  restore           replace a key's tree with a hive file's\n"
    "  load              load a hive file as a key, for every process\n"
    "  unload            write a loaded hive back to its file, remove the key\n"
    "  compare           compare two keys, or a key with a hive or .reg file\n"
    "  diff              write the .reg file that undoes what changed\n"
    "\n"
    "types: REG_SZ REG_EXPAND_SZ REG_BINARY REG_DWORD REG_DWORD_BIG_ENDIAN\n"
    "       REG_DWORD_LITTLE_ENDIAN REG_MULTI_SZ REG_QWORD REG_NONE REG_LINK\n"
    "       REG_RESOURCE_LIST REG_FULL_RESOURCE_DESCRIPTOR (any case)\n"
    "Every command takes /reg:32 or /reg:64 to choose the 32- or 64-bit registry\n"
    "view (the 32-bit view finds HKLM\\Software\\X at Software\\Wow6432Node\\X).\n"
    "Switches may be written /x or -x, in any case; /?, -?, /h, -h and --help\n"
    "ask for help. Exit status: 0 done, 1 failed or used wrongly (as reg.exe);\n"
    "compare exits 2 when the keys differ. The registry is the system's on\n"
    "Windows; elsewhere see qv --help.\n";

struct CommandHelp {
  const char16_t* command;
  const char* text;
};

constexpr CommandHelp kCommandHelp[] = {
    {u"add",
     "usage: qv reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
     "                  [/reg:32 | /reg:64]\n"
     "\n"
     "Creates KEY with every missing level and writes a value into it: NAME\n"
     "(/v), or the default value (/ve, or neither). Without /t the type is\n"
     "REG_SZ; without /d the data are empty (REG_QWORD: 0). The word after /d is\n"
     "always the data: REG_BINARY in hex digits (0102ff), REG_DWORD 0 to\n"
     "4294967295 and REG_QWORD 0 to 18446744073709551615 (or -1, all ones) in\n"
     "decimal or 0x hex, REG_MULTI_SZ items separated by SEP (\\0 unless /s; a\n"
     "final separator adds no item, SEP alone is the empty list). An existing\n"
     "value is overwritten only with /f or when you say yes at the terminal.\n"
     "\n"
     "examples:\n"
     "  qv reg add 'HKCU\\Software\\MyApp'\n"
     "      creates the key, its default value an empty REG_SZ\n"
     "  qv reg add 'HKCU\\Software\\MyApp' /v Name /d 'first run'\n"
     "  qv reg add 'HKCU\\Software\\MyApp' /v Count /t REG_DWORD /d 0x2a /f\n"
     "  qv reg add 'HKCU\\Software\\MyApp' /v Blob /t REG_BINARY /d 0102ff\n"
     "  qv reg add 'HKCU\\Software\\MyApp' /v List /t REG_MULTI_SZ /d 'one\\0two'\n"
     "  qv reg add 'HKLM\\Software\\MyApp' /v Bits /d 32 /reg:32\n"},
    {u"query",
     "usage: qv reg query KEY [/v NAME | /ve] [/s] [/se SEP] [/z]\n"
     "                    [/f PATTERN [/k | /d] [/c] [/e]] [/t TYPE] [/reg:32 | /reg:64]\n"
     "\n"
     "Shows KEY's values and lists its subkeys, as reg.exe lays them out: /v or\n"
     "/ve one value; /s the whole tree (a key shows a block of its own only when\n"
     "it holds values); /f only what holds PATTERN (* for all) in key names,\n"
     "value names or data (/k key names only, /d data only, /c case-sensitive,\n"
     "/e whole names only); /t values of one type; /se SEP shows REG_MULTI_SZ\n"
     "items separated by SEP (one character; \\0 unless given); /z shows each\n"
     "type's number beside its name.\n"
     "\n"
     "examples:\n"
     "  qv reg query 'HKCU\\Software\\MyApp' /v Name\n"
     "  qv reg query 'HKCU\\Software\\MyApp' /s\n"
     "  qv reg query 'HKCU\\Software' /f MyApp /k /s\n"
     "  qv reg query 'HKCU\\Software\\MyApp' /t REG_DWORD /z\n"},
    {u"type",
     "usage: qv reg type KEY /v NAME | /ve [/reg:32 | /reg:64]\n"
     "\n"
     "Shows the type of a value, by name (REG_SZ, ...).\n"
     "\n"
     "example:\n"
     "  qv reg type 'HKCU\\Software\\MyApp' /v Count\n"},
    {u"delete",
     "usage: qv reg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
     "\n"
     "Deletes a value (/v, /ve), all of KEY's values (/va), or KEY with its whole\n"
     "tree, as one transaction. Asks first unless /f; without a terminal to ask\n"
     "at, refuses.\n"
     "\n"
     "examples:\n"
     "  qv reg delete 'HKCU\\Software\\MyApp' /v Name /f\n"
     "  qv reg delete 'HKCU\\Software\\MyApp' /f\n"},
    {u"copy",
     "usage: qv reg copy KEY1 KEY2 [/s] [/f] [/reg:32 | /reg:64] [/to-registry STORE]\n"
     "\n"
     "Copies KEY1's values (and with /s its whole tree) into KEY2, as one\n"
     "transaction; an existing value of KEY2 is overwritten only with /f or when\n"
     "you say yes. A key is never copied into itself. /to-registry writes KEY2 in\n"
     "another registry: a database file, :memory: or wine:PREFIX (KEY1 is read\n"
     "where qv --registry or QV_REGISTRY says).\n"
     "\n"
     "examples:\n"
     "  qv reg copy 'HKCU\\Software\\MyApp' 'HKCU\\Software\\MyApp2' /s /f\n"
     "  qv --registry wine:$HOME/.wine reg copy 'HKCU\\Software\\Vendor' \\\n"
     "     'HKCU\\Software\\Vendor' /s /f /to-registry ~/.local/share/quorvane/registry.db\n"},
    {u"list",
     "usage: qv reg list KEY [/reg:32 | /reg:64]\n"
     "\n"
     "The names of KEY's subkeys, one a line.\n"
     "\n"
     "example:\n"
     "  qv reg list 'HKCU\\Software'\n"},
    {u"export",
     "usage: qv reg export KEY FILE [/y] [/regedit4] [/reg:32 | /reg:64]\n"
     "\n"
     "Writes KEY and its tree to FILE: \"Windows Registry Editor Version 5.00\" in\n"
     "UTF-16LE, as reg export writes it, or REGEDIT4 in the ANSI code page with\n"
     "/regedit4. An existing FILE is replaced only with /y or when you say yes,\n"
     "and only once the whole export is written.\n"
     "\n"
     "examples:\n"
     "  qv reg export 'HKCU\\Software\\MyApp' myapp.reg\n"
     "  qv reg export 'HKCU\\Software\\MyApp' myapp4.reg /regedit4 /y\n"},
    {u"import",
     "usage: qv reg import FILE [/m MACHINE] [/skip] [/reg:32 | /reg:64]\n"
     "\n"
     "Applies a .reg file (either format; UTF-16, UTF-8 or ANSI) as one\n"
     "transaction. The whole file is checked first and nothing is applied if a\n"
     "line is bad, unless /skip leaves bad lines out; /m MACHINE imports to\n"
     "another machine's registry.\n"
     "\n"
     "example:\n"
     "  qv reg import myapp.reg\n"},
    {u"check",
     "usage: qv reg check\n"
     "\n"
     "Checks the registry's file whole (where it is a database of qv's) and lists\n"
     "what it finds; exit 0 when it is sound, 1 when it is damaged.\n"},
    {u"save",
     "usage: qv reg save KEY FILE [/y] [/reg:32 | /reg:64]\n"
     "\n"
     "Writes KEY and its tree to FILE as a hive file, the format of Windows' own\n"
     "registry files; an existing FILE is replaced only with /y or when you say\n"
     "yes.\n"
     "\n"
     "example:\n"
     "  qv reg save 'HKCU\\Software\\MyApp' myapp.hiv /y\n"},
    {u"restore",
     "usage: qv reg restore KEY FILE [/f] [/reg:32 | /reg:64]\n"
     "\n"
     "Replaces KEY's values and subkeys with a hive file's, as one transaction,\n"
     "once the whole file is read and checked. At a terminal it asks first\n"
     "unless /f; without one it goes ahead, as reg.exe does.\n"
     "\n"
     "example:\n"
     "  qv reg restore 'HKCU\\Software\\MyApp' myapp.hiv\n"},
    {u"load",
     "usage: qv reg load HKLM\\NAME|HKU\\NAME FILE\n"
     "\n"
     "Loads a hive file as that key, for every process; the file is written back\n"
     "only by unload.\n"
     "\n"
     "example:\n"
     "  qv reg load 'HKU\\Saved' myapp.hiv\n"},
    {u"unload",
     "usage: qv reg unload HKLM\\NAME|HKU\\NAME\n"
     "\n"
     "Writes a loaded hive back to its file and removes the key.\n"
     "\n"
     "example:\n"
     "  qv reg unload 'HKU\\Saved'\n"},
    {u"compare",
     "usage: qv reg compare KEY1 KEY2|FILE [/v NAME | /ve] [/s] [/oa | /od | /os | /on]\n"
     "                      [/reg:32 | /reg:64]\n"
     "\n"
     "Compares two keys, or a key with a saved hive or .reg file (its first key);\n"
     "/s the whole trees. Shows all (/oa), differences (/od, the default),\n"
     "matches (/os) or nothing (/on): < for KEY1 only, > for KEY2 only, = for\n"
     "both. Exit 0 identical, 2 different, 1 failed.\n"
     "\n"
     "examples:\n"
     "  qv reg compare 'HKCU\\Software\\MyApp' 'HKCU\\Software\\MyApp2' /s\n"
     "  qv reg compare 'HKCU\\Software\\MyApp' before.hiv /s /on\n"},
    {u"diff",
     "usage: qv reg diff KEY FILE /out UNDO.reg [/y] [/reg:32 | /reg:64]\n"
     "\n"
     "Writes the .reg file that turns KEY's tree back into what FILE (a hive or\n"
     ".reg file) saved: keys made since deleted, values changed or deleted\n"
     "written back, values made since deleted.\n"
     "\n"
     "example:\n"
     "  qv reg diff 'HKCU\\Software\\MyApp' before.hiv /out undo.reg\n"},
};

}  // namespace

const char* RegHelp() { return kRegHelp; }

const char* RegCommandHelp(const std::u16string& command) {
  for (const CommandHelp& help : kCommandHelp) {
    if (command == help.command) return help.text;
  }
  return nullptr;
}

}  // namespace quorvane::qv
