// Pointers no Windows process can use (the first 64 KiB): Windows catches the
// fault and answers 998 for any of the registry calls' buffers, names and
// outputs. Wine reads or writes through most of them and dies, so this is
// asked of the portable backend alone (the conformance suite asks both
// backends what Wine answers too, for RegSetValueEx's data).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::kErrorNoAccess;
using platform::kKeyAllAccess;
using platform::kKeyRead;
using platform::LONG;
using platform::RegCloseKey;
using platform::RegCreateKeyA;
using platform::RegDeleteKeyA;
using platform::RegDeleteValueA;
using platform::RegEnumKeyA;
using platform::RegEnumValueA;
using platform::RegEnumValueW;
using platform::RegOpenKeyExA;
using platform::RegQueryValueExA;
using platform::RegQueryValueExW;
using platform::RegSetValueExA;
using platform::RegSetValueExW;

template <typename T>
T* Unreachable() {
  return reinterpret_cast<T*>(std::uintptr_t{0x20});
}

TEST(UnreachablePointersTest, EveryRegistryCallAnswersThemWithNoAccess) {
  testing_support::ScratchKey scratch;
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(scratch.Root(), scratch.AnsiPath().c_str(), 0, kKeyAllAccess, &key), 0);
  ASSERT_EQ(RegSetValueExA(key, "v", 0, platform::kRegSz, reinterpret_cast<const BYTE*>("x"), 2), 0);
  HKEY child = 0;
  ASSERT_EQ(RegCreateKeyA(key, "child", &child), 0);
  RegCloseKey(child);
  char name[64];
  DWORD size = sizeof name;
  DWORD type = 0;
  BYTE data[64];
  DWORD data_size = sizeof data;
  const struct {
    const char* call;
    std::function<platform::LONG()> make;
  } calls[] = {
      {"RegOpenKeyExA name",
       [&] { return RegOpenKeyExA(key, Unreachable<const char>(), 0, kKeyRead, &child); }},
      {"RegOpenKeyExA result",
       [&] { return RegOpenKeyExA(key, "child", 0, kKeyRead, Unreachable<HKEY>()); }},
      {"RegCreateKeyA result", [&] { return RegCreateKeyA(key, "child", Unreachable<HKEY>()); }},
      {"RegDeleteKeyA name", [&] { return RegDeleteKeyA(key, Unreachable<const char>()); }},
      {"RegSetValueExW name",
       [&] { return RegSetValueExW(key, Unreachable<const char16_t>(), 0, platform::kRegSz, data, 2); }},
      {"RegQueryValueExA data",
       [&] { return RegQueryValueExA(key, "v", nullptr, &type, Unreachable<BYTE>(), &data_size); }},
      {"RegQueryValueExA size",
       [&] { return RegQueryValueExA(key, "v", nullptr, &type, nullptr, Unreachable<DWORD>()); }},
      {"RegQueryValueExW type",
       [&] {
         return RegQueryValueExW(key, u"v", nullptr, Unreachable<DWORD>(), nullptr, &data_size);
       }},
      {"RegEnumValueA name",
       [&] {
         return RegEnumValueA(key, 0, Unreachable<char>(), &size, nullptr, &type, data, &data_size);
       }},
      {"RegEnumValueW data",
       [&] {
         char16_t wide[64];
         DWORD wide_size = 64;
         return RegEnumValueW(key, 0, wide, &wide_size, nullptr, &type, Unreachable<BYTE>(),
                              &data_size);
       }},
      {"RegEnumKeyA name", [&] { return RegEnumKeyA(key, 0, Unreachable<char>(), sizeof name); }},
      {"RegDeleteValueA name", [&] { return RegDeleteValueA(key, Unreachable<const char>()); }},
  };
  for (const auto& call : calls) {
    EXPECT_EQ(call.make(), kErrorNoAccess) << call.call;
  }
  size = sizeof name;
  EXPECT_EQ(RegEnumKeyA(key, 0, name, size), 0) << "the key and its value are as they were";
  EXPECT_STREQ(name, "child");
  data_size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, &type, data, &data_size), 0);
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(platform::portable::TestControls::OpenHandleCount(), 0);
}

}  // namespace
}  // namespace quorvane
