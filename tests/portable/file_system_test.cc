// The portable backend's file system: drive table, names and directories.
#include <gtest/gtest.h>

#include <filesystem>

#include <quorvane/fileworks/fileworks.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::portable::TestControls;

class DriveTableTest : public ::testing::Test {
 protected:
  void SetUp() override { TestControls::SetDrive(u'C', directory_.HostName()); }
  void TearDown() override { TestControls::SetDrive(u'C', ""); }

  testing_support::ScratchDirectory directory_;
  FileWorks files_;
};

TEST_F(DriveTableTest, DriveLettersMapToHostDirectories) {
  EXPECT_TRUE(files_.MakeSureDirExists(u"c:\\Program Files\\Vendor"));
  EXPECT_TRUE(std::filesystem::is_directory(directory_.HostName() + "/Program Files/Vendor"));
  directory_.WriteFile(u"Program Files\\Vendor\\app.ini");
  EXPECT_TRUE(files_.Exists(u"C:\\PROGRAM FILES\\vendor\\*.INI") == false ||
              files_.Exists(u"C:\\Program Files\\Vendor\\*.INI"));
  EXPECT_TRUE(files_.Exists(u"C:/Program Files/Vendor/app.ini")) << "forward slashes reach it";
  EXPECT_FALSE(files_.Exists(u"Q:\\app.ini")) << "an unmapped drive is a missing path";
}

TEST_F(DriveTableTest, RejectedNamesRaiseTheFileErrors) {
  EXPECT_RAISES(52, files_.Exists(u"C:\\a<b"));
  EXPECT_RAISES(52, files_.Exists(u"C:\\a|b"));
  EXPECT_RAISES(68, files_.Exists(u"\\\\qv-no-such-host\\share\\x"));
  EXPECT_FALSE(files_.MakeSureDirExists(u"C:\\a<b\\c"));
}

TEST(SystemDirectoryTest, ConfiguredDirectoriesAndTheBufferProtocol) {
  FileWorks files;
  TestControls::SetWindowsDirectory(u"C:\\WINDOWS");
  TestControls::SetSystemDirectory(u"C:\\WINDOWS\\System32");
  EXPECT_EQ(files.GetWinDir(), u"C:\\WINDOWS");
  EXPECT_EQ(files.GetWinSysDir(), u"C:\\WINDOWS\\System32");
  TestControls::SetWindowsDirectory(u"D:\\");
  EXPECT_EQ(files.GetWinDir(), u"D:\\") << "the root of a drive keeps its separator";
  TestControls::SetWindowsDirectory(u"");
  TestControls::SetSystemDirectory(u"");
  EXPECT_EQ(files.GetWinDir(), u"");
  EXPECT_EQ(files.GetWinSysDir(), u"");
}

TEST(PortableEnvironmentTest, NamesIgnoreCase) {
  testing_support::SetEnvironment(u"TEMP", u"", true);
  testing_support::SetEnvironment(u"temp", u"", true);
  testing_support::SetEnvironment(u"Temp", u"/var/tmp/");
  EXPECT_EQ(FileWorks().GetTempDir(), u"/var/tmp/");
  testing_support::SetEnvironment(u"Temp", u"", true);
}

}  // namespace
}  // namespace quorvane
