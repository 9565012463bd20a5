// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
//
// This file: enumeration of keys (names, order, buffers, any index).
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

TEST_F(RegistryEnumConformance, WritesOnlyTheNameAndOneZero) {
  Create("  blanks  ");
  Create("   ");
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char buffer[40];
    std::memset(buffer, ' ', sizeof buffer);
    const LONG result = RegEnumKeyA(key_, index, buffer, sizeof buffer);
    if (result != kErrorSuccess) {
      EXPECT_EQ(result, kErrorNoMoreItems);
      break;
    }
    const std::size_t length = std::strlen(buffer);
    for (std::size_t i = length + 1; i < sizeof buffer; ++i) {
      ASSERT_EQ(buffer[i], ' ') << "overwritten at offset " << i;
    }
    names.emplace_back(buffer);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"   ", "  blanks  "}));
}

TEST_F(RegistryEnumConformance, OrderIsCaseInsensitivelySorted) {
  // NOTE: "_" is left out: Wine sorts by lower case, Windows by upper case.
  for (const char* name : {"b", "a", "C", "B2"}) Create(name);
  std::vector<std::string> names;
  char buffer[64];
  for (DWORD index = 0; RegEnumKeyA(key_, index, buffer, sizeof buffer) == kErrorSuccess; ++index) {
    names.emplace_back(buffer);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "B2", "C"}));
}

// Subkeys read at any index, walked downward, while subkeys come and go
// (between the walks, and with a handle that listed them still open).
TEST_F(RegistryEnumConformance, AnyIndexStaysRightAsSubkeysComeAndGo) {
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "k" + std::to_string(100 + i);
    Create(name.c_str());
    expected.push_back(name);
  }
  const auto walk_down = [this] {
    HKEY fresh = 0;
    EXPECT_EQ(RegOpenKeyExA(key_, "", 0, kKeyRead, &fresh), kErrorSuccess);
    DWORD count = 0;
    char buffer[64];
    while (RegEnumKeyA(fresh, count, buffer, sizeof buffer) == kErrorSuccess) ++count;
    std::vector<std::string> names(count);
    for (DWORD index = count; index-- > 0;) {
      EXPECT_EQ(RegEnumKeyA(fresh, index, buffer, sizeof buffer), kErrorSuccess);
      names[index] = buffer;
    }
    RegCloseKey(fresh);
    return names;
  };
  EXPECT_EQ(walk_down(), expected);
  HKEY holding = 0;  // lists them out of order, and stays open
  ASSERT_EQ(RegOpenKeyExA(key_, "", 0, kKeyRead, &holding), kErrorSuccess);
  char buffer[64];
  ASSERT_EQ(RegEnumKeyA(holding, 39, buffer, sizeof buffer), kErrorSuccess);
  const struct {
    const char* name;
    bool add;
  } kSteps[] = {{"k120a", true}, {"k100", false}, {"k139", false}, {"a", true}, {"zz", true}};
  for (const auto& step : kSteps) {
    if (step.add) {
      Create(step.name);
      expected.insert(std::lower_bound(expected.begin(), expected.end(), step.name), step.name);
    } else {
      ASSERT_EQ(RegDeleteKeyA(key_, step.name), kErrorSuccess);
      expected.erase(std::find(expected.begin(), expected.end(), step.name));
    }
    EXPECT_EQ(walk_down(), expected)
        << "after " << (step.add ? "adding " : "deleting ") << step.name;
    ASSERT_EQ(RegEnumKeyA(holding, 0, buffer, sizeof buffer), kErrorSuccess);
    EXPECT_EQ(std::string(buffer), expected.front()) << "the open handle sees the change";
  }
  RegCloseKey(holding);
}

TEST_F(RegistryEnumConformance, OrderBeyondAsciiIsByUpperCase) {
  // ａ, ǆ and ά come after their upper cases' order: Ǆ (U+01C4), Ά (U+0386),
  // Ａ (U+FF21); lower-cased (as Wine sorts) the order is the same.
  for (const char16_t* name : {u"\uFF41", u"\u01C6", u"\u03AC", u"b"}) {
    HKEY created = 0;
    ASSERT_EQ(RegCreateKeyExW(key_, name, 0, nullptr, 0, kKeyAllAccess, nullptr, &created, nullptr),
              kErrorSuccess);
    RegCloseKey(created);
  }
  std::vector<std::u16string> names;
  char16_t buffer[64];
  for (DWORD index = 0;; ++index) {
    DWORD size = 64;
    if (RegEnumKeyExW(key_, index, buffer, &size, nullptr, nullptr, nullptr, nullptr) != 0) break;
    names.emplace_back(buffer, size);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"b", u"\u01C6", u"\u03AC", u"\uFF41"}));
}

TEST_F(RegistryEnumConformance, BoundariesLeaveTheBufferUntouched) {
  Create("abcd");
  char buffer[8];
  std::memset(buffer, kFill, sizeof buffer);
  EXPECT_EQ(RegEnumKeyA(key_, 1, buffer, sizeof buffer), kErrorNoMoreItems);
  EXPECT_EQ(buffer[0], kFill);
  EXPECT_EQ(RegEnumKeyA(key_, 0, buffer, 4), kErrorMoreData) << "name + zero need 5";
  EXPECT_EQ(buffer[0], kFill);
  EXPECT_EQ(RegEnumKeyA(key_, 0, buffer, 5), kErrorSuccess) << "exactly enough";
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], kFill);
}

}  // namespace
}  // namespace quorvane::platform
