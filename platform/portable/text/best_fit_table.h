// Windows-1252's best fit: the units the code page holds only as a look-alike
// (U+0100 as "A", U+0110 as 0xD0, U+FF21 as "A", ...), which
// WideCharToMultiByte writes unless it is asked for WC_NO_BEST_FIT_CHARS, and
// which the ANSI registry calls give for wide names and data. The data come
// from Windows' own answers (best_fit_table.cc, generated).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quorvane::platform::portable {

class BestFitTable {
 public:
  // The look-alike byte for `unit`, or false when it has none.
  [[nodiscard]] static bool Find(char16_t unit, char* byte) {
    const Entry* end = kEntries + kCount;
    const Entry* found = std::lower_bound(
        kEntries, end, unit, [](const Entry& entry, char16_t key) { return entry.unit < key; });
    if (found == end || found->unit != unit) return false;
    *byte = static_cast<char>(found->byte);
    return true;
  }

 private:
  struct Entry {
    char16_t unit;
    std::uint8_t byte;
  };
  static const Entry kEntries[];  // sorted by unit
  static const std::size_t kCount;
};

}  // namespace quorvane::platform::portable
