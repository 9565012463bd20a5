// Conformance of the registry views below an open handle: which view a
// relative open takes in each process bitness, and where the 32-bit classes
// lie when they are named below a handle to HKLM\Software.
#include <gtest/gtest.h>

#include <string>

#include <quorvane/platform/platform.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

// HKLM\Software in a view (0: the process's own), closed at the end.
class SoftwareHandle {
 public:
  explicit SoftwareHandle(REGSAM view) {
    EXPECT_EQ(RegOpenKeyExA(kHkeyLocalMachine, "Software", 0, kKeyAllAccess | view, &key_),
              kErrorSuccess);
  }
  ~SoftwareHandle() { RegCloseKey(key_); }
  SoftwareHandle(const SoftwareHandle&) = delete;
  SoftwareHandle& operator=(const SoftwareHandle&) = delete;
  [[nodiscard]] HKEY Get() const { return key_; }

 private:
  HKEY key_ = 0;
};

// The "bits" value of the key `path` below `key`, opened with `view`.
std::string BitsBelow(HKEY key, const char* path, REGSAM view) {
  HKEY opened = 0;
  if (RegOpenKeyExA(key, path, 0, kKeyRead | view, &opened) != kErrorSuccess) return "missing";
  char bits[8] = {};
  DWORD size = sizeof bits - 1;
  const LONG status =
      RegQueryValueExA(opened, "bits", nullptr, nullptr, reinterpret_cast<BYTE*>(bits), &size);
  RegCloseKey(opened);
  return status == kErrorSuccess ? bits : "no value";
}

void MakeWithBits(REGSAM view, const char* bits) {
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyExW(kHkeyLocalMachine, u"Software\\QvBelowHandle", 0, nullptr, 0,
                            kKeyAllAccess | view, nullptr, &created, nullptr),
            kErrorSuccess);
  EXPECT_EQ(RegSetValueExA(created, "bits", 0, kRegSz, reinterpret_cast<const BYTE*>(bits), 3),
            kErrorSuccess);
  RegCloseKey(created);
}

// Below a handle, a 64-bit process stays in the handle's view whatever the
// call asks for; a 32-bit process (WOW64) takes the view a call names, and
// the handle's where it names none.
TEST(ViewsBelowHandlesConformance, ARelativeOpenTakesTheViewAsWow64Does) {
  MakeWithBits(kWow64_64Key, "64");
  MakeWithBits(kWow64_32Key, "32");
  const bool wow64 = testing_support::ProcessIs32Bit();
  const SoftwareHandle software_64(kWow64_64Key);
  const SoftwareHandle software_32(kWow64_32Key);
  const SoftwareHandle software_own(0);
  struct Row {
    const char* what;
    HKEY below;
    REGSAM view;
    const char* bits;
  };
  const Row rows[] = {
      {"64-bit handle", software_64.Get(), 0, "64"},
      {"64-bit handle, 32-bit view asked", software_64.Get(), kWow64_32Key, wow64 ? "32" : "64"},
      {"32-bit handle", software_32.Get(), 0, "32"},
      {"32-bit handle, 64-bit view asked", software_32.Get(), kWow64_64Key, "32"},
      {"the process's own view", software_own.Get(), 0, wow64 ? "32" : "64"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(BitsBelow(row.below, "QvBelowHandle", row.view), row.bits) << row.what;
  }
  EXPECT_EQ(RegDeleteKeyA(software_64.Get(), "QvBelowHandle"), kErrorSuccess);
  EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, "Software\\Wow6432Node\\QvBelowHandle"),
            kErrorSuccess);
}

// A class key of the 32-bit view (CLSID, Interface, ...) named below a 32-bit
// handle to HKLM\Software is the one every other route to the 32-bit classes
// finds, whichever route made it.
TEST(ViewsBelowHandlesConformance, TheThirtyTwoBitClassesBelowASoftwareHandleAreTheSameKeys) {
  const SoftwareHandle software_32(kWow64_32Key);
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyExW(software_32.Get(), u"Classes\\CLSID\\{QvBelowHandle-1}", 0, nullptr, 0,
                            kKeyAllAccess, nullptr, &created, nullptr),
            kErrorSuccess);
  RegCloseKey(created);
  struct Route {
    HKEY root;
    const char* path;
    REGSAM view;
    bool found;
  };
  const Route routes[] = {
      {kHkeyLocalMachine, "Software\\Classes\\CLSID\\{QvBelowHandle-1}", kWow64_32Key, true},
      {kHkeyLocalMachine, "Software\\Classes\\Wow6432Node\\CLSID\\{QvBelowHandle-1}", kWow64_64Key,
       true},
      {kHkeyLocalMachine, "Software\\Wow6432Node\\Classes\\CLSID\\{QvBelowHandle-1}", kWow64_64Key,
       true},
      {kHkeyClassesRoot, "CLSID\\{QvBelowHandle-1}", kWow64_32Key, true},
      {kHkeyClassesRoot, "CLSID\\{QvBelowHandle-1}", kWow64_64Key, false},
      {kHkeyLocalMachine, "Software\\Classes\\CLSID\\{QvBelowHandle-1}", kWow64_64Key, false},
  };
  for (const Route& route : routes) {
    EXPECT_EQ(KeyExists(route.root, route.path, route.view), route.found)
        << route.path << (route.view == kWow64_32Key ? " (32-bit view)" : " (64-bit view)");
  }
  // Made from the root in the 32-bit view, found below the handle.
  ASSERT_EQ(
      CreateInThirtyTwoBitView(kHkeyLocalMachine, u"Software\\Classes\\CLSID\\{QvBelowHandle-2}"),
      kErrorSuccess);
  EXPECT_TRUE(KeyExists(software_32.Get(), "Classes\\CLSID\\{QvBelowHandle-2}"));
  for (const char* name : {"{QvBelowHandle-1}", "{QvBelowHandle-2}"}) {
    EXPECT_EQ(
        RegDeleteKeyA(kHkeyLocalMachine,
                      (std::string("Software\\Classes\\Wow6432Node\\CLSID\\") + name).c_str()),
        kErrorSuccess);
  }
}

// A shared class key (a file extension) named below a 32-bit Software
// handle: a 32-bit process sees that handle as Software itself, so the key
// is the shared one HKEY_CLASSES_ROOT shows; a 64-bit process's handle is
// the key Software\Wow6432Node, whose Classes are the 32-bit classes.
TEST(ViewsBelowHandlesConformance, ASharedClassBelowAThirtyTwoBitSoftwareHandle) {
  const SoftwareHandle software_32(kWow64_32Key);
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyExW(software_32.Get(), u"Classes\\.qvbelowhandle", 0, nullptr, 0,
                            kKeyAllAccess, nullptr, &created, nullptr),
            kErrorSuccess);
  RegCloseKey(created);
  const char* shared = "Software\\Classes\\.qvbelowhandle";
  const char* of_32_bits = "Software\\Classes\\Wow6432Node\\.qvbelowhandle";
  const char* where = testing_support::ProcessIs32Bit() ? shared : of_32_bits;
  const char* elsewhere = testing_support::ProcessIs32Bit() ? of_32_bits : shared;
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, where, kWow64_64Key)) << where;
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, elsewhere, kWow64_64Key)) << elsewhere;
  EXPECT_EQ(RegDeleteKeyW(kHkeyLocalMachine, testing_support::Widen(where).c_str()), kErrorSuccess);
}

}  // namespace
}  // namespace quorvane::platform
