// Text crossing to the platform's ANSI functions, in the system's code page.
#pragma once

#include <string>

namespace quorvane {

class AnsiText {
 public:
  // Encodes `text`; false when some character would not come back unchanged
  // (it would become "?" or a look-alike). `bytes` is filled either way.
  [[nodiscard]] static bool EncodeExactly(const std::u16string& text, std::string* bytes);
  [[nodiscard]] static std::string Encode(const std::u16string& text);
  [[nodiscard]] static std::u16string Decode(const char* bytes, std::size_t size);
  // Whether every byte is ASCII: such text is the same in every ANSI code
  // page (UTF-8 too), byte for character.
  [[nodiscard]] static bool IsAscii(const char* bytes, std::size_t size);
};

}  // namespace quorvane
