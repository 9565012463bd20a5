// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
//
// This file: values of every type and size, and their enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

TEST_F(RegistryValuesConformance, EveryTypeCodeIsStoredAsGiven) {
  const std::string bytes("\x01\x02\x03\x00", 4);
  for (DWORD type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 11u, 0x12345u}) {
    SCOPED_TRACE("type " + std::to_string(type));
    ASSERT_EQ(Set(key_, "v", type, bytes), kErrorSuccess);
    DWORD stored_type = kSentinelType;
    DWORD size = 16;
    BYTE buffer[16];
    std::memset(buffer, kFill, sizeof buffer);
    ASSERT_EQ(RegQueryValueExA(key_, "v", nullptr, &stored_type, buffer, &size), kErrorSuccess);
    EXPECT_EQ(stored_type, type);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), bytes);
  }
}

TEST_F(RegistryValuesConformance, BufferSizesAroundTheBoundary) {
  ASSERT_EQ(Set(key_, "v", kRegBinary, "abcdef"), kErrorSuccess);
  BYTE buffer[16];
  std::memset(buffer, kFill, sizeof buffer);
  DWORD size = 5;
  DWORD type = kSentinelType;
  EXPECT_EQ(RegQueryValueExA(key_, "v", nullptr, &type, buffer, &size), kErrorMoreData)
      << "one byte short";
  EXPECT_EQ(size, 6u) << "the size needed is reported";
  EXPECT_EQ(buffer[0], static_cast<BYTE>(kFill)) << "nothing written";
  size = 6;
  EXPECT_EQ(RegQueryValueExA(key_, "v", nullptr, &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(buffer[6], static_cast<BYTE>(kFill)) << "overflowed at offset 6";
  EXPECT_EQ(RegQueryValueExA(key_, "v", nullptr, &type, buffer, nullptr), kErrorInvalidParameter)
      << "a buffer without its size";
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "v", &reserved, &type, nullptr, &size), kErrorInvalidParameter);
}

TEST_F(RegistryValuesConformance, ZeroLengthData) {
  for (DWORD type : {kRegSz, kRegBinary, kRegDword}) {
    ASSERT_EQ(RegSetValueExA(key_, "empty", 0, type, nullptr, 0), kErrorSuccess);
    BYTE buffer[4];
    std::memset(buffer, kFill, sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key_, "empty", nullptr, nullptr, buffer, &size), kErrorSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer[0], static_cast<BYTE>(kFill)) << "type " << type;
  }
}

TEST_F(RegistryValuesConformance, StringWithoutTerminator) {
  // Written without its zero and read with an exact buffer, the bytes come
  // back as written. (Wine counts a zero that happens to follow the data in
  // the caller's memory; the data are always first.)
  const char data[] = {'a', 'b', 'c', 'x'};
  ASSERT_EQ(RegSetValueExA(key_, "v", 0, kRegSz, reinterpret_cast<const BYTE*>(data), 3),
            kErrorSuccess);
  BYTE buffer[8];
  std::memset(buffer, kFill, sizeof buffer);
  DWORD size = 3;
  ASSERT_EQ(RegQueryValueExA(key_, "v", nullptr, nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
}

TEST_F(RegistryValuesConformance, OneZeroIsAddedOnlyAfterUnterminatedStrings) {
  const char unterminated[] = {'a', 'b', 'c', 'x'};  // the byte after the data is no zero
  ASSERT_EQ(RegSetValueExA(key_, "u", 0, kRegSz, reinterpret_cast<const BYTE*>(unterminated), 3),
            kErrorSuccess);
  ASSERT_EQ(Set(key_, "t", kRegSz, std::string("abc\0", 4)), kErrorSuccess);
  struct Row {
    const char* name;
    DWORD size;
    BYTE after;  // the byte after the data
  };
  const Row rows[] = {{"u", 3, 0}, {"t", 4, static_cast<BYTE>(kFill)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BYTE buffer[16];
    std::memset(buffer, kFill, sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key_, row.name, nullptr, nullptr, buffer, &size), kErrorSuccess);
    EXPECT_EQ(size, row.size) << "the zero is never counted";
    EXPECT_EQ(buffer[row.size], row.after);
    // The same through enumeration.
    for (DWORD index = 0;; ++index) {
      char name[8];
      DWORD name_size = sizeof name;
      std::memset(buffer, kFill, sizeof buffer);
      size = sizeof buffer;
      const LONG result =
          RegEnumValueA(key_, index, name, &name_size, nullptr, nullptr, buffer, &size);
      ASSERT_EQ(result, kErrorSuccess);
      if (std::string(name) != row.name) continue;
      EXPECT_EQ(size, row.size);
      EXPECT_EQ(buffer[row.size], row.after);
      break;
    }
  }
}

TEST_F(RegistryValuesConformance, EnumerationWithAShortNameBufferStillGivesTheDataSize) {
  ASSERT_EQ(Set(key_, "longername", kRegBinary, "0123456789"), kErrorSuccess);
  char name[4];
  DWORD name_size = sizeof name;
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_size, nullptr, &type, nullptr, &size),
            kErrorMoreData);
  EXPECT_EQ(size, 10u);
}

std::string Utf16Bytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(RegistryValuesConformance, AnsiAndWideViewsOfOneKeyAgree) {
  // Written wide, read both ways: names and text in any character, strings
  // converted by the ANSI calls (Windows-1252 here).
  HKEY wide = 0;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(key_, u"Wide\u00E9", 0, nullptr, 0, kKeyAllAccess, nullptr, &wide,
                            &disposition),
            kErrorSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  const std::string unicode =
      Utf16Bytes(std::u16string(u"\u00FCn\u00EFc\u00F8d\u00E9 \u03A9") + u'\0');
  ASSERT_EQ(RegSetValueExW(wide, u"\u00E9\u20ACname", 0, kRegSz,
                           reinterpret_cast<const BYTE*>(unicode.data()),
                           static_cast<DWORD>(unicode.size())),
            kErrorSuccess);
  const std::string latin = Utf16Bytes(std::u16string(u"\u00FCn\u00EFc") + u'\0');
  ASSERT_EQ(RegSetValueExW(wide, u"Latin", 0, kRegSz, reinterpret_cast<const BYTE*>(latin.data()),
                           static_cast<DWORD>(latin.size())),
            kErrorSuccess);
  BYTE buffer[64] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(wide, u"\u00C9\u20ACNAME", nullptr, &type, buffer, &size),
            kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), unicode);
  size = 4;
  EXPECT_EQ(RegQueryValueExW(wide, u"Latin", nullptr, nullptr, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, latin.size());

  HKEY ansi = 0;
  ASSERT_EQ(RegOpenKeyExA(key_, "Wide\xE9", 0, kKeyAllAccess, &ansi), kErrorSuccess);
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(ansi, "Latin", nullptr, nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), std::string("\xFCn\xEF"
                                                                            "c\0",
                                                                            5));
  char name[32];
  DWORD name_size = sizeof name;
  size = sizeof buffer;
  // In upper-case order: LATIN, then the name that starts with E-acute.
  ASSERT_EQ(RegEnumValueA(ansi, 1, name, &name_size, nullptr, nullptr, buffer, &size),
            kErrorSuccess);
  EXPECT_EQ(std::string(name, name_size), "\xE9\x80name");
  // Written through the ANSI calls, read wide.
  ASSERT_EQ(Set(ansi, "Caf\xE9", kRegSz, std::string("\xE9t\xE9\0", 4)), kErrorSuccess);
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExW(wide, u"Caf\u00E9", nullptr, nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size),
            Utf16Bytes(std::u16string(u"\u00E9t\u00E9") + u'\0'));
  char16_t wide_name[32];
  DWORD wide_size = 32;
  ASSERT_EQ(RegEnumKeyExW(key_, 0, wide_name, &wide_size, nullptr, nullptr, nullptr, nullptr),
            kErrorSuccess);
  EXPECT_EQ(std::u16string(wide_name, wide_size), u"Wide\u00E9");
  DWORD value_size = 32;
  size = sizeof buffer;
  ASSERT_EQ(RegEnumValueW(wide, 2, wide_name, &value_size, nullptr, nullptr, buffer, &size),
            kErrorSuccess);  // after CAFE-acute and LATIN
  EXPECT_EQ(std::u16string(wide_name, value_size), u"\u00E9\u20ACname");

  EXPECT_EQ(RegDeleteValueW(wide, u"CAF\u00C9"), kErrorSuccess);
  RegCloseKey(ansi);
  RegCloseKey(wide);
  EXPECT_EQ(RegDeleteKeyW(key_, u"WIDE\u00C9"), kErrorSuccess);
  HKEY gone = 0;
  EXPECT_EQ(RegOpenKeyExW(key_, u"Wide\u00E9", 0, kKeyRead, &gone), kErrorFileNotFound);
}

// The ANSI calls read wide names and data with Windows-1252's best fit (a
// look-alike where there is one) and one "?" for each UTF-16 unit that has
// none, a surrogate pair giving two.
TEST_F(RegistryValuesConformance, AnsiReadsGiveLookAlikesAndOneMarkAUnit) {
  struct Row {
    std::u16string stored;
    std::string read;  // with the zero the call adds
  };
  const Row rows[] = {
      {u"\u0100\u0107\u2018x\u2019", std::string("\x41\x63\x91\x78\x92", 5)},
      {u"\u0110\uFF21",
       "\xD0"
       "A"},
      {u"a\U0001F600b", "a??b"},
      {u"\u4E00", "?"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.read);
    const std::string data = Utf16Bytes(row.stored + u'\0');
    ASSERT_EQ(RegSetValueExW(key_, u"fit", 0, kRegSz, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              kErrorSuccess);
    char buffer[32];
    DWORD size = sizeof buffer;
    ASSERT_EQ(
        RegQueryValueExA(key_, "fit", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
        kErrorSuccess);
    EXPECT_EQ(std::string(buffer, size), row.read + '\0');
  }
  HKEY created = 0;
  ASSERT_EQ(
      RegCreateKeyExW(key_, u"\u0100x", 0, nullptr, 0, kKeyAllAccess, nullptr, &created, nullptr),
      kErrorSuccess);
  RegCloseKey(created);
  char name[16] = {};
  ASSERT_EQ(RegEnumKeyA(key_, 0, name, sizeof name), kErrorSuccess);
  EXPECT_STREQ(name, "Ax") << "a key's name read through RegEnumKeyA";
}

TEST_F(RegistryValuesConformance, DwordSizesAreNotChecked) {
  ASSERT_EQ(Set(key_, "short", kRegDword, std::string("\x34\x12", 2)), kErrorSuccess);
  BYTE value[4] = {0, 0, 0, 0};
  DWORD size = 4;
  ASSERT_EQ(RegQueryValueExA(key_, "short", nullptr, nullptr, value, &size), kErrorSuccess);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(value[0] | (value[1] << 8) | (value[2] << 16), 0x1234);
  ASSERT_EQ(Set(key_, "long", kRegDword, std::string(8, '\x01')), kErrorSuccess);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key_, "long", nullptr, nullptr, value, &size), kErrorMoreData);
  EXPECT_EQ(size, 8u);
}

TEST_F(RegistryValuesConformance, MissingValuesAndTheDefaultValue) {
  DWORD type = kSentinelType;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "missing", nullptr, &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteValueA(key_, "missing"), kErrorFileNotFound);
  ASSERT_EQ(Set(key_, nullptr, kRegSz, std::string("d\0", 2)), kErrorSuccess);
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, &type, nullptr, &size), kErrorSuccess)
      << "NULL and \"\" name the same value";
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(RegDeleteValueA(key_, ""), kErrorSuccess);
  EXPECT_EQ(RegDeleteValueA(key_, nullptr), kErrorFileNotFound);
}

TEST_F(RegistryValuesConformance, EnumerationByIndex) {
  ASSERT_EQ(Set(key_, "first", kRegBinary, "ab"), kErrorSuccess);
  ASSERT_EQ(Set(key_, "second", kRegDword, std::string("\x01\0\0\0", 4)), kErrorSuccess);
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[16];
    DWORD name_size = sizeof name;
    DWORD type = kSentinelType;
    BYTE data[8];
    DWORD data_size = sizeof data;
    const LONG result =
        RegEnumValueA(key_, index, name, &name_size, nullptr, &type, data, &data_size);
    if (result != kErrorSuccess) {
      EXPECT_EQ(result, kErrorNoMoreItems);
      break;
    }
    EXPECT_EQ(name_size, std::strlen(name)) << "the size without the zero";
    EXPECT_EQ(type, std::string(name) == "first" ? kRegBinary : kRegDword);
    EXPECT_EQ(data_size, std::string(name) == "first" ? 2u : 4u);
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());  // Windows lists values in no set order
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
  char small[3];
  DWORD small_size = sizeof small;
  DWORD data_size = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, small, &small_size, nullptr, nullptr, nullptr, &data_size),
            kErrorMoreData)
      << "a name buffer too small";
}

TEST_F(RegistryValuesConformance, ExpandStringsAreNotExpanded) {
  const std::string text("%PATH%\0", 7);
  ASSERT_EQ(Set(key_, "v", kRegExpandSz, text), kErrorSuccess);
  char buffer[16] = {};
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(key_, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            kErrorSuccess);
  EXPECT_STREQ(buffer, "%PATH%");
}

}  // namespace
}  // namespace quorvane::platform
