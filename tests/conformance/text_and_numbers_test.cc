// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
//
// This file: code pages, and numbers read from text as Windows reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/text/best_fit_table.h>
#include <quorvane/platform/portable/text/upper_case_table.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

TEST(CodePageConformance, AsciiIsItselfInTheAnsiCodePage) {
  // The library converts ASCII text without asking the platform; that is
  // sound only while 0x00 to 0x7F map to themselves both ways.
  char bytes[128];
  char16_t wide[128];
  for (int i = 0; i < 128; ++i) bytes[i] = static_cast<char>(i);
  ASSERT_EQ(MultiByteToWideChar(kCpAcp, 0, bytes, 128, wide, 128), 128);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(wide[i], static_cast<char16_t>(i)) << i;
  char back[128];
  BOOL used_default = 0;
  ASSERT_EQ(WideCharToMultiByte(kCpAcp, 0, wide, 128, back, 128, nullptr, &used_default), 128);
  EXPECT_FALSE(used_default);
  EXPECT_EQ(std::memcmp(back, bytes, 128), 0);
}

// Every unit of the Basic Multilingual Plane: WideCharToMultiByte writes it
// exactly where Windows-1252 holds it, its look-alike where the best-fit
// table has one (unless asked for WC_NO_BEST_FIT_CHARS), else "?"; a
// surrogate unit alone is "?" too.
TEST(CodePageConformance, EveryUnitAsWindowsWritesIt) {
  if (GetACP() != kCp1252) GTEST_SKIP() << "the ANSI code page is not Windows-1252";
  char16_t exact[256];
  char bytes[256];
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  ASSERT_EQ(MultiByteToWideChar(kCpAcp, 0, bytes, 256, exact, 256), 256);
  int looked_alike = 0;
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    const auto wide = static_cast<char16_t>(unit);
    char expected = '?';
    bool holds = false;
    for (int i = 0; i < 256; ++i) {
      if (exact[i] == wide) {
        expected = static_cast<char>(i);
        holds = true;
      }
    }
    char fitted = 0;
    const bool has_look_alike = !holds && portable::BestFitTable::Find(wide, &fitted);
    char written = 0;
    BOOL used_default = 0;
    ASSERT_EQ(WideCharToMultiByte(kCpAcp, 0, &wide, 1, &written, 1, nullptr, &used_default), 1);
    EXPECT_EQ(written, has_look_alike ? fitted : expected) << std::hex << unit;
    EXPECT_EQ(used_default != 0, !holds && !has_look_alike) << std::hex << unit;
    ASSERT_EQ(WideCharToMultiByte(kCpAcp, kWcNoBestFitChars, &wide, 1, &written, 1, nullptr,
                                  &used_default),
              1);
    EXPECT_EQ(written, expected) << "without best fit: " << std::hex << unit;
    looked_alike += has_look_alike ? 1 : 0;
  }
  EXPECT_GT(looked_alike, 100);
}

// The upper-case table registry names are compared by, against the system's
// own for every unit.
TEST(CodePageConformance, EveryUnitsUpperCaseIsTheSystems) {
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    const auto wide = static_cast<char16_t>(unit);
    ASSERT_EQ(testing_support::SystemUpperCase(wide), portable::UpperCaseTable::Of(wide))
        << std::hex << unit;
  }
}

TEST(CodePageConformance, WindowsLatinOne) {
  EXPECT_EQ(GetACP(), kCp1252);
  const char16_t text[] = u"\u00E9\u20AC";
  char bytes[4] = {};
  BOOL used_default = 0;
  ASSERT_EQ(WideCharToMultiByte(kCpAcp, 0, text, 2, bytes, 4, nullptr, &used_default), 2);
  EXPECT_EQ(bytes[0], '\xE9');
  EXPECT_EQ(bytes[1], '\x80');
  EXPECT_EQ(used_default, 0);
  char16_t wide[2] = {};
  ASSERT_EQ(MultiByteToWideChar(kCpAcp, 0, "\x81\x9F", 2, wide, 2), 2);
  EXPECT_EQ(wide[0], u'\u0081') << "an undefined byte keeps its value";
  EXPECT_EQ(wide[1], u'\u0178');
}

TEST(NumberTextConformance, TheFormsWindowsReads) {
  // Left out, because Wine itself is doubtful there: VarR8FromStr of a 32-bit
  // &H or &O literal (Wine: overflow; Windows reads it as a signed 32-bit
  // number, as the portable backend does), R8 results that Wine rounds off by
  // one unit in the last place (0.5000000000000000000000001,
  // 12345678901234567890), and signs before a literal ("-&H10").
  struct Row {
    const char16_t* text;
    HRESULT i2_result;
    std::int16_t i2;
    HRESULT i4_result;
    std::int32_t i4;
  };
  constexpr HRESULT kOk = kSOk;
  constexpr HRESULT kOver = kDispEOverflow;
  constexpr HRESULT kBad = kDispETypeMismatch;
  const Row rows[] = {
      {u"- 5", kOk, -5, kOk, -5},
      {u"5 -", kOk, -5, kOk, -5},
      {u"(-5)", kOk, -5, kOk, -5},
      {u"( 5 )", kOk, -5, kOk, -5},
      {u"-(5)", kOk, -5, kOk, -5},
      {u"- (5)", kOk, -5, kOk, -5},
      {u"+-5", kOk, -5, kOk, -5},
      {u"+ 5", kOk, 5, kOk, 5},
      {u"5+", kOk, 5, kOk, 5},
      {u"$ 5", kOk, 5, kOk, 5},
      {u"5$", kOk, 5, kOk, 5},
      {u"5 $", kOk, 5, kOk, 5},
      {u"-$5", kOk, -5, kOk, -5},
      {u"$-5", kOk, -5, kOk, -5},
      {u"\u3000"
       u"5",
       kOk, 5, kOk, 5},
      {u"5\u2000", kOk, 5, kOk, 5},
      {u"\u200A"
       u"5\u2009",
       kOk, 5, kOk, 5},
      {u"\u00A0"
       u"5",
       kOk, 5, kOk, 5},
      {u"--5", kBad, 0, kBad, 0},
      {u"(5", kBad, 0, kBad, 0},
      {u"5)", kBad, 0, kBad, 0},
      {u"5 )", kBad, 0, kBad, 0},
      {u"()", kBad, 0, kBad, 0},
      {u"$", kBad, 0, kBad, 0},
      {u"-", kBad, 0, kBad, 0},
      {u",5", kBad, 0, kBad, 0},
      {u"1,,000", kOk, 1000, kOk, 1000},
      {u"5,", kOk, 5, kOk, 5},
      {u"&HFFFF", kOk, -1, kOk, 65535},
      {u"&H8000", kOk, -32768, kOk, 32768},
      {u"&H7FFF", kOk, 32767, kOk, 32767},
      {u"&h1f", kOk, 31, kOk, 31},
      {u"&O177777", kOk, -1, kOk, 65535},
      {u"&HFFFFFFFF", kOver, 0, kOk, -1},
      {u"&O37777777777", kOver, 0, kOk, -1},
      {u"&H100000000", kOver, 0, kOver, 0},
      {u"&HFFFFFFFFFFFF", kOver, 0, kOver, 0},
      {u"&H", kBad, 0, kBad, 0},
      {u"&H-1", kBad, 0, kBad, 0},
      {u"2.5", kOk, 2, kOk, 2},
      {u"3.5", kOk, 4, kOk, 4},
      {u"2.50000000000000000001", kOk, 3, kOk, 3},
      {u"-2.5000000000000000001", kOk, -3, kOk, -3},
      {u"0.5000000000000000000000001", kOk, 1, kOk, 1},
      {u"32766.5", kOk, 32766, kOk, 32766},
      {u"32767.5", kOver, 0, kOk, 32768},
      {u"-32768.5", kOk, -32768, kOk, -32768},
      {u"2147483646.5", kOver, 0, kOk, 2147483646},
      {u"2147483647.5", kOver, 0, kOver, 0},
      {u"1e400", kOver, 0, kOver, 0},
      {u"1e-400", kOk, 0, kOk, 0},
      {u"1.5e3", kOk, 1500, kOk, 1500},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing_support::Narrow(row.text));
    std::int16_t small = 0;
    EXPECT_EQ(VarI2FromStr(row.text, kLocaleUserDefault, 0, &small), row.i2_result);
    if (row.i2_result == kSOk) {
      EXPECT_EQ(small, row.i2);
    }
    std::int32_t large = 0;
    EXPECT_EQ(VarI4FromStr(row.text, kLocaleUserDefault, 0, &large), row.i4_result);
    if (row.i4_result == kSOk) {
      EXPECT_EQ(large, row.i4);
    }
  }
  // A value below the smallest double is zero, not an overflow.
  const std::u16string tiny = u"0." + std::u16string(400, u'0') + u"1";
  double real = 1;
  EXPECT_EQ(VarR8FromStr(tiny.c_str(), kLocaleUserDefault, 0, &real), kSOk);
  EXPECT_EQ(real, 0.0);
  std::int16_t small = 1;
  EXPECT_EQ(VarI2FromStr(tiny.c_str(), kLocaleUserDefault, 0, &small), kSOk);
  EXPECT_EQ(small, 0);
  EXPECT_EQ(VarR8FromStr(u"( 2.5 )", kLocaleUserDefault, 0, &real), kSOk);
  EXPECT_EQ(real, -2.5);
}

TEST(NumberTextConformance, VariantConversions) {
  std::int16_t small = 0;
  EXPECT_EQ(VarI2FromStr(u" 2.5 ", kLocaleUserDefault, 0, &small), kSOk);
  EXPECT_EQ(small, 2);
  EXPECT_EQ(VarI2FromStr(u"40000", kLocaleUserDefault, 0, &small), kDispEOverflow);
  EXPECT_EQ(VarI2FromStr(u"1.a", kLocaleUserDefault, 0, &small), kDispETypeMismatch);
  std::int32_t large = 0;
  EXPECT_EQ(VarI4FromStr(u"40000", kLocaleUserDefault, 0, &large), kSOk);
  EXPECT_EQ(large, 40000);
  double real = 0;
  EXPECT_EQ(VarR8FromStr(u"1,234.5", kLocaleUserDefault, 0, &real), kSOk);
  EXPECT_EQ(real, 1234.5);
  std::u16string text;
  EXPECT_EQ(VarBstrFromR8(0.000123456789012345678, kLocaleUserDefault, 0, &text), kSOk);
  EXPECT_EQ(text, u"0.000123456789012346");
}

}  // namespace
}  // namespace quorvane::platform
