// Conversions between the UTF-16 text everything here works in and its byte
// forms: UTF-8 for messages, files and terminals, and UTF-16LE, the form the
// registry keeps string data in. Platform-neutral, so every layer may use it.
#pragma once

#include <string>

namespace quorvane {

class UnicodeText {
 public:
  // Unpaired surrogates become U+FFFD.
  [[nodiscard]] static std::string Utf8FromUtf16(const std::u16string& text);
  // Invalid sequences become U+FFFD, one byte at a time.
  [[nodiscard]] static std::u16string Utf16FromUtf8(const std::string& text);
  [[nodiscard]] static std::string Utf16Le(const std::u16string& text);
  // An odd last byte holds no whole unit: it is left out.
  [[nodiscard]] static std::u16string FromUtf16Le(const std::string& bytes);
};

}  // namespace quorvane
