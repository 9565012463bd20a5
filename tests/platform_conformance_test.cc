// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

using testing_support::ScratchDirectory;
using testing_support::ScratchKey;

constexpr DWORD kSentinelType = 0xDEADBEEF;
constexpr char kFill = static_cast<char>(0xBD);

// An open key below the test's scratch key, closed at the end of the test.
class KeyFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegOpenKeyExA(scratch_.Root(), scratch_.AnsiPath().c_str(), 0, kKeyAllAccess, &key_),
              kErrorSuccess);
  }
  void TearDown() override { RegCloseKey(key_); }

  HKEY Create(const char* path) {
    HKEY created = 0;
    EXPECT_EQ(RegCreateKeyA(key_, path, &created), kErrorSuccess) << "creating " << path;
    if (created != key_) RegCloseKey(created);
    return created;
  }
  HKEY Open(const char* path, REGSAM sam) {
    HKEY opened = 0;
    EXPECT_EQ(RegOpenKeyExA(key_, path, 0, sam, &opened), kErrorSuccess) << "opening " << path;
    return opened;
  }
  LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
  }

  ScratchKey scratch_;
  HKEY key_ = 0;
};

using RegistryKeysConformance = KeyFixture;
using RegistryValuesConformance = KeyFixture;
using RegistryEnumConformance = KeyFixture;

TEST_F(RegistryKeysConformance, CreateMakesEveryLevelAndOpensExistingOnes) {
  HKEY first = 0;
  ASSERT_EQ(RegCreateKeyA(key_, "A\\B\\C", &first), kErrorSuccess);
  HKEY again = 0;
  EXPECT_EQ(RegCreateKeyA(key_, "A\\B\\C", &again), kErrorSuccess);
  EXPECT_NE(again, 0u);
  RegCloseKey(first);
  RegCloseKey(again);
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(key_, "A\\B", 0, kKeyRead, &opened), kErrorSuccess);
  RegCloseKey(opened);
}

TEST_F(RegistryKeysConformance, PathSeparators) {
  HKEY created = 0;
  EXPECT_EQ(RegCreateKeyA(key_, "\\Lead", &created), kErrorBadPathname) << "leading separator";
  EXPECT_EQ(RegCreateKeyA(key_, "Trail\\", &created), kErrorSuccess) << "trailing separator";
  RegCloseKey(created);
  EXPECT_EQ(RegCreateKeyA(key_, "D1\\\\D2", &created), kErrorSuccess) << "doubled separator";
  RegCloseKey(created);
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(key_, "D1\\D2", 0, kKeyRead, &opened), kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(RegOpenKeyExA(key_, "\\D1", 0, kKeyRead, &opened), kErrorBadPathname);
}

TEST_F(RegistryKeysConformance, CreateWithEmptyPathOpensTheSameKey) {
  // Windows documents the same handle back; Wine returns a new handle to the
  // same key. Either way the key must not change.
  for (const char* path : {"", static_cast<const char*>(nullptr)}) {
    HKEY same = 0;
    ASSERT_EQ(RegCreateKeyA(key_, path, &same), kErrorSuccess);
    EXPECT_NE(same, 0u);
    if (same != key_) RegCloseKey(same);
  }
}

TEST_F(RegistryKeysConformance, OpenOfMissingKeyGivesTwoAndClearsTheHandle) {
  HKEY opened = 0x1234;
  EXPECT_EQ(RegOpenKeyExA(key_, "Missing", 0, kKeyRead, &opened), kErrorFileNotFound);
  EXPECT_EQ(opened, 0u);
  opened = 0x1234;
  EXPECT_EQ(RegOpenKeyExA(key_, "Missing\\Deeper", 0, kKeyRead, &opened), kErrorFileNotFound);
  EXPECT_EQ(opened, 0u);
}

TEST_F(RegistryKeysConformance, EmptyPathOnARootGivesTheRootItself) {
  HKEY opened = 0;
  ASSERT_EQ(RegOpenKeyExA(kHkeyCurrentUser, "", 0, kKeyRead, &opened), kErrorSuccess);
  EXPECT_EQ(opened, kHkeyCurrentUser);
  EXPECT_EQ(RegCloseKey(kHkeyCurrentUser), kErrorSuccess) << "closing a root is harmless";
  ASSERT_EQ(RegOpenKeyExA(key_, "", 0, kKeyRead, &opened), kErrorSuccess);
  EXPECT_NE(opened, key_) << "an ordinary key opens as a new handle";
  RegCloseKey(opened);
}

TEST_F(RegistryKeysConformance, EachCallChecksTheRightItNeeds) {
  Create("Kid");
  ASSERT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess);
  const HKEY query_only = Open("", kKeyQueryValue);
  char name[64];
  EXPECT_EQ(RegEnumKeyA(query_only, 0, name, sizeof name), kErrorAccessDenied);
  EXPECT_EQ(Set(query_only, "w", kRegSz, std::string("y\0", 2)), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteValueA(query_only, "v"), kErrorAccessDenied);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(query_only, "v", nullptr, nullptr, nullptr, &size), kErrorSuccess);
  RegCloseKey(query_only);

  // Access is checked before the value is looked up.
  const HKEY enumerate_only = Open("", kKeyEnumerateSubKeys);
  EXPECT_EQ(RegQueryValueExA(enumerate_only, "missing", nullptr, nullptr, nullptr, &size),
            kErrorAccessDenied);
  EXPECT_EQ(RegEnumKeyA(enumerate_only, 0, name, sizeof name), kErrorSuccess);
  RegCloseKey(enumerate_only);
}

TEST_F(RegistryKeysConformance, GenericRightsAreMappedWhenAKeyIsOpened) {
  ASSERT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess);
  struct Row {
    REGSAM sam;
    LONG query, set, enumerate;
  };
  const Row rows[] = {
      {0x80000000u, kErrorSuccess, kErrorAccessDenied, kErrorNoMoreItems},   // GENERIC_READ
      {0x40000000u, kErrorAccessDenied, kErrorSuccess, kErrorAccessDenied},  // GENERIC_WRITE
      {0x10000000u, kErrorSuccess, kErrorSuccess, kErrorNoMoreItems},        // GENERIC_ALL
      {0x02000000u, kErrorSuccess, kErrorSuccess, kErrorNoMoreItems},        // MAXIMUM_ALLOWED
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sam);
    const HKEY opened = Open("", row.sam);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(opened, "v", nullptr, nullptr, nullptr, &size), row.query);
    EXPECT_EQ(Set(opened, "w", kRegSz, std::string("y\0", 2)), row.set);
    char name[64];
    EXPECT_EQ(RegEnumKeyA(opened, 0, name, sizeof name), row.enumerate);
    RegCloseKey(opened);
  }
}

TEST_F(RegistryKeysConformance, CreatingIsCheckedAgainstTheKeyNotTheHandle) {
  const HKEY read_only = Open("", kKeyRead);
  HKEY created = 0;
  EXPECT_EQ(RegCreateKeyA(read_only, "Child", &created), kErrorSuccess);
  RegCloseKey(created);
  RegCloseKey(read_only);
}

TEST_F(RegistryKeysConformance, CreateWithAnEmptyPathGivesANewHandle) {
  HKEY again = 0;
  ASSERT_EQ(RegCreateKeyA(key_, "", &again), kErrorSuccess);
  EXPECT_NE(again, key_);
  EXPECT_EQ(RegCloseKey(again), kErrorSuccess);
  EXPECT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess)
      << "the caller's handle still works";
}

TEST_F(RegistryKeysConformance, AccessIsCheckedBeforeTheKeyIsFoundDeleted) {
  Create("Gone");
  const HKEY query_only = Open("Gone", kKeyQueryValue);
  ASSERT_EQ(RegDeleteKeyA(key_, "Gone"), kErrorSuccess);
  EXPECT_EQ(Set(query_only, "x", kRegSz, std::string("a\0", 2)), kErrorAccessDenied);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(query_only, "x", nullptr, nullptr, nullptr, &size), kErrorKeyDeleted);
  RegCloseKey(query_only);
}

TEST(RegistryRootsConformance, PerformanceDataHoldNoStoredKeys) {
  HKEY result = 0;
  EXPECT_EQ(RegCreateKeyA(kHkeyPerformanceData, "QvStored", &result), kErrorInvalidHandle);
  EXPECT_EQ(
      RegSetValueExA(kHkeyPerformanceData, "v", 0, kRegSz, reinterpret_cast<const BYTE*>("a"), 2),
      kErrorInvalidHandle);
  EXPECT_EQ(RegOpenKeyExA(kHkeyPerformanceData, "QvStored", 0, kKeyRead, &result),
            kErrorInvalidHandle);
  char name[64];
  EXPECT_EQ(RegEnumKeyA(kHkeyPerformanceData, 0, name, sizeof name), kErrorInvalidHandle);
  EXPECT_EQ(RegDeleteValueA(kHkeyPerformanceData, "v"), kErrorInvalidHandle);
  BYTE data[16];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(kHkeyPerformanceData, "v", nullptr, nullptr, data, &size),
            kErrorMoreData);
  EXPECT_EQ(size, 0u);
}

TEST(RegistryRootsConformance, TheStandardKeysAreThere) {
  const std::pair<HKEY, const char*> keys[] = {
      {kHkeyLocalMachine, "Software"},
      {kHkeyLocalMachine, "Software\\Classes"},
      {kHkeyLocalMachine, "System"},
      {kHkeyUsers, ".DEFAULT"},
      {kHkeyCurrentUser, "Software"},
      {kHkeyCurrentUser, "Software\\Classes"},
      {kHkeyUsers, "S-1-5-21-0-0-0-1000\\Software"},
      {kHkeyLocalMachine, "System\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  for (const auto& [root, path] : keys) {
    HKEY opened = 0;
    const LONG status = RegOpenKeyExA(root, path, 0, kKeyRead, &opened);
    RegCloseKey(opened);
    // A new Wine prefix has no HKCU\Software\Classes until something writes
    // there; Windows always has it.
    const bool wine_may_lack = testing_support::RunsUnderWine() && root == kHkeyCurrentUser &&
                               std::string(path) == "Software\\Classes";
    if (wine_may_lack && status == kErrorFileNotFound) continue;
    EXPECT_EQ(status, kErrorSuccess) << path;
  }
}

TEST_F(RegistryKeysConformance, DeleteKeyRules) {
  Create("Parent\\Child");
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent"), kErrorAccessDenied) << "a key with subkeys stays";
  EXPECT_EQ(RegDeleteKeyA(key_, "Missing"), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent\\Child"), kErrorSuccess) << "a path deletes the leaf";
  HKEY parent = 0;
  ASSERT_EQ(RegOpenKeyExA(key_, "Parent", 0, kKeyAllAccess, &parent), kErrorSuccess);
  EXPECT_EQ(RegDeleteKeyA(parent, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegDeleteKeyA(parent, ""), kErrorSuccess) << "the empty path deletes the key itself";
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(parent, "v", nullptr, nullptr, nullptr, &size), kErrorKeyDeleted);
  char name[64];
  EXPECT_EQ(RegEnumKeyA(parent, 0, name, sizeof name), kErrorKeyDeleted);
  EXPECT_EQ(RegCloseKey(parent), kErrorSuccess);
  EXPECT_EQ(RegDeleteKeyA(kHkeyCurrentUser, ""), kErrorAccessDenied);
}

TEST_F(RegistryKeysConformance, BadHandlesGiveSix) {
  DWORD size = 0;
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(0, "Software", 0, kKeyRead, &opened), kErrorInvalidHandle);
  EXPECT_EQ(RegQueryValueExA(0, "x", nullptr, nullptr, nullptr, &size), kErrorInvalidHandle);
  HKEY dangling = Open("", kKeyRead);
  EXPECT_EQ(RegCloseKey(dangling), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(dangling), kErrorInvalidHandle);
  EXPECT_EQ(RegQueryValueExA(dangling, "x", nullptr, nullptr, nullptr, &size), kErrorInvalidHandle);
}

TEST_F(RegistryKeysConformance, MissingPointersGiveEightySeven) {
  EXPECT_EQ(RegOpenKeyExA(key_, "", 0, kKeyRead, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegCreateKeyA(key_, "Kid", nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegConnectRegistryA(nullptr, kHkeyLocalMachine, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegSetValueExA(key_, "v", 0, kRegBinary, nullptr, 4), kErrorInvalidParameter);
}

TEST_F(RegistryKeysConformance, NameLengthLimits) {
  HKEY created = 0;
  const std::string longest(255, 'k');
  ASSERT_EQ(RegCreateKeyA(key_, longest.c_str(), &created), kErrorSuccess);
  RegCloseKey(created);
  // Windows documents 255 characters; Wine also takes 256.
  const std::string one_more(256, 'k');
  const LONG at_256 = RegCreateKeyA(key_, one_more.c_str(), &created);
  EXPECT_TRUE(at_256 == kErrorSuccess || at_256 == kErrorInvalidParameter) << "got " << at_256;
  if (at_256 == kErrorSuccess) RegCloseKey(created);
  // Wine answers 234 beyond 260 characters, Windows 87.
  const LONG far_beyond = RegCreateKeyA(key_, std::string(300, 'k').c_str(), &created);
  EXPECT_TRUE(far_beyond == kErrorInvalidParameter || far_beyond == kErrorMoreData)
      << "got " << far_beyond;
}

// Windows keeps a key at most 512 levels below the root of its tree (HKLM or
// HKU); a call that would go deeper fails with 1450 before it makes anything.
// Wine has no such limit.
TEST(RegistryDepthConformance, TreesEndFiveHundredAndTwelveLevelsBelowTheirRoot) {
  HKEY software = 0;  // HKLM\\Software itself, in either process
  ASSERT_EQ(RegOpenKeyExA(kHkeyLocalMachine, "Software", 0,
                          kKeyAllAccess | platform::kKeyWow64_64Key, &software),
            kErrorSuccess);
  std::vector<HKEY> levels;  // levels[i] lies i + 2 levels below HKLM's root
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(software, "QvDepth", &key), kErrorSuccess);
  levels.push_back(key);
  while (levels.size() + 1 < 512) {
    ASSERT_EQ(RegCreateKeyA(levels.back(), "d", &key), kErrorSuccess) << levels.size() + 2;
    levels.push_back(key);
  }
  const bool limited = !testing_support::RunsUnderWine();
  struct Row {
    HKEY from;
    const char* path;
    const char* first;  // the first key the path would make
  };
  const Row rows[] = {{levels.back(), "d", "d"},                  // level 513
                      {levels[levels.size() - 2], "e\\f", "e"}};  // 512, then 513
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const LONG status = RegCreateKeyA(row.from, row.path, &key);
    if (!limited && status == kErrorSuccess) {
      RegCloseKey(key);
      (void)RegDeleteKeyA(row.from, row.path);
      (void)RegDeleteKeyA(row.from, row.first);
      continue;
    }
    EXPECT_EQ(status, platform::kErrorNoSystemResources);
    EXPECT_EQ(RegOpenKeyExA(row.from, row.first, 0, kKeyRead, &key), kErrorFileNotFound)
        << "nothing of the path is made";
  }
  for (std::size_t i = levels.size(); i-- > 1;) {
    RegCloseKey(levels[i]);
    EXPECT_EQ(RegDeleteKeyA(levels[i - 1], "d"), kErrorSuccess);
  }
  RegCloseKey(levels[0]);
  EXPECT_EQ(RegDeleteKeyA(software, "QvDepth"), kErrorSuccess);
  RegCloseKey(software);
}

TEST_F(RegistryKeysConformance, NamesIgnoreCaseAndKeepIt) {
  Create("MixedCase");
  Create("caf\xE9");
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(key_, "MIXEDCASE", 0, kKeyRead, &opened), kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(RegOpenKeyExA(key_, "CAF\xC9", 0, kKeyRead, &opened), kErrorSuccess);
  RegCloseKey(opened);
  char name[64];
  ASSERT_EQ(RegEnumKeyA(key_, 1, name, sizeof name), kErrorSuccess);
  EXPECT_STREQ(name, "MixedCase");
}

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

TEST(RegistryConnectConformance, LocalNamesGiveTheRootBack) {
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    HKEY connected = 0;
    ASSERT_EQ(RegConnectRegistryA(name, kHkeyLocalMachine, &connected), kErrorSuccess);
    EXPECT_EQ(connected, kHkeyLocalMachine);
  }
}

// Whether `path` below `root` can be opened (in the view `view` chooses, else
// the process's own); closes what it opened.
bool KeyExists(HKEY root, const char* path, REGSAM view = 0) {
  HKEY opened = 0;
  const LONG status = RegOpenKeyExA(root, path, 0, kKeyRead | view, &opened);
  if (status == kErrorSuccess) RegCloseKey(opened);
  return status == kErrorSuccess;
}

constexpr REGSAM kWow64_64Key = platform::kKeyWow64_64Key;
constexpr REGSAM kWow64_32Key = platform::kKeyWow64_32Key;

// Creates `path` below `root` in the 32-bit view (asking for `more` as well)
// and closes it.
LONG CreateInThirtyTwoBitView(HKEY root, const char16_t* path, REGSAM more = 0) {
  HKEY created = 0;
  const LONG status = RegCreateKeyExW(
      root, path, 0, nullptr, 0, kKeyAllAccess | kWow64_32Key | more, nullptr, &created, nullptr);
  if (status == kErrorSuccess) RegCloseKey(created);
  return status;
}

// Where a key created in the 32-bit view lands, named in the 64-bit view. On
// Windows 7 and later the classes are shared by both views but for a few
// redirected class keys, and so are some other keys below Software; the
// rest of Software is redirected to Software\Wow6432Node.
TEST(RegistryViewsConformance, TheThirtyTwoBitViewSharesWhatWindowsSharesAndRedirectsTheRest) {
  struct Row {
    HKEY root;
    const char16_t* created;  // in the 32-bit view
    const char* stored;       // below HKLM, in the 64-bit view
    const char* wine;         // where Wine may put it instead (null: as Windows)
  };
  const Row rows[] = {
      {kHkeyClassesRoot, u"QvViewShared", "Software\\Classes\\QvViewShared",
       "Software\\Classes\\Wow6432Node\\QvViewShared"},
      {kHkeyClassesRoot, u"CLSID\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\CLSID\\QvViewRedirected", nullptr},
      {kHkeyClassesRoot, u"Interface\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\Interface\\QvViewRedirected", nullptr},
      {kHkeyLocalMachine, u"Software\\Classes\\QvViewSharedToo",
       "Software\\Classes\\QvViewSharedToo", "Software\\Classes\\Wow6432Node\\QvViewSharedToo"},
      {kHkeyLocalMachine, u"Software\\Classes\\Media Type\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\Media Type\\QvViewRedirected", nullptr},
      {kHkeyLocalMachine, u"Software\\Policies\\QvViewPolicy", "Software\\Policies\\QvViewPolicy",
       nullptr},
      {kHkeyLocalMachine, u"Software\\QvViewApplication",
       "Software\\Wow6432Node\\QvViewApplication", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored);
    ASSERT_EQ(CreateInThirtyTwoBitView(row.root, row.created), kErrorSuccess);
    const bool where_windows_keeps_it = KeyExists(kHkeyLocalMachine, row.stored, kWow64_64Key);
    if (testing_support::RunsUnderWine() && row.wine != nullptr && !where_windows_keeps_it) {
      // Wine redirects all classes for KEY_WOW64_32KEY in a 64-bit process.
      EXPECT_TRUE(KeyExists(kHkeyLocalMachine, row.wine, kWow64_64Key));
      EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, row.wine), kErrorSuccess);
      continue;
    }
    EXPECT_TRUE(where_windows_keeps_it);
    EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, row.stored), kErrorSuccess);
  }
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Wow6432Node\\Classes", kWow64_64Key))
      << "the 32-bit classes by their other name";
}

TEST(RegistryViewsConformance, BothViewsAtOnceAreRefused) {
  HKEY opened = 0;
  const LONG status = RegOpenKeyExA(kHkeyLocalMachine, "Software", 0,
                                    kKeyRead | kWow64_32Key | kWow64_64Key, &opened);
  if (testing_support::RunsUnderWine() && status == kErrorSuccess) {
    RegCloseKey(opened);  // Wine takes the 32-bit view
    return;
  }
  EXPECT_EQ(status, kErrorInvalidParameter);
  EXPECT_EQ(CreateInThirtyTwoBitView(kHkeyLocalMachine, u"Software\\QvViewBoth", kWow64_64Key),
            kErrorInvalidParameter);
}

TEST(RegistryViewsConformance, TheThirtyTwoBitViewKeepsSoftwareInWow6432Node) {
  ASSERT_EQ(CreateInThirtyTwoBitView(kHkeyLocalMachine, u"Software\\QvViewTest"), kErrorSuccess);
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(kHkeyLocalMachine, "Software\\Wow6432Node\\QvViewTest", 0,
                          kKeyRead | kWow64_64Key, &opened),
            kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(
      RegOpenKeyExA(kHkeyLocalMachine, "Software\\QvViewTest", 0, kKeyRead | kWow64_32Key, &opened),
      kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(
      RegOpenKeyExA(kHkeyLocalMachine, "Software\\QvViewTest", 0, kKeyRead | kWow64_64Key, &opened),
      kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, "Software\\Wow6432Node\\QvViewTest"), kErrorSuccess);
}

TEST(RegistryViewsConformance, CurrentUserAndCurrentConfigAreKeysOfTheStoredRoots) {
  struct Alias {
    HKEY view;
    const char* path;
    const char* stored;  // the same key below its stored root
    HKEY stored_root;
  };
  const Alias aliases[] = {
      {kHkeyCurrentUser, "Software\\QvViewAlias", "S-1-5-21-0-0-0-1000\\Software\\QvViewAlias",
       kHkeyUsers},
      {kHkeyCurrentConfig, "QvViewAlias",
       "System\\CurrentControlSet\\Hardware Profiles\\Current\\QvViewAlias", kHkeyLocalMachine},
  };
  for (const Alias& alias : aliases) {
    HKEY created = 0;
    ASSERT_EQ(RegCreateKeyA(alias.view, alias.path, &created), kErrorSuccess) << alias.path;
    ASSERT_EQ(RegSetValueExA(created, "v", 0, kRegSz, reinterpret_cast<const BYTE*>("one"), 4),
              kErrorSuccess);
    RegCloseKey(created);
    HKEY stored = 0;
    ASSERT_EQ(RegOpenKeyExA(alias.stored_root, alias.stored, 0, kKeyRead, &stored), kErrorSuccess)
        << alias.stored;
    char data[8] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(stored, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              kErrorSuccess);
    EXPECT_STREQ(data, "one");
    RegCloseKey(stored);
    EXPECT_EQ(RegDeleteKeyA(alias.stored_root, alias.stored), kErrorSuccess);
    EXPECT_FALSE(KeyExists(alias.view, alias.path)) << "deleted through the stored root";
  }
}

TEST(RegistryViewsConformance, ClassesRootCreatesNewKeysInTheMachinePart) {
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyA(kHkeyClassesRoot, "QvViewMachineNew", &created), kErrorSuccess);
  RegCloseKey(created);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewMachineNew"));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewMachineNew"));
  EXPECT_EQ(RegDeleteKeyA(kHkeyClassesRoot, "QvViewMachineNew"), kErrorSuccess);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewMachineNew"));
}

TEST(RegistryViewsConformance, ClassesRootLaysTheUsersClassesOverTheMachines) {
  const auto set = [](HKEY root, const char* path, const char* data) {
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyA(root, path, &key), kErrorSuccess) << path;
    ASSERT_EQ(RegSetValueExA(key, "v", 0, kRegSz, reinterpret_cast<const BYTE*>(data),
                             static_cast<DWORD>(std::strlen(data) + 1)),
              kErrorSuccess);
    RegCloseKey(key);
  };
  set(kHkeyCurrentUser, "Software\\Classes\\QvViewBoth", "user");
  set(kHkeyLocalMachine, "Software\\Classes\\QvViewBoth", "machine");
  set(kHkeyCurrentUser, "Software\\Classes\\QvViewUserOnly", "user");

  HKEY both = 0;
  ASSERT_EQ(RegOpenKeyExA(kHkeyClassesRoot, "QvViewBoth", 0, kKeyAllAccess, &both), kErrorSuccess);
  char data[16] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(both, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            kErrorSuccess);
  // A new key goes to the machine's part, as Windows documents, even below a
  // key both parts hold; it is found through HKCR all the same.
  HKEY child = 0;
  ASSERT_EQ(RegCreateKeyA(both, "Child", &child), kErrorSuccess);
  RegCloseKey(child);
  RegCloseKey(both);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewBoth\\Child"));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewBoth\\Child"));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "QvViewBoth\\Child"));

  std::vector<std::string> listed;
  char name[256];
  for (DWORD index = 0; RegEnumKeyA(kHkeyClassesRoot, index, name, sizeof name) == kErrorSuccess;
       ++index) {
    if (std::strncmp(name, "QvView", 6) == 0) listed.emplace_back(name);
  }
  if (testing_support::RunsUnderWine()) {
    // Wine's HKEY_CLASSES_ROOT is HKLM\Software\Classes alone; Windows, and the
    // portable backend, merge the user's classes over it.
    EXPECT_STREQ(data, "machine");
    EXPECT_EQ(listed, (std::vector<std::string>{"QvViewBoth"}));
  } else {
    EXPECT_STREQ(data, "user");
    EXPECT_EQ(listed, (std::vector<std::string>{"QvViewBoth", "QvViewUserOnly"}))
        << "the union, each name once";
    EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "QvViewUserOnly"));
    // Below a key of the user's part alone, a new key stays beside it.
    ASSERT_EQ(RegCreateKeyA(kHkeyClassesRoot, "QvViewUserOnly\\Child", &child), kErrorSuccess);
    RegCloseKey(child);
    EXPECT_TRUE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewUserOnly\\Child"));
    EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewUserOnly"));
  }
  for (const char* path :
       {"Software\\Classes\\QvViewBoth\\Child", "Software\\Classes\\QvViewBoth",
        "Software\\Classes\\QvViewUserOnly\\Child", "Software\\Classes\\QvViewUserOnly"}) {
    (void)RegDeleteKeyA(kHkeyCurrentUser, path);
    (void)RegDeleteKeyA(kHkeyLocalMachine, path);
  }
}

TEST(RegistryConnectConformance, TheComputersOwnNameIsLocal) {
  const std::string own = testing_support::ComputerName();
  for (const std::string& name : {own, "\\\\" + own}) {
    HKEY connected = 0;
    ASSERT_EQ(RegConnectRegistryA(name.c_str(), kHkeyLocalMachine, &connected), kErrorSuccess)
        << name;
    EXPECT_EQ(connected, kHkeyLocalMachine);
  }
  HKEY connected = 0;
  EXPECT_EQ(RegConnectRegistryA("\\\\", kHkeyLocalMachine, &connected), kErrorBadNetpath)
      << "a bare \\\\ names no machine";
}

TEST(RegistryConnectConformance, UnknownMachineGivesFiftyThree) {
  HKEY connected = 0;
  EXPECT_EQ(RegConnectRegistryA("\\\\qv-no-such-host", kHkeyLocalMachine, &connected),
            kErrorBadNetpath);
}

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

TEST(EnvironmentConformance, NamesIgnoreCaseAndMissingIsError203) {
  testing_support::SetEnvironment(u"QV_CONFORMANCE_VAR", u"value");
  char16_t buffer[16] = {};
  EXPECT_EQ(GetEnvironmentVariableW(u"qv_conformance_var", buffer, 16), 5u);
  EXPECT_EQ(std::u16string(buffer), u"value");
  EXPECT_EQ(GetEnvironmentVariableW(u"QV_CONFORMANCE_VAR", buffer, 5), 6u)
      << "too small: the size needed with its zero";
  testing_support::SetEnvironment(u"QV_CONFORMANCE_VAR", u"", true);
  EXPECT_EQ(GetEnvironmentVariableW(u"QV_CONFORMANCE_VAR", buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorEnvVarNotFound));
}

TEST(SystemDirectoryConformance, BufferProtocol) {
  for (auto query : {GetWindowsDirectoryA, GetSystemDirectoryA}) {
    const UINT needed = query(nullptr, 0);
    if (needed == 0) continue;  // no such directory here
    std::vector<char> buffer(needed + 4, kFill);
    EXPECT_EQ(query(buffer.data(), needed - 1), needed) << "too small: the size with its zero";
    EXPECT_EQ(buffer[0], kFill);
    EXPECT_EQ(query(buffer.data(), needed), needed - 1);
    EXPECT_EQ(buffer[needed - 1], '\0');
    EXPECT_EQ(buffer[needed], kFill);
  }
}

class FileConformance : public ::testing::Test {
 protected:
  std::u16string Name(const std::u16string& relative) const {
    return directory_.Path() + u"\\" + relative;
  }
  DWORD FindError(const std::u16string& pattern) {
    FindData data;
    const FindHandle find = FindFirstFileW(pattern.c_str(), &data);
    if (find != kInvalidFindHandle) {
      FindClose(find);
      return 0;
    }
    return GetLastError();
  }
  std::vector<std::u16string> FindAll(const std::u16string& pattern) {
    std::vector<std::u16string> names;
    FindData data;
    const FindHandle find = FindFirstFileW(pattern.c_str(), &data);
    if (find == kInvalidFindHandle) return names;
    do {
      names.push_back(data.file_name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
  }

  ScratchDirectory directory_;
};

TEST_F(FileConformance, SearchFindsDirectoriesFilesAndHiddenNames) {
  ASSERT_TRUE(CreateDirectoryW(Name(u"sub").c_str()));
  directory_.WriteFile(u"A.TXT");
  directory_.WriteFile(u".hidden");
  FindData data;
  const FindHandle find = FindFirstFileW(Name(u"sub").c_str(), &data);
  ASSERT_NE(find, kInvalidFindHandle);
  EXPECT_EQ(data.attributes & kFileAttributeDirectory, kFileAttributeDirectory);
  FindClose(find);
  EXPECT_EQ(FindError(Name(u"sub\\")), static_cast<DWORD>(kErrorFileNotFound));
  EXPECT_EQ(FindAll(Name(u"*.txt")), std::vector<std::u16string>{u"A.TXT"});
  const FindHandle hidden = FindFirstFileW(Name(u".hidden").c_str(), &data);
  ASSERT_NE(hidden, kInvalidFindHandle) << "the search leaves filtering to the caller";
  EXPECT_EQ(data.attributes & kFileAttributeHidden, kFileAttributeHidden);
  FindClose(hidden);
  const std::vector<std::u16string> all = FindAll(Name(u"*"));
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all[0], u".");
  EXPECT_EQ(all[1], u"..");
}

TEST_F(FileConformance, SearchFailures) {
  EXPECT_EQ(FindError(Name(u"nothing-here")), static_cast<DWORD>(kErrorFileNotFound));
  EXPECT_EQ(FindError(Name(u"*.none")), static_cast<DWORD>(kErrorFileNotFound));
  EXPECT_EQ(FindError(Name(u"missing\\x")), static_cast<DWORD>(kErrorPathNotFound));
  EXPECT_EQ(FindError(u""), static_cast<DWORD>(kErrorPathNotFound));
}

TEST_F(FileConformance, NamesAreNormalisedAsWindowsDoes) {
  ASSERT_TRUE(CreateDirectoryW(Name(u"sub").c_str()));
  directory_.WriteFile(u"sub\\file.txt");
  EXPECT_EQ(FindError(Name(u"s*\\file.txt")), static_cast<DWORD>(kErrorInvalidName))
      << "wildcards only in the last component";
  EXPECT_EQ(FindError(Name(u"sub\\file.txt.")), 0u) << "trailing dots are dropped";
  EXPECT_EQ(FindError(Name(u"sub\\file.txt  ")), 0u) << "trailing blanks are dropped";
  EXPECT_EQ(FindError(Name(u"sub \\file.txt")), static_cast<DWORD>(kErrorPathNotFound))
      << "but only from the last component";
  EXPECT_EQ(FindError(u"\\\\?\\" + Name(u"sub")), 0u) << "the long-path prefix";
  EXPECT_EQ(FindError(Name(u"s?b")), 0u);
}

TEST_F(FileConformance, CreateDirectoryResults) {
  EXPECT_TRUE(CreateDirectoryW(Name(u"d").c_str()));
  EXPECT_FALSE(CreateDirectoryW(Name(u"d").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorAlreadyExists));
  EXPECT_FALSE(CreateDirectoryW(Name(u"missing\\d").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorPathNotFound));
  std::u16string forward = Name(u"d/e");
  EXPECT_TRUE(CreateDirectoryW(forward.c_str())) << "forward slashes separate too";
  EXPECT_TRUE(CreateDirectoryW(Name(u"t\\").c_str())) << "a trailing separator is accepted";
  directory_.WriteFile(u"file");
  EXPECT_FALSE(CreateDirectoryW(Name(u"file").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorAlreadyExists));
}

TEST_F(FileConformance, AttributesOfFilesAndDirectories) {
  directory_.WriteFile(u"file");
  ASSERT_TRUE(CreateDirectoryW(Name(u"dir").c_str()));
  EXPECT_EQ(GetFileAttributesW(Name(u"file").c_str()) & kFileAttributeDirectory, 0u);
  EXPECT_NE(GetFileAttributesW(Name(u"file").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(GetFileAttributesW(Name(u"dir").c_str()), kFileAttributeDirectory);
  EXPECT_EQ(GetFileAttributesW(Name(u"dir\\").c_str()), kFileAttributeDirectory);
  EXPECT_EQ(GetFileAttributesW(Name(u"file\\").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorPathNotFound));
  EXPECT_EQ(GetFileAttributesW(Name(u"missing").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorFileNotFound));
  EXPECT_EQ(GetFileAttributesW(Name(u"missing\\x").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(kErrorPathNotFound));
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
