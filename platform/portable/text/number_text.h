// Locale-aware conversion between text and numbers as the system's variant
// conversions do it, for the process's decimal separator.
#pragma once

#include <cstdint>
#include <string>

#include <quorvane/platform/win_types.h>

namespace quorvane::platform::portable {

class NumberText {
 public:
  // Reads a number as VarR8FromStr does: blanks around it, a sign in front or
  // behind, parentheses for a negative number, a currency sign, thousands
  // separators, a decimal fraction, an exponent, and &H / &O prefixes.
  [[nodiscard]] static HRESULT ParseDouble(const std::u16string& text, double* value);
  // Reads a number as VarI2FromStr (16 bits) and VarI4FromStr (32) do: the
  // same forms, rounded half to even from the exact decimal value; &H and &O
  // literals wrap to the signed width.
  [[nodiscard]] static HRESULT ParseInteger(const std::u16string& text, int bits,
                                            std::int32_t* value);

  // The 15-significant-digit form: 0.1, 1E+15, 1.234E-05.
  [[nodiscard]] static std::u16string FormatDouble(double value);
};

}  // namespace quorvane::platform::portable
