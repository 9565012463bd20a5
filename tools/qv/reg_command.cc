// qv reg: keys and values, modelled on the Windows reg command.
#include <cstdio>

#include "core/ansi_text.h"
#include "core/error_object.h"
#include "registry/registry.h"
#include "tools/qv/cli.h"
#include "tools/qv/reg_file.h"
#include "tools/qv/registry_path.h"

namespace quorvane::qv {
namespace {

constexpr const char* kRegHelp =
    "usage: qv reg COMMAND KEY [options]\n"
    "\n"
    "KEY is [\\\\MACHINE\\]ROOT[\\Branch]; ROOT is HKLM, HKCU, HKCR, HKU, HKCC\n"
    "(or HKEY_LOCAL_MACHINE, ...).\n"
    "\n"
    "commands:\n"
    "  add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEP]\n"
    "                    create KEY, and write a value into it (default REG_SZ);\n"
    "                    REG_MULTI_SZ items in DATA are separated by SEP (\\0)\n"
    "  query KEY [/v NAME | /ve]\n"
    "                    show a value, or list the subkeys of KEY\n"
    "  type KEY /v NAME | /ve\n"
    "                    show the type of a value\n"
    "  delete KEY [/v NAME | /ve]\n"
    "                    delete a value, or KEY itself (it must have no subkeys)\n"
    "  list KEY          the names of KEY's subkeys, one a line\n"
    "  export KEY FILE   write KEY and its tree to FILE (REGEDIT4 .reg format)\n"
    "  import FILE [/m MACHINE]\n"
    "                    apply a .reg file\n"
    "\n"
    "types: REG_SZ REG_EXPAND_SZ REG_BINARY REG_DWORD REG_MULTI_SZ (or a number)\n";

struct TypeName {
  std::int32_t code;
  const char16_t* name;
};

constexpr TypeName kTypes[] = {
    {0, u"REG_NONE"},   {1, u"REG_SZ"},       {2, u"REG_EXPAND_SZ"},
    {3, u"REG_BINARY"}, {4, u"REG_DWORD"},    {5, u"REG_DWORD_BIG_ENDIAN"},
    {6, u"REG_LINK"},   {7, u"REG_MULTI_SZ"}, {8, u"REG_RESOURCE_LIST"},
    {11, u"REG_QWORD"},
};

std::u16string TypeToName(std::int32_t code) {
  for (const TypeName& type : kTypes) {
    if (type.code == code) return type.name;
  }
  return Cli::Utf16(std::to_string(code));
}

std::int32_t TypeFromName(const std::u16string& name) {
  for (const TypeName& type : kTypes) {
    if (name == type.name) return type.code;
  }
  try {
    return Variant(name).ToInt32();
  } catch (const ErrorObject&) {
    throw UsageError{"unknown value type '" + Cli::Utf8(name) + "'"};
  }
}

// /v NAME or /ve (the default value); false when neither is given.
bool TakeValueName(Arguments& arguments, std::u16string* name) {
  if (arguments.TakeFlag(u"ve")) {
    name->clear();
    return true;
  }
  return arguments.TakeOption(u"v", name);
}

std::u16string ShowData(std::int32_t type, const Variant& value) {
  if (type == kRegDword) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%x (%d)", static_cast<unsigned>(value.ToInt32()),
                  value.ToInt32());
    return Cli::Utf16(text);
  }
  std::u16string data = value.ToText();
  if (type == kRegBinary) {
    std::string hex;
    for (char byte : AnsiText::Encode(data)) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(byte));
      hex += pair;
    }
    return Cli::Utf16(hex);
  }
  if (type == kRegMultiSz) {
    std::u16string shown;
    for (char16_t unit : data)
      shown += unit == u'\0' ? std::u16string(u"\\0") : std::u16string(1, unit);
    return shown;
  }
  return data;
}

Variant DataFor(std::int32_t type, const std::u16string& data, const std::u16string& separator) {
  if (type == kRegMultiSz) {
    std::u16string items;
    std::size_t start = 0;
    while (!data.empty()) {
      const std::size_t end = data.find(separator, start);
      items += data.substr(start, end == std::u16string::npos ? end : end - start);
      items.push_back(u'\0');
      if (end == std::u16string::npos || separator.empty()) break;
      start = end + separator.size();
    }
    return items;
  }
  if (type == kRegDword && data.rfind(u"0x", 0) == 0) return u"&H" + data.substr(2);
  return data;
}

int Add(Arguments& arguments) {
  const RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  std::u16string name;
  std::u16string type_name = u"REG_SZ";
  std::u16string data;
  std::u16string separator = u"\\0";
  const bool with_value = TakeValueName(arguments, &name);
  const bool typed = arguments.TakeOption(u"t", &type_name);
  const bool has_data = arguments.TakeOption(u"d", &data);
  arguments.TakeOption(u"s", &separator);
  arguments.ExpectEnd();
  if (!with_value && (typed || has_data)) throw UsageError{"/t and /d need /v NAME or /ve"};
  Registry registry;
  registry.CreateKey(path.root, path.branch, path.machine);
  if (with_value) {
    const std::int32_t type = TypeFromName(type_name);
    registry.SetValue(path.root, path.branch, name, type, DataFor(type, data, separator),
                      path.machine);
  }
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int Query(Arguments& arguments) {
  const RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  std::u16string name;
  const bool with_value = TakeValueName(arguments, &name);
  arguments.ExpectEnd();
  Registry registry;
  Cli::Print(path.FullName());
  if (with_value) {
    const std::int32_t type = registry.QueryType(path.root, path.branch, name, path.machine);
    const Variant value = registry.QueryValue(path.root, path.branch, name, path.machine);
    Cli::Print(u"    " + (name.empty() ? u"(Default)" : name) + u"    " + TypeToName(type) +
               u"    " + ShowData(type, value));
    return 0;
  }
  for (const Variant& child : registry.GetBranchNames(path.root, path.branch, path.machine)) {
    Cli::Print(path.FullName() + u"\\" + child.ToText());
  }
  return 0;
}

int Type(Arguments& arguments) {
  const RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  std::u16string name;
  if (!TakeValueName(arguments, &name)) throw UsageError{"type needs /v NAME or /ve"};
  arguments.ExpectEnd();
  Cli::Print(TypeToName(Registry().QueryType(path.root, path.branch, name, path.machine)));
  return 0;
}

int Delete(Arguments& arguments) {
  const RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  std::u16string name;
  const bool with_value = TakeValueName(arguments, &name);
  arguments.ExpectEnd();
  if (with_value) {
    Registry().DeleteValue(path.root, path.branch, name, path.machine);
  } else {
    Registry().DeleteKey(path.root, path.branch, path.machine);
  }
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int List(Arguments& arguments) {
  const RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  arguments.ExpectEnd();
  for (const Variant& child : Registry().GetBranchNames(path.root, path.branch, path.machine)) {
    Cli::Print(child.ToText());
  }
  return 0;
}

int Export(Arguments& arguments) {
  std::u16string machine;
  const bool remote = arguments.TakeOption(u"m", &machine);
  RegistryPath path = RegistryPath::Parse(arguments.Take("KEY"));
  if (remote) path.machine = machine;
  const std::u16string file = arguments.Take("FILE");
  arguments.ExpectEnd();
  const int keys = RegFile::Export(path, Cli::Utf8(file));
  Cli::Print(u"Exported " + Cli::Utf16(std::to_string(keys)) + u" key(s) to " + file + u".");
  return 0;
}

int Import(Arguments& arguments) {
  std::u16string machine;
  arguments.TakeOption(u"m", &machine);
  const std::u16string file = arguments.Take("FILE");
  arguments.ExpectEnd();
  const int values = RegFile::Import(Cli::Utf8(file), machine);
  Cli::Print(u"Imported " + Cli::Utf16(std::to_string(values)) + u" value(s) from " + file + u".");
  return 0;
}

}  // namespace

int RunReg(Arguments& arguments) {
  if (arguments.Empty() || arguments.WantsHelp()) {
    Cli::PrintRaw(kRegHelp);
    return arguments.Empty() ? 2 : 0;
  }
  const std::u16string command = arguments.Take("COMMAND");
  if (command == u"add") return Add(arguments);
  if (command == u"query") return Query(arguments);
  if (command == u"type") return Type(arguments);
  if (command == u"delete") return Delete(arguments);
  if (command == u"list") return List(arguments);
  if (command == u"export") return Export(arguments);
  if (command == u"import") return Import(arguments);
  throw UsageError{"unknown reg command '" + Cli::Utf8(command) + "'"};
}

}  // namespace quorvane::qv
