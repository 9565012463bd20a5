#include "core/ansi_text.h"

#include <climits>

#include "platform/platform.h"

namespace quorvane {

std::string AnsiText::Encode(const std::u16string& text) {
  if (text.empty() || text.size() > INT_MAX / 4) return std::string();
  const int units = static_cast<int>(text.size());
  const int size = platform::WideCharToMultiByte(platform::kCpAcp, 0, text.data(), units, nullptr,
                                                 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size > 0) {
    const int written = platform::WideCharToMultiByte(platform::kCpAcp, 0, text.data(), units,
                                                      bytes.data(), size, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  }
  return bytes;
}

std::u16string AnsiText::Decode(const char* bytes, std::size_t size) {
  if (size == 0 || size > INT_MAX / 2) return std::u16string();
  const int length = static_cast<int>(size);
  const int units = platform::MultiByteToWideChar(platform::kCpAcp, 0, bytes, length, nullptr, 0);
  std::u16string text(static_cast<std::size_t>(units), u'\0');
  if (units > 0) {
    const int written =
        platform::MultiByteToWideChar(platform::kCpAcp, 0, bytes, length, text.data(), units);
    text.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  }
  return text;
}

bool AnsiText::EncodeExactly(const std::u16string& text, std::string* bytes) {
  *bytes = Encode(text);
  return Decode(bytes->data(), bytes->size()) == text;
}

}  // namespace quorvane
