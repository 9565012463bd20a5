// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
//
// This file: the environment, the system directories, and the file system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

using testing_support::ScratchDirectory;

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

}  // namespace
}  // namespace quorvane::platform
