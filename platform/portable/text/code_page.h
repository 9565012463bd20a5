// Conversion between UTF-16 and the ANSI code pages the portable backend offers:
// Windows-1252 (the exact table) and UTF-8 (65001).
#pragma once

#include <string>
#include <string_view>

#include <quorvane/platform/win_types.h>

namespace quorvane::platform::portable {

class CodePage {
 public:
  [[nodiscard]] static bool IsSupported(UINT code_page);

  // Undecodable bytes become U+FFFD (UTF-8); Windows-1252 decodes every byte.
  [[nodiscard]] static std::u16string Decode(UINT code_page, const std::string& bytes);
  // Decodes into `text`, reusing its storage.
  static void DecodeInto(UINT code_page, std::string_view bytes, std::u16string* text);

  // Whether characters Windows-1252 holds only as a look-alike are written as
  // that look-alike (what WideCharToMultiByte does without
  // WC_NO_BEST_FIT_CHARS, and the ANSI registry calls do).
  enum class Fit { kExact, kBest };

  // Characters the code page cannot hold become `default_char` and set
  // `*used_default`: in Windows-1252 one for each UTF-16 unit, so a
  // surrogate pair gives two; in UTF-8 unpaired surrogates count as such.
  // Encodes into `bytes`, reusing its storage.
  static void EncodeInto(UINT code_page, const std::u16string& text, Fit fit, char default_char,
                         bool* used_default, std::string* bytes);
  [[nodiscard]] static std::string Encode(UINT code_page, const std::u16string& text, Fit fit,
                                          char default_char, bool* used_default);
};

}  // namespace quorvane::platform::portable
