// What the tests of the read image share: a registry on a database file of
// its own, processes with connections of their own, and small helpers.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/portable/database/database_test_fixture.h"

namespace quorvane::testing_support {

class ReadImageTest : public DatabaseTest {
 protected:
  // Runs `work` in a child process with a connection of its own.
  template <typename Work>
  pid_t Spawn(Work work) const {
    const pid_t child = ::fork();
    if (child == 0) {
      UseDatabase();
      int status = 0;
      try {
        status = work() ? 0 : 1;
      } catch (...) {
        status = 2;
      }
      platform::portable::TestControls::ResetRegistry();
      ::_exit(status);
    }
    return child;
  }
};

inline platform::HKEY Create(platform::HKEY parent, const std::string& path) {
  platform::HKEY key = 0;
  EXPECT_EQ(platform::RegCreateKeyA(parent, path.c_str(), &key), 0) << path;
  return key;
}

inline platform::DWORD ReadNumber(platform::HKEY key, const char* name) {
  platform::DWORD data = 0;
  platform::DWORD size = sizeof data;
  EXPECT_EQ(platform::RegQueryValueExA(key, name, nullptr, nullptr,
                                       reinterpret_cast<unsigned char*>(&data), &size),
            0)
      << name;
  return data;
}

}  // namespace quorvane::testing_support
