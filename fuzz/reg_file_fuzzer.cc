// The .reg reader on any input, and the writer and reader together on random
// trees: parse(export(tree)) == tree, hostile names and data included.
#include <sstream>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tools/qv/regfile/reg_reader.h"
#include "tools/qv/regfile/reg_writer.h"

namespace quorvane::fuzz {
namespace {

using qv::RegEntry;
using qv::RegFormat;
using qv::RegReader;
using qv::RegTextError;
using qv::RegValue;
using qv::RegWriter;

// Names drawn from the characters that .reg syntax gives a meaning to.
std::u16string HostileText(FuzzInput& input, std::size_t max_units) {
  static const char16_t kAlphabet[] = {u'a', u'Z', u' ',   u'"',   u'\\', u']',  u'[',
                                       u'=', u';', u'@',   u'-',   u'\r', u'\n', u'\t',
                                       u'0', u',', 0x00E9, 0x20AC, 0x3A9, u'x',  u'\0'};
  std::u16string text;
  const std::size_t length = input.Byte() % (max_units + 1);
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(kAlphabet[input.Byte() % (sizeof kAlphabet / sizeof kAlphabet[0])]);
  }
  return text;
}

struct Key {
  std::u16string name;
  std::vector<RegValue> values;
};

void ReadAnything(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    RegReader reader(in);
    RegEntry entry;
    std::string error;
    int entries = 0;
    while (reader.Next(&entry, &error)) Require(++entries <= static_cast<int>(size) + 1);
  } catch (const RegTextError&) {
    // Not a .reg file, or a line over the limit: refused, which is fine.
  }
}

void RoundTrip(FuzzInput& input) {
  const RegFormat format = input.Byte() % 2 == 0 ? RegFormat::kVersion5 : RegFormat::kRegedit4;
  std::vector<Key> tree;
  std::u16string path = u"HKEY_CURRENT_USER\\Software";
  const int key_count = 1 + input.Byte() % 4;
  for (int k = 0; k < key_count; ++k) {
    std::u16string component = HostileText(input, 8);
    for (char16_t& unit : component) {
      if (unit == u'\\' || unit == u'\0') unit = u'k';  // not part of a key name
    }
    if (component.empty()) component = u"k";
    path += u"\\" + component;
    Key key{path, {}};
    const int value_count = input.Byte() % 4;
    for (int v = 0; v < value_count; ++v) {
      RegValue value;
      value.name = HostileText(input, 6);
      if (value.name.find(u'\0') != std::u16string::npos) continue;
      value.type = input.Byte() % 13;
      const std::u16string data = HostileText(input, 10);
      value.data.assign(data.begin(), data.end());  // bytes below 0x100 kept
      for (std::size_t i = 0; i < value.data.size(); ++i) {
        value.data[i] = static_cast<char>(data[i] & 0xFF);
      }
      bool duplicate = false;
      for (const RegValue& other : key.values) duplicate |= other.name == value.name;
      if (!duplicate) key.values.push_back(value);
    }
    tree.push_back(key);
  }
  std::string file;
  try {
    file = RegWriter::Whole(format, [&tree](RegWriter& writer) {
      for (const Key& key : tree) {
        writer.Key(key.name);
        for (const RegValue& value : key.values) writer.Value(value);
      }
    });
  } catch (const RegTextError&) {
    return;  // a tree a .reg file cannot carry is refused, never altered
  }
  std::istringstream in(file);
  RegReader reader(in);
  Require(reader.Format() == format);
  RegEntry entry;
  std::string error;
  for (const Key& key : tree) {
    Require(reader.Next(&entry, &error) && error.empty());
    Require(entry.kind == RegEntry::Kind::kKey && entry.key.FullName() == key.name);
    for (const RegValue& value : key.values) {
      Require(reader.Next(&entry, &error) && error.empty());
      Require(entry.kind == RegEntry::Kind::kValue);
      // Strings come back ending in their zero, as Windows' editors import
      // them; no data stay no data.
      const bool text =
          (value.type == 1 || value.type == 2 || value.type == 7) && !value.data.empty();
      const std::string expected = text ? qv::RegText::Terminated(value.data) : value.data;
      Require(entry.value.name == value.name && entry.value.type == value.type &&
              entry.value.data == expected);
    }
  }
  Require(!reader.Next(&entry, &error));
}

}  // namespace
}  // namespace quorvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::ReadAnything(data, size);
  quorvane::fuzz::FuzzInput input(data, size);
  quorvane::fuzz::RoundTrip(input);
  return 0;
}
