#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <quorvane/fileworks/fileworks.h>
#include <quorvane/platform/platform.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::ScratchDirectory;

bool IsDirectory(const std::u16string& path) {
  const platform::DWORD attributes = platform::GetFileAttributesW(path.c_str());
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) != 0;
}

bool ExistsAtAll(const std::u16string& path) {
  return platform::GetFileAttributesW(path.c_str()) != platform::kInvalidFileAttributes;
}

class FileSystemTest : public ::testing::Test {
 protected:
  std::u16string Name(const std::u16string& relative) const {
    return directory_.Path() + u"\\" + relative;
  }
  ScratchDirectory directory_;
  FileWorks files_;
};

TEST_F(FileSystemTest, ExistsCountsOrdinaryFilesOnly) {
  directory_.WriteFile(u"plain.txt");
  directory_.WriteFile(u".hidden");
  ASSERT_TRUE(platform::CreateDirectoryW(Name(u"dir").c_str()));
  EXPECT_TRUE(files_.Exists(Name(u"plain.txt")));
  EXPECT_TRUE(files_.Exists(Name(u"PLAIN.TXT"))) << "names ignore case";
  EXPECT_FALSE(files_.Exists(Name(u"dir"))) << "a directory";
  EXPECT_FALSE(files_.Exists(Name(u".hidden"))) << "a hidden file";
  EXPECT_TRUE(files_.Exists(Name(u"*.txt")));
  EXPECT_FALSE(files_.Exists(Name(u"*.none")));
  EXPECT_FALSE(files_.Exists(Name(u"missing")));
  EXPECT_FALSE(files_.Exists(Name(u"missing\\x")));
  EXPECT_FALSE(files_.Exists(Name(u"d*")));
  const std::u16string name = Name(u"plain.txt");
  (void)files_.Exists(name);
  EXPECT_EQ(name, Name(u"plain.txt"));
}

std::u16string Upper(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit -= 0x20;
  }
  return text;
}

TEST_F(FileSystemTest, EveryComponentIsFoundWithoutRegardToCase) {
  ASSERT_TRUE(platform::CreateDirectoryW(Name(u"Sub").c_str()));
  ASSERT_TRUE(platform::CreateDirectoryW(Name(u"Sub\\Inner").c_str()));
  directory_.WriteFile(u"Sub\\Inner\\File.txt");
  // The scratch folder's own path in upper case too: every level differs.
  const std::u16string shouted = Upper(directory_.Path()) + u"\\SUB\\iNNER";
  EXPECT_TRUE(files_.Exists(shouted + u"\\FILE.TXT"));
  EXPECT_TRUE(files_.Exists(shouted + u"\\*.TXT"));
  EXPECT_TRUE(IsDirectory(shouted));
  EXPECT_FALSE(IsDirectory(shouted + u"\\file.txt"));
  EXPECT_TRUE(ExistsAtAll(shouted + u"\\file.txt"));

  platform::FindData found;
  const platform::FindHandle find =
      platform::FindFirstFileW((shouted + u"\\file.TXT").c_str(), &found);
  ASSERT_NE(find, platform::kInvalidFindHandle);
  EXPECT_EQ(found.file_name, u"File.txt") << "the name as it is stored";
  platform::FindClose(find);

  EXPECT_FALSE(platform::CreateDirectoryW(Name(u"SUB").c_str()));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
  ASSERT_TRUE(platform::CreateDirectoryW((shouted + u"\\New").c_str()));
  EXPECT_TRUE(IsDirectory(Name(u"Sub\\Inner\\new")));
  EXPECT_TRUE(files_.MakeSureDirExists(shouted + u"\\NEW\\deeper\\more"));
  EXPECT_TRUE(IsDirectory(Name(u"Sub\\Inner\\New\\deeper\\more")));
  EXPECT_FALSE(IsDirectory(shouted + u"\\Missing"));
}

TEST_F(FileSystemTest, MakeSureDirExistsCreatesEveryLevel) {
  EXPECT_TRUE(files_.MakeSureDirExists(Name(u"a\\b\\c")));
  EXPECT_TRUE(IsDirectory(Name(u"a")));
  EXPECT_TRUE(IsDirectory(Name(u"a\\b\\c")));
  EXPECT_TRUE(files_.MakeSureDirExists(Name(u"a\\b\\c"))) << "all there already";
  EXPECT_TRUE(files_.MakeSureDirExists(Name(u"a\\b\\d\\"))) << "a trailing separator";
  EXPECT_TRUE(IsDirectory(Name(u"a\\b\\d")));
}

TEST_F(FileSystemTest, MakeSureDirExistsStopsAtAFile) {
  directory_.WriteFile(u"file");
  EXPECT_FALSE(files_.MakeSureDirExists(Name(u"file\\deeper\\deepest")));
  EXPECT_FALSE(ExistsAtAll(Name(u"file\\deeper")));
}

TEST_F(FileSystemTest, MakeSureDirExistsLeavesRootsAlone) {
  for (const std::u16string root : {u"", u"Q:", u"Q:\\", u"\\\\qv-no-such-host\\share",
                                    u"\\\\qv-no-such-host", u"\\\\qv-no-such-host\\"}) {
    EXPECT_TRUE(files_.MakeSureDirExists(root)) << testing_support::Narrow(root);
  }
}

TEST_F(FileSystemTest, MakeSureDirExistsOnlySplitsAtBackslashes) {
  EXPECT_FALSE(files_.MakeSureDirExists(Name(u"fw/one"))) << "fw/one is one level: fw is missing";
  EXPECT_FALSE(ExistsAtAll(Name(u"fw")));
  ASSERT_TRUE(files_.MakeSureDirExists(Name(u"fw")));
  EXPECT_TRUE(files_.MakeSureDirExists(Name(u"fw/one"))) << "made in one step";
  EXPECT_TRUE(IsDirectory(Name(u"fw\\one")));
}

TEST_F(FileSystemTest, MakeSureDirExistsRelativeToTheCurrentDirectory) {
  const std::filesystem::path previous = std::filesystem::current_path();
  directory_.MakeCurrent();
  EXPECT_TRUE(files_.MakeSureDirExists(u"rel\\sub"));
  std::filesystem::current_path(previous);
  EXPECT_TRUE(IsDirectory(Name(u"rel\\sub")));
}

TEST_F(FileSystemTest, MakeSureDirExistsSurvivesARace) {
  const std::u16string deep = Name(u"r1\\r2\\r3\\r4\\r5\\r6");
  std::atomic<int> succeeded{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&] {
      if (FileWorks().MakeSureDirExists(deep)) ++succeeded;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(succeeded.load(), 6);
  EXPECT_TRUE(IsDirectory(deep));
}

TEST_F(FileSystemTest, LongPathsAnswerFalse) {
  EXPECT_FALSE(files_.MakeSureDirExists(u"C:\\" + std::u16string(40000, u'x') + u"\\y"));
}

// Saves and restores the temporary-directory variables around a test.
class TempDirTest : public ::testing::Test {
 protected:
  TempDirTest() : saved_temp_(Read(u"TEMP")), saved_tmp_(Read(u"TMP")) {
    for (const char16_t* name : {u"temp", u"TEMP", u"tmp", u"TMP"}) {
      testing_support::SetEnvironment(name, u"", true);
    }
  }
  ~TempDirTest() override {
    testing_support::SetEnvironment(u"temp", u"", true);
    testing_support::SetEnvironment(u"tmp", u"", true);
    testing_support::SetEnvironment(u"TEMP", saved_temp_, saved_temp_.empty());
    testing_support::SetEnvironment(u"TMP", saved_tmp_, saved_tmp_.empty());
  }
  static std::u16string Read(const char16_t* name) {
    char16_t buffer[1024] = {};
    const platform::DWORD length = platform::GetEnvironmentVariableW(name, buffer, 1024);
    return length < 1024 ? std::u16string(buffer, length) : std::u16string();
  }

  std::u16string saved_temp_;
  std::u16string saved_tmp_;
  FileWorks files_;
};

TEST_F(TempDirTest, TempWinsOverTmpAndComesBackExactly) {
  testing_support::SetEnvironment(u"temp", u"C:\\Temp Dir\\");
  testing_support::SetEnvironment(u"tmp", u"C:\\Tmp");
  EXPECT_EQ(files_.GetTempDir(), u"C:\\Temp Dir\\");
  testing_support::SetEnvironment(u"temp", u"", true);
  EXPECT_EQ(files_.GetTempDir(), u"C:\\Tmp");
  testing_support::SetEnvironment(u"tmp", u"", true);
  EXPECT_EQ(files_.GetTempDir(), u"");
}

TEST_F(TempDirTest, AnEmptyTempFallsBackToTmp) {
  testing_support::SetEnvironment(u"temp", u"");
  testing_support::SetEnvironment(u"tmp", u"X:\\t");
  EXPECT_EQ(files_.GetTempDir(), u"X:\\t");
}

// A Windows machine always has its Windows, system and temporary folders; the
// emulated one gives them a C: drive of its own.
TEST(SystemDirectoriesTest, TheDefaultFoldersExist) {
  FileWorks files;
  EXPECT_EQ(Upper(files.GetWinDir()), u"C:\\WINDOWS");
  EXPECT_EQ(Upper(files.GetWinSysDir()), u"C:\\WINDOWS\\SYSTEM32");
  EXPECT_TRUE(IsDirectory(files.GetWinDir()));
  EXPECT_TRUE(IsDirectory(files.GetWinSysDir()));
  const std::u16string temp = files.GetTempDir();
  if (Upper(temp).rfind(u"C:\\USERS\\", 0) != 0) {
    GTEST_SKIP() << "the host chose its own TEMP: " << testing_support::Narrow(temp);
  }
  EXPECT_EQ(Upper(temp.substr(temp.size() - 5)), u"\\TEMP");
  EXPECT_TRUE(IsDirectory(temp));
  char16_t tmp[1024] = {};
  EXPECT_EQ(platform::GetEnvironmentVariableW(u"TMP", tmp, 1024), temp.size());
  EXPECT_EQ(std::u16string(tmp), temp);
}

TEST(SystemDirectoriesTest, AsThePlatformReportsThem) {
  FileWorks files;
  for (const std::u16string& directory : {files.GetWinDir(), files.GetWinSysDir()}) {
    if (directory.empty()) continue;  // no such directory on this host
    EXPECT_TRUE(directory.size() == 3 || directory.back() != u'\\')
        << testing_support::Narrow(directory);
  }
}

}  // namespace
}  // namespace quorvane
