#include "platform/portable/code_page.h"

#include <array>

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

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

void AppendUtf16(char32_t code_point, std::u16string* out) {
  if (code_point < 0x10000) {
    out->push_back(static_cast<char16_t>(code_point));
  } else {
    code_point -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
  }
}

// One UTF-8 sequence starting at bytes[*pos]; invalid input yields U+FFFD and
// consumes one byte, so decoding always makes progress.
char32_t DecodeUtf8At(const std::string& bytes, std::size_t* pos) {
  const auto lead = static_cast<unsigned char>(bytes[*pos]);
  int extra = 0;
  char32_t code_point = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++*pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, code_point = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code_point = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    ++*pos;
    return 0xFFFD;
  }
  if (*pos + extra >= bytes.size()) {
    ++*pos;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(bytes[*pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++*pos;
      return 0xFFFD;
    }
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    ++*pos;
    return 0xFFFD;
  }
  *pos += extra + 1;
  return code_point;
}

}  // namespace

bool CodePage::IsSupported(UINT code_page) { return code_page == kCp1252 || code_page == kCpUtf8; }

std::u16string CodePage::Decode(UINT code_page, const std::string& bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  if (code_page == kCpUtf8) {
    std::size_t pos = 0;
    while (pos < bytes.size()) AppendUtf16(DecodeUtf8At(bytes, &pos), &text);
    return text;
  }
  for (char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    text.push_back(value >= 0x80 && value < 0xA0 ? kCp1252High[value - 0x80]
                                                 : static_cast<char16_t>(value));
  }
  return text;
}

std::string CodePage::Encode(UINT code_page, const std::u16string& text, char default_char,
                             bool* used_default) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool paired =
        high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (code_page == kCpUtf8) {
      if (paired) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00), &bytes);
        ++i;
      } else if (unit >= 0xD800 && unit <= 0xDFFF) {
        AppendUtf8(0xFFFD, &bytes);
        *used_default = true;
      } else {
        AppendUtf8(unit, &bytes);
      }
      continue;
    }
    char byte = 0;
    if (EncodeCp1252(unit, &byte)) {
      bytes.push_back(byte);
    } else {
      bytes.push_back(default_char);
      *used_default = true;
      if (paired) ++i;  // one default character for the whole pair
    }
  }
  return bytes;
}

}  // namespace quorvane::platform::portable
