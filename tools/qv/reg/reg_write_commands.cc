// qv reg add, delete and copy: the commands that write, each one transaction.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/unicode_text.h>
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

namespace {

[[noreturn]] void BadData(const std::u16string& data, const std::string& why) {
  throw ToolFailure("invalid data '" + Cli::Utf8(data) + "': " + why);
}

// Text as the wide registry calls take it, with its zero.
std::string Terminated(const std::u16string& text) {
  return UnicodeText::Utf16Le(text + std::u16string(1, u'\0'));
}

// A number as reg.exe reads it: blanks and a "+" before it, then decimal, or
// hex after 0x.
std::uint64_t Number(const std::u16string& data, std::uint64_t maximum) {
  std::size_t start = data.find_first_not_of(u" \t");
  if (start == std::u16string::npos) start = data.size();
  if (start < data.size() && data[start] == u'+') ++start;
  const std::u16string text = data.substr(start);
  const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
  const std::u16string digits = hex ? text.substr(2) : text;
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
      // an empty item anywhere else is refused, as reg.exe does. The
      // separator alone is the empty list: its two terminators.
      if (data == separator) return UnicodeText::Utf16Le(std::u16string(2, u'\0'));
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
    case 5:  // REG_DWORD_BIG_ENDIAN: reg.exe stores it as it stores a REG_DWORD
      return LittleEndian(Number(data, 0xFFFFFFFFu), 4);
    case 11:  // REG_QWORD; reg.exe reads -1 as all ones
      if (data == u"-1") return LittleEndian(~std::uint64_t{0}, 8);
      return LittleEndian(Number(data, ~std::uint64_t{0}), 8);
    default: {
      // Binary and every other type: hex digits, two a byte; an odd count
      // takes a leading zero, as reg.exe reads it ("102" is 01 02).
      const std::u16string digits = data.size() % 2 == 0 ? data : u"0" + data;
      std::string bytes;
      for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = RegText::HexDigit(digits[i]);
        const int low = RegText::HexDigit(digits[i + 1]);
        if (high < 0 || low < 0) BadData(data, "not hex");
        bytes.push_back(static_cast<char>(high * 16 + low));
      }
      return bytes;
    }
  }
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

}  // namespace

int RegAdd(Arguments& arguments) {
  const Switches switches(arguments, {u"v", u"t", u"s", u"d"}, {u"ve", u"f", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  std::u16string type_name = u"REG_SZ";
  std::u16string data;
  std::u16string separator = u"\\0";
  const bool with_value = ValueName(switches, &name);
  switches.Value(u"t", &type_name);
  const bool has_data = switches.Value(u"d", &data);
  if (switches.Value(u"s", &separator) && separator.size() != 1) {
    throw UsageError{"/s takes one character to separate the items"};
  }
  // reg.exe: without /v or /ve the value written is the default one, empty
  // unless /d gives data; a REG_QWORD without data is 0.
  if (!with_value) name.clear();
  const std::int32_t type = TypeFromName(type_name);
  if (type == 11 && !has_data) data = u"0";
  const std::string bytes = DataFor(type, data, separator);
  // Asked before the write lock is taken, so that no other program waits on
  // the answer.
  if (!switches.Has(u"f") && RegFile::KeyExists(path) && RegFile::ValueExists(path, name)) {
    const std::string shown = name.empty() ? "(Default)" : Cli::Utf8(name);
    if (!Confirm("Value " + shown + " exists, overwrite")) {
      throw ToolFailure("the value " + shown +
                        " exists and was left as it is (add /f to overwrite it)");
    }
  }
  // The key and its value land together or not at all.
  RegistryBatch transaction(true, path.root);
  RegFile::CreateKey(path);
  RegFile::WriteValue(path, RegValue{name, static_cast<std::uint32_t>(type), bytes});
  transaction.Commit();
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

// reg query's layout: an empty line, then for each key that has values its
// name, its values indented by four and an empty line; without /s the
// subkeys' names follow, with /s their own blocks.

int RegDelete(Arguments& arguments) {
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
  RegistryBatch transaction(true, path.root);
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

int RegCopy(Arguments& arguments) {
  const Switches switches(arguments, {u"to-registry"}, {u"s", u"f", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"copy takes KEY1 and KEY2"};
  const RegistryPath from = KeyIn(switches, switches.Positional()[0]);
  const RegistryPath to = KeyIn(switches, switches.Positional()[1]);
  std::u16string other_registry;
  const bool elsewhere = switches.Value(u"to-registry", &other_registry);
  if (elsewhere && other_registry.empty())
    throw UsageError{"/to-registry needs a registry: a file, :memory: or wine:PREFIX"};
  RegFile::RequireKey(from);
  // Into another registry the source is read as one snapshot, and the
  // registry changes once it is read.
  std::optional<RegistryBatch> reading;
  if (elsewhere) reading.emplace(false);
  std::optional<RegistryBatch> transaction;
  if (!elsewhere) {
    transaction.emplace(true, to.root);
    if (KeyTree::Contains(from, to))
      throw ToolFailure("cannot copy a key onto itself or into its own tree");
  }
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
  if (elsewhere) {
    reading->Commit();
    reading.reset();
    if (platform::UseRegistryAt(Cli::Utf8(other_registry)) != 0)
      throw ToolFailure("/to-registry: on Windows the registry is Windows' own");
    transaction.emplace(true, to.root);
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
  transaction->Commit();
  Cli::Print(u"The operation completed successfully.");
  return 0;
}

}  // namespace quorvane::qv
