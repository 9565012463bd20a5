// Conformance of the platform layer at the edges of the value calls: the
// pointers Windows refuses rather than reads, strings given without their
// terminator, what a failed or short call leaves in its outputs, and the
// forms of a path only some roots take.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <quorvane/platform/platform.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

using ValueEdgesConformance = KeyFixture;

// Every address in the first 64 KiB is one no Windows process can read:
// RegSetValueEx answers 998 for it, and for no buffer at all with a size.
TEST_F(ValueEdgesConformance, UnreadableDataIsRefusedWithNoAccess) {
  for (const std::uintptr_t address :
       {std::uintptr_t{1}, std::uintptr_t{0x10}, std::uintptr_t{0xFFFF}}) {
    const auto* data = reinterpret_cast<const BYTE*>(address);
    for (DWORD type : {kRegSz, kRegExpandSz, kRegBinary, kRegMultiSz, kRegDword}) {
      SCOPED_TRACE("address " + std::to_string(address) + ", type " + std::to_string(type));
      const bool string = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
      // Wine's RegSetValueExA looks for a string's terminator before it
      // checks the pointer, and dies there; Windows answers 998.
      if (!(string && testing_support::RunsUnderWine())) {
        EXPECT_EQ(RegSetValueExA(key_, "bad", 0, type, data, 4), kErrorNoAccess);
      }
      EXPECT_EQ(RegSetValueExW(key_, u"bad", 0, type, data, 4), kErrorNoAccess);
    }
  }
  EXPECT_EQ(RegSetValueExA(key_, "bad", 0, kRegBinary, nullptr, 4), kErrorNoAccess);
  EXPECT_EQ(RegSetValueExW(key_, u"bad", 0, kRegSz, nullptr, 2), kErrorNoAccess);
  EXPECT_EQ(RegSetValueExA(key_, "empty", 0, kRegBinary, nullptr, 0), kErrorSuccess);
  DWORD size = 99;
  EXPECT_EQ(RegQueryValueExA(key_, "bad", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
}

DWORD StoredSize(HKEY key, const char* name) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size), kErrorSuccess) << name;
  return size;
}

DWORD StoredSizeW(HKEY key, const char16_t* name) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size), kErrorSuccess);
  return size;
}

// A size that leaves out the terminator (strlen's) of a string whose zero
// follows right after it: the string is stored with its zero, for the three
// string types; binary data and a string followed by anything else are
// stored as given.
TEST_F(ValueEdgesConformance, AStringGivenWithoutItsTerminatorIsStoredWithIt) {
  const char text[] = "FullString";  // its zero right after the ten bytes
  const char16_t wide[] = u"FullString";
  const char followed[] = "FullStringX";
  for (DWORD type : {kRegSz, kRegExpandSz, kRegMultiSz}) {
    SCOPED_TRACE("type " + std::to_string(type));
    ASSERT_EQ(RegSetValueExA(key_, "a", 0, type, reinterpret_cast<const BYTE*>(text), 10),
              kErrorSuccess);
    EXPECT_EQ(StoredSizeW(key_, u"a"), 22u) << "ten units and the zero, as UTF-16";
    EXPECT_EQ(StoredSize(key_, "a"), 11u);
    ASSERT_EQ(RegSetValueExW(key_, u"w", 0, type, reinterpret_cast<const BYTE*>(wide), 20),
              kErrorSuccess);
    EXPECT_EQ(StoredSizeW(key_, u"w"), 22u);
    ASSERT_EQ(RegSetValueExA(key_, "f", 0, type, reinterpret_cast<const BYTE*>(followed), 10),
              kErrorSuccess);
    EXPECT_EQ(StoredSize(key_, "f"), 10u) << "no zero after the data: stored as given";
  }
  ASSERT_EQ(RegSetValueExA(key_, "b", 0, kRegBinary, reinterpret_cast<const BYTE*>(text), 10),
            kErrorSuccess);
  EXPECT_EQ(StoredSize(key_, "b"), 10u);
  ASSERT_EQ(RegSetValueExA(key_, "t", 0, kRegSz, reinterpret_cast<const BYTE*>(text), 11),
            kErrorSuccess);
  EXPECT_EQ(StoredSize(key_, "t"), 11u) << "a terminator counted is not counted twice";
}

TEST_F(ValueEdgesConformance, AMissingValueAskedForItsSizeAnswersZero) {
  DWORD type = kSentinelType;
  DWORD size = 1234;
  EXPECT_EQ(RegQueryValueExA(key_, "none", nullptr, &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(size, 0u);
  size = 1234;
  EXPECT_EQ(RegQueryValueExW(key_, u"none", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(size, 0u);
}

// The room a caller gives is read before the type is written, so one DWORD
// may stand for both: it ends holding the data's size.
TEST_F(ValueEdgesConformance, TypeAndSizeInOneDwordReadTheRoomFirst) {
  ASSERT_EQ(Set(key_, "v", kRegSz, std::string("text", 5)), kErrorSuccess);
  BYTE buffer[64];
  DWORD both = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key_, "v", nullptr, &both, buffer, &both), kErrorSuccess);
  EXPECT_EQ(both, 5u);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "text");
}

// A short RegEnumValue tells the type and the data's size all the same; with
// room for the name but not the data, the name is written with its length.
TEST_F(ValueEdgesConformance, AShortEnumerationStillTellsTypeSizeAndName) {
  ASSERT_EQ(Set(key_, "Named", kRegBinary, "abcdefgh"), kErrorSuccess);
  struct Case {
    const char* what;
    DWORD name_room;
    DWORD data_room;
    bool name_written;
  };
  for (const Case& row :
       {Case{"name too small", 3, 64, false}, Case{"data too small", 64, 4, true}}) {
    SCOPED_TRACE(row.what);
    char16_t name[64];
    std::fill(std::begin(name), std::end(name), u'#');
    DWORD name_size = row.name_room;
    DWORD type = kSentinelType;
    BYTE data[64];
    DWORD data_size = row.data_room;
    EXPECT_EQ(RegEnumValueW(key_, 0, name, &name_size, nullptr, &type, data, &data_size),
              kErrorMoreData);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(data_size, 8u);
    if (row.name_written) {
      EXPECT_EQ(std::u16string(name), u"Named");
      EXPECT_EQ(name_size, 5u);
    } else {
      EXPECT_EQ(name[0], u'#') << "the name left as it was";
    }
    char ansi_name[64];
    std::memset(ansi_name, '#', sizeof ansi_name);
    DWORD ansi_size = row.name_room;
    type = kSentinelType;
    data_size = row.data_room;
    EXPECT_EQ(RegEnumValueA(key_, 0, ansi_name, &ansi_size, nullptr, &type, data, &data_size),
              kErrorMoreData);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(data_size, 8u);
  }
}

// Below HKEY_CLASSES_ROOT, and there alone, a path may begin with one "\":
// "\" alone opens the root again.
TEST(PathFormsConformance, OneLeadingSeparatorOpensBelowTheClassesRootAlone) {
  HKEY opened = 0;
  ASSERT_EQ(RegOpenKeyExA(kHkeyClassesRoot, "\\", 0, kKeyRead, &opened), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(opened), kErrorSuccess);
  EXPECT_EQ(RegOpenKeyExW(kHkeyClassesRoot, u"\\", 0, kKeyRead, &opened), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(opened), kErrorSuccess);
  EXPECT_EQ(RegOpenKeyExA(kHkeyCurrentUser, "\\Software", 0, kKeyRead, &opened), kErrorBadPathname);
}

}  // namespace
}  // namespace quorvane::platform
