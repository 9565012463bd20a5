#include <gtest/gtest.h>

#include <string>

#include <quorvane/registry/registry.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;
using testing_support::ReadRaw;
using testing_support::ScratchKey;
using testing_support::WriteRaw;

using testing_support::kKeyInvalid;
constexpr std::int32_t kInvalidParameter = -2147210497;
constexpr std::int32_t kUnsupportedType = -2147210494;

std::string Bytes(const char* data, std::size_t size) { return std::string(data, size); }

class RegistryValuesTest : public ::testing::Test {
 protected:
  ScratchKey scratch_;
  Registry registry_;
};

TEST_F(RegistryValuesTest, EachTypeIsWrittenAndReadAsDocumented) {
  struct Row {
    std::int32_t type;
    Variant value;
    std::string stored;
    Variant read;
  };
  const Row rows[] = {
      {kRegSz, u"abc", Bytes("abc\0", 4), u"abc"},
      {kRegSz, u"", Bytes("\0", 1), u""},
      {kRegSz, std::int32_t{12}, Bytes("12\0", 3), u"12"},
      {kRegSz, u"caf\u00E9", Bytes("caf\xE9\0", 5), u"caf\u00E9"},
      {kRegExpandSz, u"%TEMP%\\x", Bytes("%TEMP%\\x\0", 9), u"%TEMP%\\x"},
      {kRegBinary, u"abc", Bytes("abc\0", 4), std::u16string(u"abc\0", 4)},
      {kRegDword, std::int32_t{1}, Bytes("\x01\0\0\0", 4), std::int32_t{1}},
      {kRegDword, std::int32_t{-1}, Bytes("\xFF\xFF\xFF\xFF", 4), std::int32_t{-1}},
      {kRegDword, u"4660", Bytes("\x34\x12\0\0", 4), std::int32_t{4660}},
      {kRegDword, 2.5, Bytes("\x02\0\0\0", 4), std::int32_t{2}},
      {kRegMultiSz, std::u16string(u"a\0b\0", 4), Bytes("a\0b\0\0", 5), std::u16string(u"a\0b", 3)},
      {kRegMultiSz, u"a", Bytes("a\0", 2), u"a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("type " + std::to_string(row.type) + ", stored " + Narrow(row.value.ToText()));
    registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", row.type, row.value);
    const testing_support::RawValue raw = ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "v");
    ASSERT_EQ(raw.result, 0);
    EXPECT_EQ(raw.type, static_cast<platform::DWORD>(row.type));
    EXPECT_EQ(raw.bytes, row.stored);
    EXPECT_EQ(registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"v"), row.read);
    EXPECT_EQ(registry_.QueryType(scratch_.Root(), scratch_.Path(), u"v"), row.type);
  }
}

TEST_F(RegistryValuesTest, ReadingDropsTerminatorsNeverData) {
  struct Row {
    platform::DWORD type;
    std::string stored;
    std::u16string read;
  };
  const Row rows[] = {
      {platform::kRegSz, "abc", u"abc"},
      {platform::kRegSz, Bytes("ab\0", 3), u"ab"},
      {platform::kRegSz, "", u""},
      {platform::kRegExpandSz, "abc", u"abc"},
      {platform::kRegMultiSz, Bytes("a\0b\0\0", 5), std::u16string(u"a\0b", 3)},
      {platform::kRegMultiSz, Bytes("a\0b\0", 4), std::u16string(u"a\0b", 3)},
      {platform::kRegMultiSz, Bytes("a\0", 2), u"a"},
      {platform::kRegMultiSz, Bytes("ab", 2), u"ab"},
      {platform::kRegMultiSz, "a", u"a"},
      {platform::kRegMultiSz, Bytes("\0", 1), u""},
      {platform::kRegMultiSz, "", u""},
      {platform::kRegBinary, Bytes("a\0\0", 3), std::u16string(u"a\0\0", 3)},
      // Longer than a string's own room once widened, shorter without the zero.
      {platform::kRegSz, Bytes("a value\0", 8), u"a value"},
      // Not ASCII (cp1252): decoded first, then the terminators dropped.
      {platform::kRegSz, Bytes("caf\xE9\0", 5), u"caf\u00E9"},
      {platform::kRegMultiSz, Bytes("\xE9\0\xE9\0\0", 5), std::u16string(u"\u00E9\0\u00E9", 3)},
      {platform::kRegBinary, Bytes("\xE9\0", 2), std::u16string(u"\u00E9\0", 2)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("type " + std::to_string(row.type) + ", " + std::to_string(row.stored.size()) +
                 " bytes");
    ASSERT_EQ(WriteRaw(scratch_.Root(), scratch_.AnsiPath(), "v", row.type, row.stored), 0);
    EXPECT_EQ(registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"v"), Variant(row.read));
  }
}

TEST_F(RegistryValuesTest, DwordsOfOtherSizes) {
  ASSERT_EQ(WriteRaw(scratch_.Root(), scratch_.AnsiPath(), "two", platform::kRegDword, "\x34\x12"),
            0);
  EXPECT_EQ(registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"two"),
            Variant(std::int32_t{4660}));
  ASSERT_EQ(WriteRaw(scratch_.Root(), scratch_.AnsiPath(), "eight", platform::kRegDword,
                     std::string(8, '\x01')),
            0);
  const ErrorObject error = testing_support::CatchError(
      [&] { (void)registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"eight"); });
  EXPECT_EQ(error.Number(), -2147210270);
  EXPECT_EQ(error.Description(), u"Undefined registry error.");
}

TEST_F(RegistryValuesTest, MissingValuesAndBranches) {
  EXPECT_RAISES(kKeyInvalid, registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"none"));
  EXPECT_RAISES(kKeyInvalid, registry_.QueryType(scratch_.Root(), scratch_.Path(), u"none"));
  EXPECT_RAISES(kKeyInvalid, registry_.DeleteValue(scratch_.Root(), scratch_.Path(), u"none"));
  const std::u16string missing = scratch_.Below(u"Missing");
  EXPECT_RAISES(kKeyInvalid, registry_.SetValue(scratch_.Root(), missing, u"v", kRegSz, u"x"));
  EXPECT_RAISES(kKeyInvalid, registry_.QueryValue(scratch_.Root(), missing, u"v"));
  EXPECT_EQ(registry_.GetBranchNames(scratch_.Root(), scratch_.Path()).Count(), 0)
      << "SetValue creates nothing";
}

TEST_F(RegistryValuesTest, DeleteValueRemovesIt) {
  registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", kRegSz, u"x");
  registry_.DeleteValue(scratch_.Root(), scratch_.Path(), u"V");
  EXPECT_EQ(ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "v").result, 2);
}

TEST_F(RegistryValuesTest, UnwritableTypesAreReportedAndWriteNothing) {
  for (std::int32_t type : {0, 5, 6, 8, 11, -1}) {
    SCOPED_TRACE("type " + std::to_string(type));
    const ErrorObject error = testing_support::CatchError(
        [&] { registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", type, u"x"); });
    EXPECT_EQ(error.Number(), kUnsupportedType);
    EXPECT_EQ(error.Source(), u"qvRegistry.Registry.SetValue");
    EXPECT_EQ(error.Description(),
              u"Unsupported registry type - " + testing_support::Widen(std::to_string(type)));
    EXPECT_EQ(ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "v").result, 2);
  }
  EXPECT_RAISES(kKeyInvalid,
                registry_.SetValue(scratch_.Root(), scratch_.Below(u"Missing"), u"v", 5, u"x"))
      << "the key is opened first";
}

TEST_F(RegistryValuesTest, ConversionErrorsReachTheCallerAndWriteNothing) {
  EXPECT_RAISES(13, registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", kRegDword, u"abc"));
  EXPECT_RAISES(6, registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", kRegDword, 3e9));
  EXPECT_RAISES(
      94, registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", kRegSz, Variant::Null()));
  EXPECT_RAISES(
      94, registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", kRegMultiSz, Variant::Null()));
  EXPECT_EQ(ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "v").result, 2);
}

TEST_F(RegistryValuesTest, TextTheCodePageCannotHoldIsRefused) {
  const std::u16string outside = u"\u0100";
  for (std::int32_t type : {kRegSz, kRegExpandSz, kRegBinary, kRegMultiSz}) {
    EXPECT_RAISES(kInvalidParameter,
                  registry_.SetValue(scratch_.Root(), scratch_.Path(), u"v", type, outside));
  }
  EXPECT_RAISES(kInvalidParameter,
                registry_.SetValue(scratch_.Root(), scratch_.Path(), outside, kRegSz, u"x"));
  EXPECT_RAISES(kInvalidParameter, registry_.SetValue(scratch_.Root(), scratch_.Path(),
                                                      std::u16string(u"v\0w", 3), kRegSz, u"x"));
  EXPECT_RAISES(kInvalidParameter,
                registry_.QueryValue(scratch_.Root(), scratch_.Path(), std::u16string(u"v\0w", 3)));
  EXPECT_EQ(ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "v").result, 2);
  EXPECT_EQ(ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "?").result, 2);
}

TEST_F(RegistryValuesTest, EmptyBranchAddressesTheRootKeyItself) {
  const std::u16string name = u"QuorvaneTestValue" + scratch_.Path().substr(22);
  registry_.SetValue(kHkeyCurrentUser, u"", name, kRegSz, u"here");
  EXPECT_EQ(registry_.QueryValue(kHkeyCurrentUser, u"", name), Variant(u"here"));
  registry_.DeleteValue(kHkeyCurrentUser, u"", name);
  EXPECT_RAISES(kKeyInvalid, registry_.QueryValue(kHkeyCurrentUser, u"", name));
}

}  // namespace
}  // namespace quorvane
