#include <quorvane/platform/portable/text/number_text.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
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

// Every blank the system's conversions skip, the Unicode ones included.
bool IsBlank(char16_t unit) {
  return (unit >= 0x0009 && unit <= 0x000D) || unit == u' ' || unit == 0x00A0 || unit == 0x1680 ||
         (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 || unit == 0x2029 || unit == 0x202F ||
         unit == 0x205F || unit == 0x3000;
}

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return 99;
}

// A number as written: its sign, and either an &H/&O literal or the exact
// decimal value digits x 10^exponent (digits without leading zeros).
struct Number {
  bool negative = false;
  bool literal = false;
  std::uint64_t literal_value = 0;
  std::string digits;
  std::int64_t exponent = 0;
};

class Scanner {
 public:
  explicit Scanner(const std::u16string& text) : text_(text) {}
  [[nodiscard]] bool AtEnd() const { return pos_ >= text_.size(); }
  [[nodiscard]] char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  bool Take(char16_t unit) {
    if (AtEnd() || text_[pos_] != unit) return false;
    ++pos_;
    return true;
  }
  void Skip() { ++pos_; }

 private:
  const std::u16string& text_;
  std::size_t pos_ = 0;
};

// &H1F or &O17 after the '&': at most 64 bits, else overflow.
HRESULT ReadLiteral(Scanner* scanner, Number* number) {
  int radix = 0;
  if (scanner->Take(u'H') || scanner->Take(u'h')) radix = 16;
  if (radix == 0 && (scanner->Take(u'O') || scanner->Take(u'o'))) radix = 8;
  if (radix == 0) return kDispETypeMismatch;
  int digits = 0;
  bool overflow = false;
  while (DigitValue(scanner->Peek()) < radix) {
    const auto digit = static_cast<std::uint64_t>(DigitValue(scanner->Peek()));
    if (number->literal_value > (~std::uint64_t{0} - digit) / static_cast<std::uint64_t>(radix)) {
      overflow = true;
    }
    number->literal_value = number->literal_value * static_cast<std::uint64_t>(radix) + digit;
    scanner->Skip();
    ++digits;
  }
  number->literal = true;
  if (digits == 0) return kDispETypeMismatch;
  return overflow ? kDispEOverflow : kSOk;
}

// Digits with thousands separators after the first digit, a fraction and an
// exponent, kept exactly.
HRESULT ReadDecimal(Scanner* scanner, char16_t decimal, char16_t thousands, Number* number) {
  int digits = 0;
  std::int64_t exponent = 0;
  const auto digit = [&](char16_t unit, bool fraction) {
    if (unit != u'0' || !number->digits.empty()) number->digits.push_back(static_cast<char>(unit));
    if (fraction) --exponent;
    ++digits;
  };
  while (true) {
    if (IsDigit(scanner->Peek())) {
      digit(scanner->Peek(), false);
      scanner->Skip();
    } else if (digits > 0 && scanner->Peek() == thousands) {
      scanner->Skip();
    } else {
      break;
    }
  }
  if (scanner->Take(decimal)) {
    while (IsDigit(scanner->Peek())) {
      digit(scanner->Peek(), true);
      scanner->Skip();
    }
  }
  if (digits == 0) return kDispETypeMismatch;
  if (scanner->Peek() == u'e' || scanner->Peek() == u'E') {
    scanner->Skip();
    bool negative_exponent = false;
    if (scanner->Peek() == u'+' || scanner->Peek() == u'-') {
      negative_exponent = scanner->Peek() == u'-';
      scanner->Skip();
    }
    if (!IsDigit(scanner->Peek())) return kDispETypeMismatch;
    std::int64_t written = 0;
    while (IsDigit(scanner->Peek())) {
      if (written < 100000000) written = written * 10 + (scanner->Peek() - u'0');
      scanner->Skip();
    }
    exponent += negative_exponent ? -written : written;
  }
  // Trailing zeros of the digits move into the exponent.
  while (!number->digits.empty() && number->digits.back() == '0') {
    number->digits.pop_back();
    ++exponent;
  }
  number->exponent = exponent;
  return kSOk;
}

// The whole text: blanks, signs, parentheses and a currency sign around the
// number, as the system's conversions take them ("- 5", "5 -", "( 5 )",
// "$ 5", "5$" and the like).
HRESULT Parse(const std::u16string& text, Number* number) {
  const char16_t decimal = DecimalSeparator();
  const char16_t thousands = decimal == u',' ? u'.' : u',';
  Scanner scanner(text);
  bool parenthesis = false;
  bool currency = false;
  bool minus = false;
  while (true) {
    if (IsBlank(scanner.Peek()) || scanner.Peek() == u'+') {
      scanner.Skip();
    } else if (!minus && scanner.Take(u'-')) {
      minus = true;
    } else if (!parenthesis && scanner.Take(u'(')) {
      parenthesis = true;
    } else if (!currency && scanner.Take(u'$')) {
      currency = true;
    } else {
      break;
    }
  }
  const HRESULT read = scanner.Take(u'&') ? ReadLiteral(&scanner, number)
                                          : ReadDecimal(&scanner, decimal, thousands, number);
  if (read == kDispETypeMismatch) return read;
  bool closed = false;
  while (!scanner.AtEnd()) {
    if (IsBlank(scanner.Peek()) || scanner.Peek() == u'+') {
      scanner.Skip();
    } else if (!minus && scanner.Take(u'-')) {
      minus = true;
    } else if (!currency && scanner.Take(u'$')) {
      currency = true;
    } else if (parenthesis && !closed && scanner.Take(u')')) {
      closed = true;
    } else {
      return kDispETypeMismatch;
    }
  }
  if (parenthesis != closed) return kDispETypeMismatch;
  number->negative = minus || parenthesis;
  return read;
}

// The number of integer digits of digits x 10^exponent.
std::int64_t IntegerDigits(const Number& number) {
  return static_cast<std::int64_t>(number.digits.size()) + number.exponent;
}

}  // namespace

HRESULT NumberText::ParseDouble(const std::u16string& text, double* value) {
  Number number;
  if (const HRESULT result = Parse(text, &number); result != kSOk) return result;
  double magnitude = 0;
  if (number.literal) {
    // A literal is a signed 32-bit number.
    if (number.literal_value > 0xFFFFFFFFu) return kDispEOverflow;
    magnitude = static_cast<double>(static_cast<std::int32_t>(number.literal_value));
  } else if (!number.digits.empty()) {
    if (IntegerDigits(number) > 310) return kDispEOverflow;
    if (IntegerDigits(number) < -330) {
      magnitude = 0;  // below the smallest double: zero, not an error
    } else {
      const std::string ascii = number.digits + "e" + std::to_string(number.exponent);
      const auto parsed = std::from_chars(ascii.data(), ascii.data() + ascii.size(), magnitude);
      if (parsed.ec == std::errc::result_out_of_range) {
        if (IntegerDigits(number) > 0) return kDispEOverflow;
        magnitude = 0;
      }
    }
  }
  if (!std::isfinite(magnitude)) return kDispEOverflow;
  *value = number.negative ? -magnitude : magnitude;
  return kSOk;
}

HRESULT NumberText::ParseInteger(const std::u16string& text, int bits, std::int32_t* value) {
  Number number;
  if (const HRESULT result = Parse(text, &number); result != kSOk) return result;
  const std::int64_t largest = (std::int64_t{1} << (bits - 1)) - 1;
  if (number.literal) {
    // &H and &O literals wrap to the target's signed width.
    const std::uint64_t width_mask = (std::uint64_t{1} << bits) - 1;
    if (number.literal_value > width_mask) return kDispEOverflow;
    std::int64_t wrapped = static_cast<std::int64_t>(number.literal_value);
    if (wrapped > largest) wrapped -= static_cast<std::int64_t>(width_mask) + 1;
    *value = static_cast<std::int32_t>(number.negative ? -wrapped : wrapped);
    if (number.negative && (-wrapped > largest || -wrapped < -largest - 1)) return kDispEOverflow;
    return kSOk;
  }
  // Rounded half to even from the exact decimal value, not through a double.
  const std::int64_t integer_digits = IntegerDigits(number);
  if (integer_digits > 18) return kDispEOverflow;
  std::int64_t integer = 0;
  for (std::int64_t i = 0; i < integer_digits; ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    integer = integer * 10 + (index < number.digits.size() ? number.digits[index] - '0' : 0);
  }
  const std::size_t first_fraction =
      integer_digits > 0 ? static_cast<std::size_t>(integer_digits) : 0;
  // The fraction against one half: its first digit, then whether any other is nonzero.
  int first = 0;
  bool rest = false;
  if (integer_digits >= 0 && first_fraction < number.digits.size()) {
    first = number.digits[first_fraction] - '0';
    rest = number.digits.find_first_not_of('0', first_fraction + 1) != std::string::npos;
  } else if (integer_digits < 0 && !number.digits.empty()) {
    rest = true;  // a fraction below 0.1
  }
  if (first > 5 || (first == 5 && (rest || integer % 2 == 1))) ++integer;
  const std::int64_t signed_value = number.negative ? -integer : integer;
  if (signed_value > largest || signed_value < -largest - 1) return kDispEOverflow;
  *value = static_cast<std::int32_t>(signed_value);
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
