#include <quorvane/platform/portable/text/code_page.h>

#include <array>

#include <quorvane/platform/portable/text/best_fit_table.h>
#include <quorvane/platform/unicode_text.h>

namespace quorvane::platform::portable {
namespace {

// Windows-1252 bytes 0x80 to 0x9F. The five bytes Windows leaves undefined map
// to the C1 control of the same value, as MultiByteToWideChar does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool EncodeCp1252(char16_t unit, char* byte) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    *byte = static_cast<char>(unit);
    return true;
  }
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == unit) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

bool HasUnpairedSurrogate(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool CodePage::IsSupported(UINT code_page) { return code_page == kCp1252 || code_page == kCpUtf8; }

std::u16string CodePage::Decode(UINT code_page, const std::string& bytes) {
  std::u16string text;
  DecodeInto(code_page, bytes, &text);
  return text;
}

void CodePage::DecodeInto(UINT code_page, std::string_view bytes, std::u16string* text) {
  text->resize(bytes.size());
  // Every ANSI code page, UTF-8 included, maps 0x00 to 0x7F to themselves.
  bool ascii = true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto value = static_cast<unsigned char>(bytes[i]);
    ascii &= value < 0x80;
    (*text)[i] =
        value >= 0x80 && value < 0xA0 ? kCp1252High[value - 0x80] : static_cast<char16_t>(value);
  }
  if (code_page == kCpUtf8 && !ascii) *text = UnicodeText::Utf16FromUtf8(std::string(bytes));
}

std::string CodePage::Encode(UINT code_page, const std::u16string& text, Fit fit, char default_char,
                             bool* used_default) {
  std::string bytes;
  EncodeInto(code_page, text, fit, default_char, used_default, &bytes);
  return bytes;
}

void CodePage::EncodeInto(UINT code_page, const std::u16string& text, Fit fit, char default_char,
                          bool* used_default, std::string* bytes) {
  char16_t all_bits = 0;
  for (char16_t unit : text) all_bits |= unit;
  if (all_bits < 0x80) {  // ASCII is the same in every code page
    bytes->resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) (*bytes)[i] = static_cast<char>(text[i]);
    return;
  }
  if (code_page == kCpUtf8) {
    // Unpaired surrogates become U+FFFD, the UTF-8 default character.
    if (HasUnpairedSurrogate(text)) *used_default = true;
    *bytes = UnicodeText::Utf8FromUtf16(text);
    return;
  }
  bytes->clear();
  bytes->reserve(text.size());
  for (const char16_t unit : text) {
    char byte = 0;
    if (EncodeCp1252(unit, &byte) || (fit == Fit::kBest && BestFitTable::Find(unit, &byte))) {
      bytes->push_back(byte);
      continue;
    }
    bytes->push_back(default_char);
    *used_default = true;
  }
}

}  // namespace quorvane::platform::portable
