// The system's upper case of every UTF-16 unit, as Windows has it
// (RtlUpcaseUnicodeChar): what registry names are compared and sorted by. It
// covers far more than Latin-1 (fullwidth forms, Greek with tonos, Armenian,
// Cyrillic extensions, Latin Extended Additional, ...) but keeps apart what
// Windows keeps apart (ſ/S, ı/I, ς/Σ, K U+212A/k, ẞ/ß, µ/Μ). The data come
// from Windows' own answers (upper_case_table.cc, generated).
#pragma once

#include <cstdint>

namespace quorvane::platform::portable {

class UpperCaseTable {
 public:
  [[nodiscard]] static char16_t Of(char16_t unit) {
    return static_cast<char16_t>(unit + kDeltas[kPageOf[unit >> 8]][unit & 0xFF]);
  }

 private:
  // The page of differences for each high byte (page 0: none), then the
  // difference between each unit and its upper case, modulo 65536.
  static const std::uint8_t kPageOf[256];
  static const std::uint16_t kDeltas[][256];
};

}  // namespace quorvane::platform::portable
