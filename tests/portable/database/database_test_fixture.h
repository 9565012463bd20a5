// A test with a folder of its own and a registry database file in it (not
// opened yet); the registry goes back to memory and the folder is removed
// when the test ends. With it, what such tests read of files beside the
// registry: bytes as they are, and SQLite's own answers.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>

namespace quorvane::testing_support {

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Runs SQL on a database with SQLite itself; returns the first column of the
// last row.
inline std::string RawSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string last;
  sqlite3_exec(
      db, sql.c_str(),
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] == nullptr ? "" : values[0];
        return 0;
      },
      &last, nullptr);
  sqlite3_close(db);
  return last;
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("qv-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    database_ = (directory_ / "registry.db").string();
  }
  void TearDown() override {
    platform::portable::TestControls::ResetRegistry();
    std::filesystem::remove_all(directory_);
  }
  // Puts the registry on the test's database file, as a process opens it.
  platform::portable::SqliteStore* UseDatabase() const {
    auto store = std::make_unique<platform::portable::SqliteStore>(database_);
    platform::portable::SqliteStore* opened = store.get();
    platform::portable::TestControls::UseRegistryStore(std::move(store));
    return opened;
  }
  // A child process's exit status (-1 when it did not exit).
  static int Wait(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path directory_;
  std::string database_;
};

}  // namespace quorvane::testing_support
