#include <quorvane/fileworks/text_primitives.h>

#include <algorithm>

#include <quorvane/core/error_object.h>

namespace quorvane {

std::int16_t TextPrimitives::AsPosition(std::int64_t value) {
  if (value > 32767 || value < -32768) StandardErrors::Raise(StandardErrors::kOverflow);
  return static_cast<std::int16_t>(value);
}

std::int16_t TextPrimitives::Next(std::int32_t position) {
  return AsPosition(static_cast<std::int64_t>(position) + 1);
}

std::int16_t TextPrimitives::Find(const std::u16string& text, const std::u16string& target,
                                  std::int32_t start) {
  if (text.empty() || start < 1 || static_cast<std::size_t>(start) > text.size()) return 0;
  const std::size_t found = text.find(target, static_cast<std::size_t>(start - 1));
  if (found == std::u16string::npos) return 0;
  return AsPosition(static_cast<std::int64_t>(found) + 1);
}

std::u16string TextPrimitives::Left(const std::u16string& text, std::int64_t count) {
  if (count <= 0) return std::u16string();
  return text.substr(0, static_cast<std::size_t>(count));
}

std::u16string TextPrimitives::Right(const std::u16string& text, std::int64_t count) {
  if (count <= 0) return std::u16string();
  const auto size = static_cast<std::int64_t>(text.size());
  return count >= size ? text : text.substr(static_cast<std::size_t>(size - count));
}

std::u16string TextPrimitives::Mid(const std::u16string& text, std::int64_t start) {
  if (start < 1 || static_cast<std::uint64_t>(start) > text.size()) return std::u16string();
  return text.substr(static_cast<std::size_t>(start - 1));
}

std::u16string TextPrimitives::Mid(const std::u16string& text, std::int64_t start,
                                   std::int64_t count) {
  return Left(Mid(text, start), count);
}

std::u16string TextPrimitives::Trim(const std::u16string& text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return std::u16string();
  const std::size_t last = text.find_last_not_of(u' ');
  return text.substr(first, last - first + 1);
}

}  // namespace quorvane
