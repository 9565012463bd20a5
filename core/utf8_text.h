// UTF-8 forms of the library's UTF-16 text, for messages, files and terminals.
#pragma once

#include <string>

namespace quorvane {

class Utf8Text {
 public:
  // Unpaired surrogates become U+FFFD.
  [[nodiscard]] static std::string FromUtf16(const std::u16string& text);
  // Invalid sequences become U+FFFD, one byte at a time.
  [[nodiscard]] static std::u16string ToUtf16(const std::string& text);
};

}  // namespace quorvane
