// The portable backend's code pages, and the registry's text across them.
#include <gtest/gtest.h>

#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::portable::TestControls;

class Utf8CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { TestControls::SetAnsiCodePage(platform::kCpUtf8); }
  void TearDown() override { TestControls::SetAnsiCodePage(platform::kCp1252); }

  testing_support::ScratchKey scratch_;
  Registry registry_;
};

TEST_F(Utf8CodePageTest, TerminatorsAreCountedOnTheDecodedText) {
  registry_.SetValue(scratch_.Root(), scratch_.Path(), u"sz", kRegSz, u"\u00E9t\u00E9");
  EXPECT_EQ(testing_support::ReadRaw(scratch_.Root(), scratch_.AnsiPath(), "sz").bytes,
            std::string("\xC3\xA9t\xC3\xA9\0", 6));
  EXPECT_EQ(registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"sz"),
            Variant(u"\u00E9t\u00E9"));
  const std::u16string multi(u"\u0100\0\u4E2D\0", 4);
  registry_.SetValue(scratch_.Root(), scratch_.Path(), u"multi", kRegMultiSz, multi);
  EXPECT_EQ(registry_.QueryValue(scratch_.Root(), scratch_.Path(), u"multi"),
            Variant(std::u16string(u"\u0100\0\u4E2D", 3)));
}

TEST_F(Utf8CodePageTest, NamesBeyondLatinOneReachTheRegistry) {
  registry_.CreateKey(scratch_.Root(), scratch_.Below(u"\u4E2D\u6587"));
  const Collection names = registry_.GetBranchNames(scratch_.Root(), scratch_.Path());
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Item(1), Variant(u"\u4E2D\u6587"));
  EXPECT_RAISES(-2147210497, registry_.CreateKey(scratch_.Root(), scratch_.Below(u"a\xD800")))
      << "a lone surrogate has no exact form";
}

TEST(CodePageTest, UnknownCodePagesAreIgnored) {
  TestControls::SetAnsiCodePage(932);
  EXPECT_EQ(platform::GetACP(), platform::kCp1252);
}

}  // namespace
}  // namespace quorvane
