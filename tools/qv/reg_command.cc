// qv reg: keys and values, modelled on the Windows reg command.
#include <cstdio>
#include <filesystem>

#include "core/ansi_text.h"
#include "core/error_object.h"
#include "platform/platform.h"
#include "platform/unicode_text.h"
#include "registry/registry.h"
#include "registry/registry_errors.h"
#include "tools/qv/cli.h"
#include "tools/qv/key_tree.h"
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
    "\n"
    "types: REG_SZ REG_EXPAND_SZ REG_BINARY REG_DWORD REG_DWORD_BIG_ENDIAN\n"
    "       REG_MULTI_SZ REG_QWORD REG_NONE (any case, or a number)\n"
    "Every command takes /reg:32 or /reg:64 to choose the 32- or 64-bit registry\n"
    "view (the 32-bit view finds HKLM\\Software\\X at Software\\Wow6432Node\\X).\n"
    "Switches may be written /x or -x, in any case. Every failure exits 1.\n";

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

std::u16string Upper(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit -= 0x20;
  }
  return text;
}

std::u16string Lower(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z') unit += 0x20;
  }
  return text;
}

std::u16string TypeToName(std::int32_t code) {
  for (const TypeName& type : kTypes) {
    if (type.code == code) return type.name;
  }
  return Cli::Utf16(std::to_string(code));
}

std::int32_t TypeFromName(const std::u16string& name) {
  for (const TypeName& type : kTypes) {
    if (Upper(name) == type.name) return type.code;
  }
  try {
    return Variant(name).ToInt32();
  } catch (const ErrorObject&) {
    throw UsageError{"unknown value type '" + Cli::Utf8(name) + "'"};
  }
}

// /v NAME or /ve (the default value); false when neither is given.
bool ValueName(const Switches& switches, std::u16string* name) {
  const bool named = switches.Value(u"v", name);
  if (named && switches.Has(u"ve")) throw UsageError{"give /v NAME or /ve, not both"};
  if (switches.Has(u"ve")) name->clear();
  return named || switches.Has(u"ve");
}

// A key named on the command line, in the registry view /reg:32 or /reg:64
// chooses (the 32-bit view finds HKLM\Software\X at Wow6432Node\X).
RegistryPath KeyIn(const Switches& switches, const std::u16string& text) {
  RegistryPath path = RegistryPath::Parse(text);
  if (switches.Has(u"reg:32") && switches.Has(u"reg:64")) {
    throw UsageError{"give /reg:32 or /reg:64, not both"};
  }
  if (switches.Has(u"reg:32")) path.view = kKeyWow6432Key;
  if (switches.Has(u"reg:64")) path.view = kKeyWow6464Key;
  return path;
}

// The one positional word a command takes.
std::u16string OnlyPositional(const Switches& switches, const char* what) {
  if (switches.Positional().empty()) throw UsageError{std::string("missing ") + what};
  if (switches.Positional().size() > 1) {
    throw UsageError{"unexpected argument '" + Cli::Utf8(switches.Positional()[1]) + "'"};
  }
  return switches.Positional()[0];
}

// Value data as reg query shows them.
std::u16string Shown(const RegValue& value) {
  const std::string& data = value.data;
  const auto byte = [&](std::size_t i) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(data[i]));
  };
  char number[32];
  switch (value.type) {
    case kRegSz:
    case kRegExpandSz: {
      const std::u16string text = UnicodeText::FromUtf16Le(data);
      const std::size_t end = text.find(u'\0');
      return end == std::u16string::npos ? text : text.substr(0, end);
    }
    case kRegMultiSz: {
      std::u16string text = UnicodeText::FromUtf16Le(data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      std::u16string shown;
      for (char16_t unit : text)
        shown += unit == u'\0' ? std::u16string(u"\\0") : std::u16string(1, unit);
      return shown;
    }
    case kRegDword:
    case 5:  // REG_DWORD_BIG_ENDIAN
      if (data.size() == 4) {
        // reg.exe shows both as the bytes are stored, low byte first.
        const std::uint64_t bits = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(bits));
        return Cli::Utf16(number);
      }
      break;
    case 11:  // REG_QWORD
      if (data.size() == 8) {
        std::uint64_t bits = 0;
        for (std::size_t i = 8; i-- > 0;) bits = bits << 8 | byte(i);
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(bits));
        return Cli::Utf16(number);
      }
      break;
    default:
      break;
  }
  std::string hex;
  for (char unit : data) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(unit));
    hex += pair;
  }
  return Cli::Utf16(hex);
}

std::u16string ValueLine(const RegValue& value) {
  return u"    " + (value.name.empty() ? std::u16string(u"(Default)") : value.name) + u"    " +
         TypeToName(static_cast<std::int32_t>(value.type)) + u"    " + Shown(value);
}

[[noreturn]] void BadData(const std::u16string& data, const std::string& why) {
  throw ToolFailure("invalid data '" + Cli::Utf8(data) + "': " + why);
}

// Text as the wide registry calls take it, with its zero.
std::string Terminated(const std::u16string& text) {
  return UnicodeText::Utf16Le(text + std::u16string(1, u'\0'));
}

// A number as reg.exe reads it: decimal, or hex after 0x.
std::uint64_t Number(const std::u16string& data, std::uint64_t maximum) {
  const bool hex = data.size() > 2 && data[0] == u'0' && (data[1] == u'x' || data[1] == u'X');
  const std::u16string digits = hex ? data.substr(2) : data;
  if (digits.empty()) BadData(data, "a number is needed");
  std::uint64_t value = 0;
  const std::uint64_t base = hex ? 16 : 10;
  for (char16_t unit : digits) {
    const int digit = RegText::HexDigit(unit);
    if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) BadData(data, "not a number");
    if (value > (maximum - static_cast<std::uint64_t>(digit)) / base) {
      BadData(data, "out of range");
    }
    value = value * base + static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::string LittleEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

// The bytes a value of `type` holds for DATA as reg add takes it.
std::string DataFor(std::int32_t type, const std::u16string& data,
                    const std::u16string& separator) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case 0:  // REG_NONE: reg.exe stores the data as text
      return Terminated(data);
    case kRegMultiSz: {
      // Items between separators; a final separator adds no empty item, and
      // an empty item anywhere else is refused, as reg.exe does.
      std::string bytes;
      std::size_t start = 0;
      while (start < data.size()) {
        std::size_t end = data.find(separator, start);
        if (end == std::u16string::npos) end = data.size();
        if (end == start) BadData(data, "an empty item in a REG_MULTI_SZ list");
        bytes += Terminated(data.substr(start, end - start));
        start = end == data.size() ? end : end + separator.size();
      }
      return bytes + UnicodeText::Utf16Le(std::u16string(1, u'\0'));
    }
    case kRegDword:
      return LittleEndian(Number(data, 0xFFFFFFFFu), 4);
    case 5:  // REG_DWORD_BIG_ENDIAN: reg.exe stores it as it stores a REG_DWORD
      return LittleEndian(Number(data, 0xFFFFFFFFu), 4);
    case 11:  // REG_QWORD
      return LittleEndian(Number(data, ~std::uint64_t{0}), 8);
    default: {
      // Binary and every other type: hex digits, two a byte.
      if (data.size() % 2 != 0) BadData(data, "hex data needs two digits a byte");
      std::string bytes;
      for (std::size_t i = 0; i < data.size(); i += 2) {
        const int high = RegText::HexDigit(data[i]);
        const int low = RegText::HexDigit(data[i + 1]);
        if (high < 0 || low < 0) BadData(data, "not hex");
        bytes.push_back(static_cast<char>(high * 16 + low));
      }
      return bytes;
    }
  }
}

// Asks on the terminal; without one the answer is no.
bool Confirm(const std::string& question) {
  if (!StandardInputIsInteractive()) return false;
  std::fprintf(stderr, "%s (Yes/No)? ", question.c_str());
  std::fflush(stderr);
  char answer[16] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

int Add(Arguments& arguments) {
  const Switches switches(arguments, {u"v", u"t", u"s", u"d"}, {u"ve", u"f", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  std::u16string type_name = u"REG_SZ";
  std::u16string data;
  std::u16string separator = u"\\0";
  bool with_value = ValueName(switches, &name);
  switches.Value(u"t", &type_name);
  const bool has_data = switches.Value(u"d", &data);
  if (switches.Value(u"s", &separator) && separator.empty()) {
    throw UsageError{"/s needs a separator that is not empty"};
  }
  // reg.exe: /t or /d without a name set the default value.
  if (!with_value && (has_data || switches.Has(u"t"))) with_value = true;
  const std::int32_t type = TypeFromName(type_name);
  const std::string bytes = with_value ? DataFor(type, data, separator) : std::string();
  // The key and its value land together or not at all.
  RegistryBatch transaction(true);
  RegFile::CreateKey(path);
  if (with_value) {
    if (!switches.Has(u"f") && RegFile::ValueExists(path, name)) {
      const std::string shown = name.empty() ? "(Default)" : Cli::Utf8(name);
      if (!Confirm("Value " + shown + " exists, overwrite")) {
        throw ToolFailure("the value " + shown +
                          " exists and was left as it is (add /f to overwrite it)");
      }
    }
    RegFile::WriteValue(path, RegValue{name, static_cast<std::uint32_t>(type), bytes});
  }
  transaction.Commit();
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

// reg query's layout: an empty line, then for each key that has values its
// name, its values indented by four and an empty line; without /s the
// subkeys' names follow, with /s their own blocks.
// What reg query /f, /k, /d, /c, /e and /t look for.
struct Search {
  bool active = false;     // /f given
  std::u16string pattern;  // "*" matches everything
  bool keys = true;        // key names
  bool names = true;       // value names
  bool data = true;        // value data as shown
  bool case_sensitive = false;
  bool exact = false;
  bool typed = false;  // /t given
  std::uint32_t type = 0;
  int matches = 0;

  [[nodiscard]] bool Matches(const std::u16string& text) const {
    if (pattern == u"*") return true;
    const std::u16string a = case_sensitive ? text : Upper(text);
    const std::u16string b = case_sensitive ? pattern : Upper(pattern);
    return exact ? a == b : a.find(b) != std::u16string::npos;
  }
  [[nodiscard]] bool Keeps(const RegValue& value) const {
    if (typed && value.type != type) return false;
    if (!active) return true;
    return (names && Matches(value.name)) || (data && Matches(Shown(value)));
  }
};

// A key's block: its name, then the values the search keeps, then an empty
// line; nothing when it keeps none.
void ShowValues(const RegistryPath& path, const std::vector<RegValue>& all, Search* search) {
  std::vector<const RegValue*> kept;
  for (const RegValue& value : all) {
    if (search->Keeps(value)) kept.push_back(&value);
  }
  if (kept.empty()) return;
  Cli::Print(path.FullName());
  for (const RegValue* value : kept) Cli::Print(ValueLine(*value));
  Cli::Print(u"");
  search->matches += static_cast<int>(kept.size());
}

void QueryTree(const RegistryPath& path, bool recurse, Search* search) {
  if (recurse) {
    KeyTree::Walk(path, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      if (visit.depth > 0) {
        const std::u16string& branch = visit.path.branch;
        const std::u16string name = branch.substr(branch.rfind(u'\\') + 1);
        if (search->active && search->keys && search->Matches(name)) {
          ++search->matches;
          Cli::Print(visit.path.FullName());
        }
      }
      ShowValues(visit.path, ValuesOf(visit.key), search);
    });
    return;
  }
  ShowValues(path, RegFile::Values(path), search);
  for (const std::u16string& child : RegFile::SubkeyNames(path)) {
    RegistryPath below = path;
    below.branch = path.branch.empty() ? child : path.branch + u"\\" + child;
    const bool key_matches = search->active && search->keys && search->Matches(child);
    if (key_matches) ++search->matches;
    if (!search->active || key_matches) Cli::Print(below.FullName());
  }
}

int Query(Arguments& arguments) {
  const Switches switches(arguments, {u"v", u"f", u"t"},
                          {u"ve", u"s", u"k", u"d", u"c", u"e", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  const bool with_value = ValueName(switches, &name);
  RegistryBatch snapshot(false);
  if (with_value) {
    std::vector<RegValue> values = RegFile::Values(path);  // raises for a missing key
    const RegValue* found = nullptr;
    const std::u16string folded = Upper(name);
    for (const RegValue& value : values) {
      if (Upper(value.name) == folded) found = &value;
    }
    if (found == nullptr && !name.empty()) {
      throw ToolFailure("Unable to find the specified registry value");
    }
    Cli::Print(u"");
    Cli::Print(path.FullName());
    if (found != nullptr) {
      RegValue shown = *found;
      shown.name = name;  // as reg.exe, the name as it was asked for
      Cli::Print(ValueLine(shown));
    } else {
      Cli::Print(u"    (Default)    REG_SZ    (value not set)");
    }
    Cli::Print(u"");
    snapshot.Commit();
    return 0;
  }
  Search search;
  search.active = switches.Value(u"f", &search.pattern);
  if (search.active && search.pattern.empty()) search.pattern = u"*";
  if (switches.Has(u"k") || switches.Has(u"d")) {
    search.keys = switches.Has(u"k");
    search.names = false;
    search.data = switches.Has(u"d");
  }
  search.case_sensitive = switches.Has(u"c");
  search.exact = switches.Has(u"e");
  std::u16string type_name;
  if (switches.Value(u"t", &type_name)) {
    search.typed = true;
    search.type = static_cast<std::uint32_t>(TypeFromName(type_name));
  }
  if (!search.active &&
      (switches.Has(u"k") || switches.Has(u"d") || switches.Has(u"c") || switches.Has(u"e"))) {
    throw UsageError{"/k, /d, /c and /e go with /f PATTERN"};
  }
  RegFile::RequireKey(path);  // before anything is shown
  Cli::Print(u"");
  QueryTree(path, switches.Has(u"s"), &search);
  if (search.active) {
    Cli::Print(u"End of search: " + Cli::Utf16(std::to_string(search.matches)) +
               u" match(es) found.");
  }
  snapshot.Commit();
  return 0;
}

int Type(Arguments& arguments) {
  const Switches switches(arguments, {u"v"}, {u"ve", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  if (!ValueName(switches, &name)) throw UsageError{"type needs /v NAME or /ve"};
  const std::u16string folded = Upper(name);
  for (const RegValue& value : RegFile::Values(path)) {
    if (Upper(value.name) == folded) {
      Cli::Print(TypeToName(static_cast<std::int32_t>(value.type)));
      return 0;
    }
  }
  throw ToolFailure("Unable to find the specified registry value");
  return 0;
}

int Delete(Arguments& arguments) {
  const Switches switches(arguments, {u"v"}, {u"ve", u"va", u"f", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  const bool with_value = ValueName(switches, &name);
  if (with_value && switches.Has(u"va")) throw UsageError{"give /v, /ve or /va, not several"};
  if (!switches.Has(u"f")) {
    const std::string what =
        switches.Has(u"va") ? "all values of the registry key '" + Cli::Utf8(path.FullName()) + "'"
        : with_value        ? "the registry value '" +
                           (name.empty() ? std::string("(Default)") : Cli::Utf8(name)) + "'"
                     : "the registry key '" + Cli::Utf8(path.FullName()) + "'";
    if (!Confirm("Are you sure you want to delete " + what)) {
      throw ToolFailure("nothing deleted (add /f to delete without asking)");
    }
  }
  // However much it removes, a delete is one transaction.
  RegistryBatch transaction(true);
  if (switches.Has(u"va")) {
    RegFile::DeleteValues(path);
  } else if (with_value) {
    RegFile::DeleteValue(path, name);
  } else {
    if (path.branch.empty()) throw ToolFailure("a root key cannot be deleted");
    RegFile::RequireKey(path);
    RegFile::DeleteTree(path);
  }
  transaction.Commit();
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

// A key of the tree being copied: its path below the key copied, and its values.
struct CopiedKey {
  std::u16string relative;
  std::vector<RegValue> values;
};

RegistryPath Target(const RegistryPath& to, const std::u16string& relative) {
  RegistryPath target = to;
  if (!relative.empty())
    target.branch = to.branch.empty() ? relative : to.branch + u"\\" + relative;
  return target;
}

int Copy(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"s", u"f", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"copy takes KEY1 and KEY2"};
  const RegistryPath from = KeyIn(switches, switches.Positional()[0]);
  const RegistryPath to = KeyIn(switches, switches.Positional()[1]);
  RegFile::RequireKey(from);
  RegistryBatch transaction(true);
  if (KeyTree::Contains(from, to))
    throw ToolFailure("cannot copy a key onto itself or into its own tree");
  // The source is read whole first, and every value that would be overwritten
  // is settled before anything is written: a refusal copies nothing.
  std::vector<CopiedKey> tree;
  if (switches.Has(u"s")) {
    KeyTree::Walk(from, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      const std::size_t skip = from.branch.empty() ? 0 : from.branch.size() + 1;
      tree.push_back(
          {visit.depth == 0 ? u"" : visit.path.branch.substr(skip), ValuesOf(visit.key)});
    });
  } else {
    tree.push_back({u"", RegFile::Values(from)});
  }
  if (!switches.Has(u"f")) {
    for (const CopiedKey& key : tree) {
      const RegistryPath target = Target(to, key.relative);
      for (const RegValue& value : key.values) {
        if (!RegFile::KeyExists(target) || !RegFile::ValueExists(target, value.name)) continue;
        const std::string shown = value.name.empty() ? "(Default)" : Cli::Utf8(value.name);
        if (!Confirm("Value " + shown + " exists in " + Cli::Utf8(target.FullName()) +
                     ", overwrite")) {
          throw ToolFailure("the value " + shown + " of " + Cli::Utf8(target.FullName()) +
                            " exists; nothing was copied (add /f to overwrite)");
        }
      }
    }
  }
  for (const CopiedKey& key : tree) RegFile::WriteValues(Target(to, key.relative), key.values);
  transaction.Commit();
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

int List(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  for (const std::u16string& child : RegFile::SubkeyNames(path)) Cli::Print(child);
  return 0;
}

int Export(Arguments& arguments) {
  const Switches switches(arguments, {u"m"}, {u"y", u"regedit4", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"export takes KEY and FILE"};
  RegistryPath path = KeyIn(switches, switches.Positional()[0]);
  switches.Value(u"m", &path.machine);
  const std::u16string file = switches.Positional()[1];
  std::error_code ignored;
  if (!switches.Has(u"y") &&
      std::filesystem::exists(std::filesystem::u8path(Cli::Utf8(file)), ignored) &&
      !Confirm("File " + Cli::Utf8(file) + " already exists. Overwrite")) {
    throw ToolFailure(Cli::Utf8(file) + " exists and was left as it is (add /y to overwrite it)");
  }
  const RegFormat format = switches.Has(u"regedit4") ? RegFormat::kRegedit4 : RegFormat::kVersion5;
  const int keys = RegFile::Export(path, Cli::Utf8(file), format);
  Cli::Print(u"Exported " + Cli::Utf16(std::to_string(keys)) + u" key(s) to " + file + u".");
  return 0;
}

// The registry's file checked whole: exit 0 when sound, 1 when damaged or not
// checked, with the findings in words.
int Check(Arguments& arguments) {
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

int Import(Arguments& arguments) {
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

}  // namespace

int RunReg(Arguments& arguments) {
  if (arguments.Empty() || arguments.NextIsHelp()) {
    Cli::PrintRaw(kRegHelp);
    return arguments.Empty() ? 2 : 0;
  }
  // Help only right after the command: any later word may be data.
  const std::u16string command = Lower(arguments.Take("COMMAND"));
  if (arguments.NextIsHelp()) {
    Cli::PrintRaw(kRegHelp);
    return 0;
  }
  // As reg.exe, every failure of a reg command exits 1, wrong usage included.
  try {
    if (command == u"add") return Add(arguments);
    if (command == u"query") return Query(arguments);
    if (command == u"type") return Type(arguments);
    if (command == u"delete") return Delete(arguments);
    if (command == u"copy") return Copy(arguments);
    if (command == u"list") return List(arguments);
    if (command == u"export") return Export(arguments);
    if (command == u"import") return Import(arguments);
    if (command == u"check") return Check(arguments);
    throw UsageError{"unknown reg command '" + Cli::Utf8(command) + "'"};
  } catch (const UsageError& usage) {
    std::fflush(stdout);
    std::fprintf(stderr, "qv: %s (try 'qv reg --help')\n", usage.hint.c_str());
    return 1;
  }
}

}  // namespace quorvane::qv
