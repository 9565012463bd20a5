#include "platform/portable/number_text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

namespace quorvane::platform::portable {
namespace {

char16_t DecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  if (conventions != nullptr && conventions->decimal_point != nullptr &&
      conventions->decimal_point[0] != '\0') {
    return static_cast<char16_t>(static_cast<unsigned char>(conventions->decimal_point[0]));
  }
  return u'.';
}

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n' || unit == u'\v' ||
         unit == u'\f' || unit == 0x00A0;
}

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

class Scanner {
 public:
  explicit Scanner(const std::u16string& text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : u'\0';
  }
  bool Take(char16_t unit) {
    if (AtEnd() || text_[pos_] != unit) return false;
    ++pos_;
    return true;
  }
  void Skip() { ++pos_; }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
  }

 private:
  const std::u16string& text_;
  std::size_t pos_ = 0;
};

int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return 99;
}

// &H1F or &O17, after the '&' has been read.
bool ReadRadixNumber(Scanner* scanner, double* value) {
  int radix = 0;
  if (scanner->Take(u'H') || scanner->Take(u'h')) radix = 16;
  if (radix == 0 && (scanner->Take(u'O') || scanner->Take(u'o'))) radix = 8;
  if (radix == 0) return false;
  double result = 0;
  int digits = 0;
  while (DigitValue(scanner->Peek()) < radix) {
    result = result * radix + DigitValue(scanner->Peek());
    scanner->Skip();
    ++digits;
  }
  *value = result;
  return digits > 0;
}

// Digits, separators, fraction and exponent, copied as plain ASCII for from_chars.
bool ReadDecimalNumber(Scanner* scanner, char16_t decimal, char16_t thousands, std::string* ascii) {
  int digits = 0;
  while (true) {
    if (IsDigit(scanner->Peek())) {
      ascii->push_back(static_cast<char>(scanner->Peek()));
      scanner->Skip();
      ++digits;
    } else if (digits > 0 && scanner->Peek() == thousands) {
      scanner->Skip();
    } else {
      break;
    }
  }
  if (scanner->Take(decimal)) {
    ascii->push_back('.');
    while (IsDigit(scanner->Peek())) {
      ascii->push_back(static_cast<char>(scanner->Peek()));
      scanner->Skip();
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (scanner->Peek() == u'e' || scanner->Peek() == u'E') {
    scanner->Skip();
    ascii->push_back('e');
    if (scanner->Peek() == u'+' || scanner->Peek() == u'-') {
      ascii->push_back(static_cast<char>(scanner->Peek()));
      scanner->Skip();
    }
    if (!IsDigit(scanner->Peek())) return false;
    while (IsDigit(scanner->Peek())) {
      ascii->push_back(static_cast<char>(scanner->Peek()));
      scanner->Skip();
    }
  }
  return true;
}

}  // namespace

HRESULT NumberText::ParseDouble(const std::u16string& text, double* value) {
  const char16_t decimal = DecimalSeparator();
  const char16_t thousands = decimal == u',' ? u'.' : u',';
  Scanner scanner(text);
  scanner.SkipBlanks();
  const bool parenthesised = scanner.Take(u'(');
  bool negative = false;
  bool signed_in_front = false;
  scanner.Take(u'$');
  if (scanner.Peek() == u'+' || scanner.Peek() == u'-') {
    negative = scanner.Peek() == u'-';
    signed_in_front = true;
    scanner.Skip();
  }
  scanner.Take(u'$');

  double magnitude = 0;
  if (scanner.Take(u'&')) {
    if (!ReadRadixNumber(&scanner, &magnitude)) return kDispETypeMismatch;
  } else {
    std::string ascii;
    if (!ReadDecimalNumber(&scanner, decimal, thousands, &ascii)) return kDispETypeMismatch;
    const auto parsed = std::from_chars(ascii.data(), ascii.data() + ascii.size(), magnitude);
    if (parsed.ec == std::errc::result_out_of_range) {
      // Tiny exponents underflow to zero; huge ones overflow.
      if (ascii.find("e-") != std::string::npos) {
        magnitude = 0;
      } else {
        return kDispEOverflow;
      }
    } else if (parsed.ec != std::errc()) {
      return kDispETypeMismatch;
    }
  }

  if (!signed_in_front && (scanner.Peek() == u'+' || scanner.Peek() == u'-')) {
    negative = scanner.Peek() == u'-';
    scanner.Skip();
  }
  if (parenthesised) {
    if (negative || !scanner.Take(u')')) return kDispETypeMismatch;
    negative = true;
  }
  scanner.SkipBlanks();
  if (!scanner.AtEnd()) return kDispETypeMismatch;
  if (!std::isfinite(magnitude)) return kDispEOverflow;
  *value = negative ? -magnitude : magnitude;
  return kSOk;
}

std::u16string NumberText::FormatDouble(double value) {
  if (value == 0) return u"0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  const char16_t decimal = DecimalSeparator();
  std::u16string text;
  for (const char* c = buffer; *c != '\0'; ++c) {
    // snprintf follows the C locale's separator; ours is the process's.
    text.push_back(*c == '.' || *c == ',' ? decimal : static_cast<char16_t>(*c));
  }
  return text;
}

}  // namespace quorvane::platform::portable
