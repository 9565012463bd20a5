// The text primitives the path members are built on. Text is UTF-16 code units,
// positions count from 1 and are held in 16 bits: a position beyond 32767
// raises error 6 (overflow).
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

class TextPrimitives {
 public:
  // The first occurrence of `target` at or after `start`, or 0. Exact,
  // case-sensitive comparison. An empty text gives 0; an empty target is
  // found at `start`. Raises 6 when the occurrence lies beyond 32767.
  [[nodiscard]] static std::int16_t Find(const std::u16string& text, const std::u16string& target,
                                         std::int32_t start);
  // p + 1 as a position; raises 6 when p is 32767.
  [[nodiscard]] static std::int16_t Next(std::int32_t position);
  // A length or computed position as a 16-bit position; 6 when it does not fit.
  [[nodiscard]] static std::int16_t AsPosition(std::int64_t value);

  [[nodiscard]] static std::u16string Left(const std::u16string& text, std::int64_t count);
  [[nodiscard]] static std::u16string Right(const std::u16string& text, std::int64_t count);
  // From `start` to the end, or `count` units from `start`; empty past the end.
  [[nodiscard]] static std::u16string Mid(const std::u16string& text, std::int64_t start);
  [[nodiscard]] static std::u16string Mid(const std::u16string& text, std::int64_t start,
                                          std::int64_t count);
  // Without leading and trailing blanks (U+0020 only).
  [[nodiscard]] static std::u16string Trim(const std::u16string& text);
  [[nodiscard]] static std::int32_t Length(const std::u16string& text) {
    return static_cast<std::int32_t>(text.size());
  }
};

}  // namespace quorvane
