// qv's import reads the file it checked: one descriptor for both passes, and
// nothing applied of a file that changed under it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {
namespace {

using platform::portable::TestControls;

class ImportTest : public ::testing::Test {
 protected:
  // On a database, where an import is one transaction.
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("qv-import-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    TestControls::UseRegistryStore(
        std::make_unique<platform::portable::SqliteStore>((directory_ / "registry.db").string()));
  }
  void TearDown() override {
    TestControls::ResetRegistry();
    std::filesystem::remove_all(directory_);
  }

  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = (directory_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static bool Exists(const char* path) {
    platform::HKEY key = 0;
    if (platform::RegOpenKeyExA(kHkeyLocalMachine, path, 0, platform::kKeyRead, &key) != 0) {
      return false;
    }
    platform::RegCloseKey(key);
    return true;
  }

  std::filesystem::path directory_;
};

constexpr const char* kChecked =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QvChecked]\r\n\"v\"=\"1\"\r\n";
constexpr const char* kUnchecked =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\NeverChecked\\evil]\r\n\"v\"=\"1\"\r\n";

TEST_F(ImportTest, AFileSwappedBetweenThePassesIsNotWhatIsApplied) {
  const std::string path = Write("import.reg", kChecked);
  const std::string swapped = Write("swapped.reg", kUnchecked);
  const RegFile::ImportResult result =
      RegFile::Import(path, u"", 0, false, [&] { std::filesystem::rename(swapped, path); });
  EXPECT_EQ(result.values, 1);
  EXPECT_TRUE(Exists("Software\\QvChecked"));
  EXPECT_FALSE(Exists("Software\\NeverChecked\\evil")) << "a file that was never checked applied";
}

TEST_F(ImportTest, AFileWrittenToBetweenThePassesAppliesNothing) {
  struct Row {
    const char* name;
    std::string appended;  // to the file, in place, after the check
  };
  const Row rows[] = {
      {"a bad line", "\"bad\"=dword:123456789\r\n"},
      {"a good line", "[HKEY_LOCAL_MACHINE\\Software\\NeverChecked\\evil]\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = Write("import.reg", kChecked);
    EXPECT_THROW(RegFile::Import(path, u"", 0, false,
                                 [&] {
                                   std::ofstream(path, std::ios::binary | std::ios::app)
                                       << row.appended;
                                 }),
                 ToolFailure);
    EXPECT_FALSE(Exists("Software\\QvChecked")) << "applied in part";
    EXPECT_FALSE(Exists("Software\\NeverChecked\\evil"));
  }
}

}  // namespace
}  // namespace quorvane::qv
