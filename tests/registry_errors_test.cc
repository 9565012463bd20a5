#include <gtest/gtest.h>

#include <quorvane/registry/registry.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::CatchError;
using testing_support::Narrow;
using testing_support::ScratchKey;

ErrorObject ErrorFor(std::int32_t result) {
  return CatchError([&] { RegistryTestPeer::CheckRegistryResult(result); });
}

TEST(RegistryErrorsTest, SuccessRaisesNothing) {
  EXPECT_TRUE(RegistryTestPeer::CheckRegistryResult(0));
}

TEST(RegistryErrorsTest, EveryCodeMapsToItsNumberAndDescription) {
  struct Row {
    std::int32_t result;
    std::int32_t number;
    std::u16string description;
  };
  const Row rows[] = {
      {1, -2147210503, u"The registry database is corrupt."},
      {2, -2147210502, u"The registry key is invalid."},
      {3, -2147210501, u"The registry key could not be opened."},
      {4, -2147210500, u"The registry key could not be read."},
      {5, -2147210499, u"The registry key could not be written."},
      {6, -2147210498, u"Out of memory during registry operation."},
      {7, -2147210497, u"Invalid parameter in registry request."},
      {8, -2147210496, u"Access denied to registry key or branch."},
      {9, -2147210495, u"Undefined registry error."},
      {10, -2147210494, u"Undefined registry error."},
      {14, -2147210490, u"Undefined registry error."},
      {87, -2147210417, u"Undefined registry error."},
      {234, -2147210270, u"Undefined registry error."},
      {1009, -2147209495, u"Undefined registry error."},
      {-1, -2147210505, u"Undefined registry error."},
      {-273144, -2147483648, u"Undefined registry error."},
      {2147483647, 273143, u"Undefined registry error."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("result code " + std::to_string(row.result));
    const ErrorObject error = ErrorFor(row.result);
    EXPECT_EQ(error.Number(), row.number);
    EXPECT_EQ(error.Number() - Registry::RegistryErrorBase, row.result) << "code recoverable";
    EXPECT_EQ(error.Source(), u"qvReg.Registry");
    EXPECT_EQ(error.Description(), row.description) << Narrow(error.Description());
  }
}

TEST(RegistryErrorsTest, CodesBelowTheRangeOverflow) {
  const ErrorObject error = ErrorFor(-273145);
  EXPECT_EQ(error.Number(), 6);
  EXPECT_EQ(error.Source(), u"qvSupport");
  EXPECT_EQ(ErrorFor(-2147483647 - 1).Number(), 6);
}

TEST(RegistryErrorsTest, MachinePrefix) {
  struct Row {
    std::u16string name;
    std::u16string prefixed;
  };
  const Row rows[] = {
      {u"server", u"\\\\server"}, {u"\\\\server", u"\\\\server"}, {u"\\server", u"\\\\\\server"},
      {u"a", u"\\\\a"},           {u"//server", u"\\\\//server"}, {u"\\", u"\\\\\\"},
      {u"\\\\", u"\\\\"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RegistryTestPeer::AddMachinePrefix(row.name), row.prefixed) << Narrow(row.name);
  }
}

TEST(RegistryErrorsTest, UnsupportedTypeNamesTheCodeWithItsSign) {
  ScratchKey scratch;
  for (std::uint32_t type : {5u, 11u, 0u, 0x80000000u}) {
    ASSERT_EQ(testing_support::WriteRaw(scratch.Root(), scratch.AnsiPath(), "v", type, "abcd"), 0);
    const ErrorObject error =
        CatchError([&] { (void)Registry().QueryValue(scratch.Root(), scratch.Path(), u"v"); });
    const std::string digits = std::to_string(static_cast<std::int32_t>(type));
    EXPECT_EQ(error.Number(), -2147210494);
    EXPECT_EQ(error.Source(), u"qvRegistry.Registry.QueryValueEx");
    EXPECT_EQ(error.Description(),
              u"Unsupported registry type - " + testing_support::Widen(digits));
    EXPECT_EQ(Registry().QueryType(scratch.Root(), scratch.Path(), u"v"),
              static_cast<std::int32_t>(type));
  }
}

TEST(RegistryErrorsTest, TextThatCannotReachThePlatformIsRefused) {
  ScratchKey scratch;
  Registry registry;
  const std::u16string with_nul(u"A\0B", 3);
  const std::u16string outside_code_page = u"\u0100bc";  // not in Windows-1252
  const std::u16string lone_surrogate = u"a\xD800";
  for (const std::u16string& bad : {with_nul, outside_code_page, lone_surrogate}) {
    SCOPED_TRACE(Narrow(bad));
    const ErrorObject error =
        CatchError([&] { registry.CreateKey(scratch.Root(), scratch.Path() + u"\\" + bad); });
    EXPECT_EQ(error.Number(), -2147210497);
    EXPECT_EQ(error.Source(), u"qvReg.Registry");
    EXPECT_EQ(error.Description(), u"Invalid parameter in registry request.");
    EXPECT_RAISES(-2147210497, registry.DeleteKey(scratch.Root(), bad));
    EXPECT_RAISES(-2147210497, registry.QueryValue(scratch.Root(), scratch.Path(), u"v", bad));
    EXPECT_RAISES(-2147210497, registry.QueryType(scratch.Root(), bad, u"v"));
    EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Path(), bad).Count(), 0);
  }
  EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Path()).Count(), 0)
      << "no look-alike key was created";
}

}  // namespace
}  // namespace quorvane
