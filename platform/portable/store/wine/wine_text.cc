#include <quorvane/platform/portable/store/wine/wine_text.h>

#include <cstdio>
#include <cstring>

namespace quorvane::platform::portable {

namespace {

constexpr DWORD kRegSzType = 1;
constexpr DWORD kRegExpandSzType = 2;
constexpr DWORD kRegBinaryType = 3;
constexpr DWORD kRegDwordType = 4;
constexpr DWORD kRegMultiSzType = 7;
// The column past which Wine breaks a line of hex bytes.
constexpr std::size_t kHexLineWidth = 76;

bool IsHexDigit(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
         (unit >= u'A' && unit <= u'F');
}

bool IsOctalDigit(char16_t unit) { return unit >= u'0' && unit <= u'7'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The letter of a control Wine names, or 0.
char ControlLetter(char16_t unit) {
  switch (unit) {
    case 7:
      return 'a';
    case 8:
      return 'b';
    case 9:
      return 't';
    case 10:
      return 'n';
    case 11:
      return 'v';
    case 12:
      return 'f';
    case 13:
      return 'r';
    case 27:
      return 'e';
    default:
      return 0;
  }
}

char16_t ControlOfLetter(char letter) {
  switch (letter) {
    case 'a':
      return 7;
    case 'b':
      return 8;
    case 't':
      return 9;
    case 'n':
      return 10;
    case 'v':
      return 11;
    case 'f':
      return 12;
    case 'r':
      return 13;
    case 'e':
      return 27;
    default:
      return 0;
  }
}

std::u16string LittleEndianUnits(const std::string& data) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                          (static_cast<unsigned char>(data[i + 1]) << 8)));
  }
  return units;
}

std::string LittleEndianBytes(const std::u16string& units) {
  std::string data;
  for (const char16_t unit : units) {
    data.push_back(static_cast<char>(unit & 0xFF));
    data.push_back(static_cast<char>(unit >> 8));
  }
  return data;
}

// Data Wine writes as text: a string type, whole units, ending in a zero.
bool WrittenAsText(const StoredValue& value) {
  if (value.type != kRegSzType && value.type != kRegExpandSzType && value.type != kRegMultiSzType) {
    return false;
  }
  const std::string& data = value.data;
  return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
         data[data.size() - 2] == 0;
}

}  // namespace

std::string WineText::Escape(const std::u16string& text, const char* also) {
  std::string escaped;
  char buffer[16];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    if (unit > 127) {
      std::snprintf(buffer, sizeof buffer, IsHexDigit(next) ? "\\x%04x" : "\\x%x", unit);
      escaped += buffer;
    } else if (unit < 32) {
      if (const char letter = ControlLetter(unit)) {
        escaped += {'\\', letter};
      } else {
        std::snprintf(buffer, sizeof buffer, IsOctalDigit(next) ? "\\%03o" : "\\%o", unit);
        escaped += buffer;
      }
    } else if (unit == u'\\' || std::strchr(also, static_cast<char>(unit)) != nullptr) {
      escaped += {'\\', static_cast<char>(unit)};
    } else {
      escaped.push_back(static_cast<char>(unit));
    }
  }
  return escaped;
}

bool WineText::Unescape(const std::string& line, std::size_t* at, char end, std::u16string* text) {
  std::size_t i = *at;
  while (i < line.size() && line[i] != end) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c != '\\') {
      if (c < 0x80) {
        text->push_back(c);
        ++i;
        continue;
      }
      // Bytes past ASCII, as an editor other than Wine may leave them: UTF-8.
      const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
      if (length == 0 || i + length > line.size()) return false;
      char32_t code = c & (0x7F >> length);
      for (int k = 1; k < length; ++k) {
        const auto more = static_cast<unsigned char>(line[i + k]);
        if ((more & 0xC0) != 0x80) return false;
        code = (code << 6) | (more & 0x3F);
      }
      if (code >= 0x10000) {
        code -= 0x10000;
        text->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        text->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
      } else {
        text->push_back(static_cast<char16_t>(code));
      }
      i += length;
      continue;
    }
    if (++i >= line.size()) return false;
    const char escape = line[i];
    if (escape == 'x') {
      unsigned value = 0;
      int digits = 0;
      while (digits < 4 && i + 1 < line.size() && HexValue(line[i + 1]) >= 0) {
        value = value * 16 + static_cast<unsigned>(HexValue(line[++i]));
        ++digits;
      }
      if (digits == 0) return false;
      text->push_back(static_cast<char16_t>(value));
    } else if (escape >= '0' && escape <= '7') {
      unsigned value = static_cast<unsigned>(escape - '0');
      for (int digits = 1; digits < 3 && i + 1 < line.size() && IsOctalDigit(line[i + 1]);
           ++digits) {
        value = value * 8 + static_cast<unsigned>(line[++i] - '0');
      }
      text->push_back(static_cast<char16_t>(value));
    } else if (const char16_t control = ControlOfLetter(escape)) {
      text->push_back(control);
    } else {
      text->push_back(static_cast<unsigned char>(escape));
    }
    ++i;
  }
  if (i >= line.size()) return false;
  *at = i + 1;  // past `end`
  return true;
}

std::string WineText::ValueLines(const StoredValue& value) {
  std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name, "\"") + "\"=";
  if (WrittenAsText(value)) {
    std::u16string units = LittleEndianUnits(value.data);
    units.pop_back();  // the terminator
    if (value.type != kRegSzType) {
      char type[16];
      std::snprintf(type, sizeof type, "str(%x):", value.type);
      line += type;
    }
    return line + "\"" + Escape(units, "\"") + "\"\n";
  }
  char buffer[16];
  if (value.type == kRegDwordType && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    return line + buffer + "\n";
  }
  if (value.type == kRegBinaryType) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    line += buffer;
  }
  std::size_t column = line.size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(value.data[i]));
    line += buffer;
    column += 2;
    if (i + 1 < value.data.size()) {
      line.push_back(',');
      if (++column > kHexLineWidth) {
        line += "\\\n  ";
        column = 2;
      }
    }
  }
  return line + "\n";
}

bool WineText::ParseValue(const std::string& line, StoredValue* value, std::string* error) {
  std::size_t at = 0;
  value->name.clear();
  if (line.compare(0, 2, "@=") == 0) {
    at = 2;
  } else if (!line.empty() && line[0] == '"') {
    at = 1;
    if (!Unescape(line, &at, '"', &value->name) || at >= line.size() || line[at] != '=') {
      *error = "a value name that does not end in \"=";
      return false;
    }
    ++at;
  } else {
    *error = "neither a [key] line nor a value line";
    return false;
  }
  const auto text_of = [&](DWORD type) {
    std::u16string units;
    if (!Unescape(line, &at, '"', &units) || at != line.size()) {
      *error = "a string that does not end in a quote";
      return false;
    }
    units.push_back(0);
    value->type = type;
    value->data = LittleEndianBytes(units);
    return true;
  };
  if (line.compare(at, 1, "\"") == 0) {
    ++at;
    return text_of(kRegSzType);
  }
  if (line.compare(at, 5, "str:\"") == 0) {
    at += 5;
    return text_of(kRegSzType);
  }
  if (line.compare(at, 4, "str(") == 0) {
    char* end = nullptr;
    const unsigned long type = std::strtoul(line.c_str() + at + 4, &end, 16);
    if (end == nullptr || std::strncmp(end, "):\"", 3) != 0) {
      *error = "a str(N): type that is not hex";
      return false;
    }
    at = static_cast<std::size_t>(end - line.c_str()) + 3;
    return text_of(static_cast<DWORD>(type));
  }
  if (line.compare(at, 6, "dword:") == 0) {
    const std::string digits = line.substr(at + 6);
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      *error = "a dword: that is not up to eight hex digits";
      return false;
    }
    const auto number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    value->type = kRegDwordType;
    value->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value->data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (line.compare(at, 4, "hex:") == 0) {
    value->type = kRegBinaryType;
    at += 4;
  } else if (line.compare(at, 4, "hex(") == 0) {
    char* end = nullptr;
    const unsigned long type = std::strtoul(line.c_str() + at + 4, &end, 16);
    if (end == nullptr || std::strncmp(end, "):", 2) != 0) {
      *error = "a hex(N): type that is not hex";
      return false;
    }
    value->type = static_cast<DWORD>(type);
    at = static_cast<std::size_t>(end - line.c_str()) + 2;
  } else {
    *error = "data of no type Wine writes";
    return false;
  }
  value->data.clear();
  while (at < line.size()) {
    if (at + 1 >= line.size() || HexValue(line[at]) < 0 || HexValue(line[at + 1]) < 0) {
      *error = "hex bytes that are not two hex digits each";
      return false;
    }
    value->data.push_back(static_cast<char>(HexValue(line[at]) * 16 + HexValue(line[at + 1])));
    at += 2;
    if (at < line.size()) {
      if (line[at] != ',' || at + 1 == line.size()) {
        *error = "hex bytes not separated by commas";
        return false;
      }
      ++at;
    }
  }
  return true;
}

}  // namespace quorvane::platform::portable
