// What the platform conformance tests share: an open scratch key for each
// test, sentinels that show what a call wrote, and keys in either view.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <quorvane/platform/platform.h>
#include "tests/support/test_support.h"

namespace quorvane::platform {

inline constexpr DWORD kSentinelType = 0xDEADBEEF;
inline constexpr char kFill = static_cast<char>(0xBD);

// An open key below the test's scratch key, closed at the end of the test.
class KeyFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegOpenKeyExA(scratch_.Root(), scratch_.AnsiPath().c_str(), 0, kKeyAllAccess, &key_),
              kErrorSuccess);
  }
  void TearDown() override { RegCloseKey(key_); }

  HKEY Create(const char* path) {
    HKEY created = 0;
    EXPECT_EQ(RegCreateKeyA(key_, path, &created), kErrorSuccess) << "creating " << path;
    if (created != key_) RegCloseKey(created);
    return created;
  }
  HKEY Open(const char* path, REGSAM sam) {
    HKEY opened = 0;
    EXPECT_EQ(RegOpenKeyExA(key_, path, 0, sam, &opened), kErrorSuccess) << "opening " << path;
    return opened;
  }
  LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
  }

  testing_support::ScratchKey scratch_;
  HKEY key_ = 0;
};

using RegistryKeysConformance = KeyFixture;
using RegistryValuesConformance = KeyFixture;
using RegistryEnumConformance = KeyFixture;

// Whether `path` below `root` can be opened (in the view `view` chooses, else
// the process's own); closes what it opened.
inline bool KeyExists(HKEY root, const char* path, REGSAM view = 0) {
  HKEY opened = 0;
  const LONG status = RegOpenKeyExA(root, path, 0, kKeyRead | view, &opened);
  if (status == kErrorSuccess) RegCloseKey(opened);
  return status == kErrorSuccess;
}

inline constexpr REGSAM kWow64_64Key = platform::kKeyWow64_64Key;
inline constexpr REGSAM kWow64_32Key = platform::kKeyWow64_32Key;

// Creates `path` below `root` in the 32-bit view (asking for `more` as well)
// and closes it.
inline LONG CreateInThirtyTwoBitView(HKEY root, const char16_t* path, REGSAM more = 0) {
  HKEY created = 0;
  const LONG status = RegCreateKeyExW(
      root, path, 0, nullptr, 0, kKeyAllAccess | kWow64_32Key | more, nullptr, &created, nullptr);
  if (status == kErrorSuccess) RegCloseKey(created);
  return status;
}

}  // namespace quorvane::platform
