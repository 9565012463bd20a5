// Variant conversions: a value or one of the documented errors, the two
// integer widths agreeing (literals wrapped to each), and a number's text form reading back as it.
#include <cmath>
#include <cstring>

#include <quorvane/core/variant.h>
#include "fuzz/fuzz_input.h"

using quorvane::ErrorObject;
using quorvane::Variant;
using quorvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  static const char16_t* kNumberish[] = {u"1",  u"2.5", u" ", u"-", u"(", u")", u",", u"e",
                                         u"&H", u"&O",  u"$", u"F", u"9", u"0", u"."};
  std::u16string text;
  for (int i = input.Byte() % 12; i > 0; --i) {
    text += kNumberish[input.Byte() % (sizeof kNumberish / sizeof kNumberish[0])];
  }
  if (input.Byte() % 4 == 0) text = input.Text(64);
  std::int32_t wide = 0;
  bool wide_ok = true;
  try {
    wide = Variant(text).ToInt32();
  } catch (const ErrorObject& error) {
    quorvane::fuzz::RequireNumber(error, {13, 6});
    wide_ok = false;
  }
  try {
    const std::int16_t narrow = Variant(text).ToInt16();
    // An &H or &O literal wraps to each width ("&HFFFF" is -1 and 65535);
    // any other number reads the same in both.
    const bool literal = text.find(u'&') != std::u16string::npos;
    Require(wide_ok && static_cast<std::int16_t>(wide) == narrow && (literal || wide == narrow));
  } catch (const ErrorObject& error) {
    quorvane::fuzz::RequireNumber(error, {13, 6});
  }

  double value = 0;
  std::uint8_t bytes[8];
  for (std::uint8_t& byte : bytes) byte = input.Byte();
  std::memcpy(&value, bytes, sizeof value);
  if (std::isfinite(value)) {
    const std::u16string shown = Variant(value).ToText();
    try {
      const double back = Variant(shown).ToInt32();
      Require(std::fabs(back - std::nearbyint(value)) <= 1 + std::fabs(value) * 1e-14);
    } catch (const ErrorObject& error) {
      quorvane::fuzz::RequireNumber(error, {6});
      Require(std::fabs(value) > 2147483647.0);
    }
  }
  return 0;
}
