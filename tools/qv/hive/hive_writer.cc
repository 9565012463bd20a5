#include "tools/qv/hive/hive_writer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::qv {

namespace {

using platform::portable::NameFolding;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kBin = 0x1000;
// Key flags: the hive's root, which may not be deleted; a name kept
// compressed. Value flag: a name kept compressed.
constexpr std::uint16_t kKeyHiveEntry = 0x0004;
constexpr std::uint16_t kKeyNoDelete = 0x0008;
constexpr std::uint16_t kKeyCompressedName = 0x0020;
constexpr std::uint16_t kValueCompressedName = 0x0001;
// Data of up to four bytes lie in the value's cell; the size says so.
constexpr std::uint32_t kDataInline = 0x80000000u;
// Subkeys a leaf of a list holds before the list becomes an index of leaves.
constexpr std::size_t kLeafEntries = 1000;

constexpr std::size_t Aligned(std::size_t size) { return (size + 7) / 8 * 8; }

// Now, as Windows counts time: 100 ns units since 1601.
std::uint64_t FileTimeNow() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return (static_cast<std::uint64_t>(since_1970.count()) + 11644473600ull * 1000000ull) * 10;
}

}  // namespace

HiveWriter::HiveWriter() : bytes_(kBaseBlock, '\0'), written_time_(FileTimeNow()) {
  // A descriptor in self-relative form with its DACL present and null.
  constexpr std::size_t kDescriptorSize = 20;
  security_ = Allocate(24 + kDescriptorSize);
  bytes_.replace(At(security_) + 4, 2, "sk");
  Put32(security_, 8, security_);  // a list of one
  Put32(security_, 12, security_);
  Put32(security_, 20, kDescriptorSize);
  bytes_[At(security_) + 24] = 1;  // revision
  Put16(security_, 26, 0x8004);    // self-relative, DACL present
  root_ = WriteKeyCell(0, u"ROOT", kKeyHiveEntry | kKeyNoDelete);
  open_.push_back(OpenKey{root_, {}, 0});
}

HiveWriter::Cell HiveWriter::Allocate(std::size_t size) {
  size = Aligned(size);
  if (used_ + size > bin_end_) {
    EndBin();
    bin_start_ = bin_end_;
    const std::size_t bin_size = (kBinHeader + size + kBin - 1) / kBin * kBin;
    bin_end_ = bin_start_ + bin_size;
    bytes_.resize(kBaseBlock + bin_end_, '\0');
    const std::size_t header = kBaseBlock + bin_start_;
    bytes_.replace(header, 4, "hbin");
    for (int i = 0; i < 4; ++i) {
      bytes_[header + 4 + i] = static_cast<char>((bin_start_ >> (8 * i)) & 0xFF);
      bytes_[header + 8 + i] = static_cast<char>((bin_size >> (8 * i)) & 0xFF);
    }
    used_ = bin_start_ + kBinHeader;
  }
  const auto cell = static_cast<Cell>(used_);
  used_ += size;
  Put32(cell, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));  // in use
  return cell;
}

void HiveWriter::EndBin() {
  // The rest of the bin is one free cell.
  if (used_ < bin_end_) {
    Put32(static_cast<Cell>(used_), 0, static_cast<std::uint32_t>(bin_end_ - used_));
  }
  used_ = bin_end_;
}

void HiveWriter::Put16(Cell cell, std::size_t at, std::uint16_t value) {
  for (int i = 0; i < 2; ++i)
    bytes_[At(cell) + at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void HiveWriter::Put32(Cell cell, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes_[At(cell) + at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

bool HiveWriter::Compressed(const std::u16string& name) {
  return std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit < 0x80; });
}

std::size_t HiveWriter::NameBytes(const std::u16string& name) {
  return Compressed(name) ? name.size() : name.size() * 2;
}

void HiveWriter::WriteName(Cell cell, std::size_t at, const std::u16string& name) {
  const bool compressed = Compressed(name);
  std::size_t to = At(cell) + at;
  for (const char16_t unit : name) {
    bytes_[to++] = static_cast<char>(unit & 0xFF);
    if (!compressed) bytes_[to++] = static_cast<char>(unit >> 8);
  }
}

HiveWriter::Cell HiveWriter::WriteKeyCell(Cell parent, const std::u16string& name,
                                          std::uint16_t flags) {
  const Cell cell = Allocate(80 + NameBytes(name));
  bytes_.replace(At(cell) + 4, 2, "nk");
  Put16(cell, 6, flags | (Compressed(name) ? kKeyCompressedName : 0));
  Put32(cell, 8, static_cast<std::uint32_t>(written_time_));
  Put32(cell, 12, static_cast<std::uint32_t>(written_time_ >> 32));
  Put32(cell, 20, parent);
  Put32(cell, 32, kNone);  // no subkeys, volatile ones, values or class yet
  Put32(cell, 36, kNone);
  Put32(cell, 44, kNone);
  Put32(cell, 48, security_);
  Put32(cell, 52, kNone);
  Put16(cell, 76, static_cast<std::uint16_t>(NameBytes(name)));
  WriteName(cell, 80, name);
  ++keys_;
  return cell;
}

HiveWriter::Cell HiveWriter::AddKey(Cell parent, const std::u16string& name) {
  while (!open_.empty() && open_.back().cell != parent) EndKey();
  if (open_.empty()) throw std::logic_error("a hive key added below a key already ended");
  const Cell cell = WriteKeyCell(parent, name, 0);
  OpenKey& above = open_.back();
  Child child{std::u16string(), 0, cell};
  child.upper.reserve(name.size());
  for (const char16_t unit : name) {
    const char16_t upper = NameFolding::UpperCase(unit);
    child.upper.push_back(upper);
    child.hash = child.hash * 37 + upper;
  }
  above.children.push_back(std::move(child));
  above.longest_name = std::max(above.longest_name, static_cast<std::uint32_t>(name.size() * 2));
  open_.push_back(OpenKey{cell, {}, 0});
  return cell;
}

void HiveWriter::SetValues(Cell key, const std::vector<RegValue>& values) {
  if (values.empty()) return;
  const Cell list = Allocate(4 + 4 * values.size());
  std::uint32_t longest_name = 0;
  std::uint32_t largest_data = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const RegValue& value = values[i];
    const auto size = static_cast<std::uint32_t>(value.data.size());
    std::uint32_t data = 0;
    if (size > 4) {
      const Cell data_cell = Allocate(4 + size);
      bytes_.replace(At(data_cell) + 4, size, value.data);
      data = data_cell;
    }
    const Cell cell = Allocate(24 + NameBytes(value.name));
    bytes_.replace(At(cell) + 4, 2, "vk");
    Put16(cell, 6, static_cast<std::uint16_t>(NameBytes(value.name)));
    Put32(cell, 8, size > 4 ? size : size | kDataInline);
    if (size > 4) {
      Put32(cell, 12, data);
    } else {
      bytes_.replace(At(cell) + 12, size, value.data);
    }
    Put32(cell, 16, value.type);
    Put16(cell, 20, Compressed(value.name) ? kValueCompressedName : 0);
    WriteName(cell, 24, value.name);
    Put32(list, 4 + 4 * i, cell);
    longest_name = std::max(longest_name, static_cast<std::uint32_t>(value.name.size() * 2));
    largest_data = std::max(largest_data, size);
  }
  Put32(key, 40, static_cast<std::uint32_t>(values.size()));
  Put32(key, 44, list);
  Put32(key, 64, longest_name);
  Put32(key, 68, largest_data);
}

HiveWriter::Cell HiveWriter::WriteLeaf(const Child* first, std::size_t count) {
  const Cell leaf = Allocate(8 + 8 * count);
  bytes_.replace(At(leaf) + 4, 2, "lh");
  Put16(leaf, 6, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    Put32(leaf, 8 + 8 * i, first[i].cell);
    Put32(leaf, 12 + 8 * i, first[i].hash);
  }
  return leaf;
}

void HiveWriter::EndKey() {
  OpenKey key = std::move(open_.back());
  open_.pop_back();
  std::vector<Child>& children = key.children;
  if (children.empty()) return;
  std::sort(children.begin(), children.end(),
            [](const Child& a, const Child& b) { return a.upper < b.upper; });
  Cell list = 0;
  if (children.size() <= kLeafEntries) {
    list = WriteLeaf(children.data(), children.size());
  } else {
    // An index of leaves, each of a run of the sorted subkeys.
    const std::size_t leaves = (children.size() + kLeafEntries - 1) / kLeafEntries;
    std::vector<Cell> written;
    for (std::size_t at = 0; at < children.size(); at += kLeafEntries) {
      written.push_back(
          WriteLeaf(children.data() + at, std::min(kLeafEntries, children.size() - at)));
    }
    list = Allocate(8 + 4 * leaves);
    bytes_.replace(At(list) + 4, 2, "ri");
    Put16(list, 6, static_cast<std::uint16_t>(leaves));
    for (std::size_t i = 0; i < leaves; ++i) Put32(list, 8 + 4 * i, written[i]);
  }
  Put32(key.cell, 24, static_cast<std::uint32_t>(children.size()));
  Put32(key.cell, 32, list);
  Put32(key.cell, 56, key.longest_name);
}

std::string HiveWriter::Finish() {
  while (!open_.empty()) EndKey();
  EndBin();
  Put32(security_, 16, keys_);  // every key refers to the one descriptor
  const auto put = [this](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes_.replace(0, 4, "regf");
  put(4, 1);  // sequence numbers, equal: the file is consistent
  put(8, 1);
  put(12, static_cast<std::uint32_t>(written_time_));
  put(16, static_cast<std::uint32_t>(written_time_ >> 32));
  put(20, 1);  // format version 1.3
  put(24, 3);
  put(28, 0);  // a primary file
  put(32, 1);  // in direct memory-load form
  put(36, root_);
  put(40, static_cast<std::uint32_t>(bin_end_));
  put(44, 1);  // clustering factor
  std::uint32_t checksum = 0;
  for (std::size_t at = 0; at < 508; at += 4) {
    std::uint32_t word = 0;
    for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes_[at + i]);
    checksum ^= word;
  }
  if (checksum == 0) checksum = 1;
  if (checksum == kNone) checksum = kNone - 1;
  put(508, checksum);
  // The first bin carries the time the hive was written.
  put(kBaseBlock + 20, static_cast<std::uint32_t>(written_time_));
  put(kBaseBlock + 24, static_cast<std::uint32_t>(written_time_ >> 32));
  return std::move(bytes_);
}

}  // namespace quorvane::qv
