#include <quorvane/settings/self_register_classes.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

// Each test saves under an application name of its own and removes it after.
class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest()
      : app_(u"QvTest" + testing_support::Widen(std::to_string(
                             std::chrono::steady_clock::now().time_since_epoch().count()))) {}
  ~SettingsTest() override {
    testing_support::DeleteTree(kHkeyLocalMachine, "Software\\Quorvane\\" + Narrow(app_));
  }

  std::u16string app_;
  SelfRegisterClasses settings_;
};

TEST_F(SettingsTest, SavedSettingReadsBack) {
  settings_.QvSaveSetting(app_, u"Window", u"Left", u"120");
  EXPECT_EQ(settings_.QvGetSetting(app_, u"Window", u"Left", u"0"), Variant(u"120"));
}

TEST_F(SettingsTest, AddressIsBelowSoftwareQuorvane) {
  settings_.QvSaveSetting(app_, u"Beta", u"Gamma", u"value");
  const testing_support::RawValue raw = testing_support::ReadRaw(
      kHkeyLocalMachine, "Software\\Quorvane\\" + Narrow(app_) + "\\Beta", "Gamma");
  ASSERT_EQ(raw.result, 0);
  EXPECT_EQ(raw.type, platform::kRegSz);
  EXPECT_EQ(raw.bytes, std::string("value\0", 6));
}

TEST_F(SettingsTest, MissingSettingGivesTheDefaultOrTheMissingMarker) {
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"Never", u"fallback"), Variant(u"fallback"));
  EXPECT_TRUE(settings_.QvGetSetting(app_, u"S", u"Never").IsMissing());
  EXPECT_TRUE(settings_.QvGetSetting(app_, u"S", u"Never", Variant::Null()).IsNull());
}

TEST_F(SettingsTest, EmptyTextGivesTheDefault) {
  settings_.QvSaveSetting(app_, u"S", u"Empty", u"");
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"Empty", u"fallback"), Variant(u"fallback"));
}

TEST_F(SettingsTest, NumbersAreStoredAndReadAsText) {
  settings_.QvSaveSetting(app_, u"S", u"Count", std::int32_t{0});
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"Count", u"fallback"), Variant(u"0"));
  settings_.QvSaveSetting(app_, u"S", u"Ratio", 0.5);
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"Ratio"), Variant(u"0.5"));
}

TEST_F(SettingsTest, SavingTwiceKeepsTheSecond) {
  settings_.QvSaveSetting(app_, u"S", u"K", u"first");
  settings_.QvSaveSetting(app_, u"S", u"K", u"second");
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"K"), Variant(u"second"));
}

TEST_F(SettingsTest, NullSettingFailsAfterTheKeysWereCreated) {
  EXPECT_RAISES(94, settings_.QvSaveSetting(app_, u"S", u"K", Variant::Null()));
  EXPECT_EQ(Registry().GetBranchNames(kHkeyLocalMachine, u"Software\\Quorvane\\" + app_).Count(),
            1);
}

TEST_F(SettingsTest, UnreadableValueGivesTheDefault) {
  settings_.QvSaveSetting(app_, u"S", u"K", u"x");
  ASSERT_EQ(testing_support::WriteRaw(
                kHkeyLocalMachine, "Software\\Quorvane\\" + Narrow(app_) + "\\S", "K", 5, "abcd"),
            0);
  EXPECT_EQ(settings_.QvGetSetting(app_, u"S", u"K", u"fallback"), Variant(u"fallback"));
}

}  // namespace
}  // namespace quorvane
