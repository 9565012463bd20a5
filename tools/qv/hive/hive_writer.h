// A new hive file in the regf format, written in one pass over a tree: each
// key's cell when the key is added, its values once, and its subkey list once
// all its subkeys are in, so that nothing is written twice and no space is
// left free but the end of a bin. Keys are added as a walk visits them, each
// after its parent and before the parent's later siblings, so that adding a
// key below a parent ends every key added after that parent; a key's
// subkeys may come in any order, and their list is sorted as Windows looks
// names up (by upper case, with the hash of each name that Windows' lists
// keep).
//
// The hive is of format 1.3, as reg.exe's saves have long been read: names
// in ASCII kept compressed, others as UTF-16; data of up to four bytes kept
// in the value's own cell, longer data in a cell of its own; one security
// descriptor (no DACL: everyone may do anything) shared by every key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

class HiveWriter {
 public:
  using Cell = std::uint32_t;  // a cell's offset from the first bin

  HiveWriter();
  [[nodiscard]] Cell Root() const { return root_; }
  // Adds a key named `name` below `parent`, which must not be ended yet.
  Cell AddKey(Cell parent, const std::u16string& name);
  // The values of the key added last (or of the root, before any), once.
  void SetValues(Cell key, const std::vector<RegValue>& values);
  // Ends every key and returns the whole file.
  std::string Finish();

 private:
  struct Child {
    std::u16string upper;  // the name in upper case, as lists are sorted
    std::uint32_t hash;
    Cell cell;
  };
  struct OpenKey {
    Cell cell;
    std::vector<Child> children;
    std::uint32_t longest_name = 0;  // of the subkeys, in bytes of UTF-16
  };

  // A new cell of `size` bytes (its size field included), zeroed; returns its
  // offset. A cell that does not fit in the bin begins a new one.
  Cell Allocate(std::size_t size);
  [[nodiscard]] std::size_t At(Cell cell) const { return kBaseBlock + cell; }
  void Put16(Cell cell, std::size_t at, std::uint16_t value);
  void Put32(Cell cell, std::size_t at, std::uint32_t value);
  Cell WriteKeyCell(Cell parent, const std::u16string& name, std::uint16_t flags);
  // Whether a name is kept compressed (one byte a unit), and its size so.
  static bool Compressed(const std::u16string& name);
  static std::size_t NameBytes(const std::u16string& name);
  void WriteName(Cell cell, std::size_t at, const std::u16string& name);
  // Writes the subkey list of the key last open, and closes it.
  void EndKey();
  Cell WriteLeaf(const Child* first, std::size_t count);
  void EndBin();

  static constexpr std::size_t kBaseBlock = 0x1000;
  static constexpr std::size_t kBinHeader = 0x20;
  std::string bytes_;
  std::size_t bin_start_ = 0;  // the current bin's offset from the first bin
  std::size_t bin_end_ = 0;
  std::size_t used_ = 0;  // where the next cell goes, from the first bin
  std::uint64_t written_time_ = 0;
  Cell security_ = 0;
  Cell root_ = 0;
  std::uint32_t keys_ = 0;
  std::vector<OpenKey> open_;  // the keys not ended, parents first
};

}  // namespace quorvane::qv
