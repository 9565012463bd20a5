// Conformance of the platform layer: the calls the library makes, with the
// result codes Windows gives. Under Wine these prove each expectation against
// Win32; natively they hold the portable backend to the same answers. Where
// Wine is known to differ from documented Windows, both answers are accepted
// and the case says why.
//
// This file: the rights a handle grants, and the predefined keys as views (32-bit
// redirection, the HKCR merge, HKCU and HKCC).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tests/conformance/conformance_support.h"
#include "tests/support/test_support.h"

namespace quorvane::platform {
namespace {

TEST_F(RegistryKeysConformance, EachCallChecksTheRightItNeeds) {
  Create("Kid");
  ASSERT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess);
  const HKEY query_only = Open("", kKeyQueryValue);
  char name[64];
  EXPECT_EQ(RegEnumKeyA(query_only, 0, name, sizeof name), kErrorAccessDenied);
  EXPECT_EQ(Set(query_only, "w", kRegSz, std::string("y\0", 2)), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteValueA(query_only, "v"), kErrorAccessDenied);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(query_only, "v", nullptr, nullptr, nullptr, &size), kErrorSuccess);
  RegCloseKey(query_only);

  // Access is checked before the value is looked up.
  const HKEY enumerate_only = Open("", kKeyEnumerateSubKeys);
  EXPECT_EQ(RegQueryValueExA(enumerate_only, "missing", nullptr, nullptr, nullptr, &size),
            kErrorAccessDenied);
  EXPECT_EQ(RegEnumKeyA(enumerate_only, 0, name, sizeof name), kErrorSuccess);
  RegCloseKey(enumerate_only);
}

// The rights a create asks for are the rights its handle holds: none at all
// when it asks for none (RegCreateKeyA asks for all the key grants).
TEST_F(RegistryKeysConformance, ACreateThatAsksForNoRightsHoldsNone) {
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyExW(key_, u"rights", 0, nullptr, 0, 0, nullptr, &created, nullptr),
            kErrorSuccess);
  EXPECT_EQ(Set(created, "v", kRegSz, std::string("x\0", 2)), kErrorAccessDenied);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(created, "v", nullptr, nullptr, nullptr, &size), kErrorAccessDenied);
  char name[16];
  EXPECT_EQ(RegEnumKeyA(created, 0, name, sizeof name), kErrorAccessDenied);
  RegCloseKey(created);
  HKEY plain = 0;
  ASSERT_EQ(RegCreateKeyA(key_, "rights", &plain), kErrorSuccess);
  EXPECT_EQ(Set(plain, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess);
  RegCloseKey(plain);
}

TEST_F(RegistryKeysConformance, GenericRightsAreMappedWhenAKeyIsOpened) {
  ASSERT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess);
  struct Row {
    REGSAM sam;
    LONG query, set, enumerate;
  };
  const Row rows[] = {
      {0x80000000u, kErrorSuccess, kErrorAccessDenied, kErrorNoMoreItems},   // GENERIC_READ
      {0x40000000u, kErrorAccessDenied, kErrorSuccess, kErrorAccessDenied},  // GENERIC_WRITE
      {0x10000000u, kErrorSuccess, kErrorSuccess, kErrorNoMoreItems},        // GENERIC_ALL
      {0x02000000u, kErrorSuccess, kErrorSuccess, kErrorNoMoreItems},        // MAXIMUM_ALLOWED
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sam);
    const HKEY opened = Open("", row.sam);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(opened, "v", nullptr, nullptr, nullptr, &size), row.query);
    EXPECT_EQ(Set(opened, "w", kRegSz, std::string("y\0", 2)), row.set);
    char name[64];
    EXPECT_EQ(RegEnumKeyA(opened, 0, name, sizeof name), row.enumerate);
    RegCloseKey(opened);
  }
}

TEST_F(RegistryKeysConformance, CreatingIsCheckedAgainstTheKeyNotTheHandle) {
  const HKEY read_only = Open("", kKeyRead);
  HKEY created = 0;
  EXPECT_EQ(RegCreateKeyA(read_only, "Child", &created), kErrorSuccess);
  RegCloseKey(created);
  RegCloseKey(read_only);
}

TEST_F(RegistryKeysConformance, CreateWithAnEmptyPathGivesANewHandle) {
  HKEY again = 0;
  ASSERT_EQ(RegCreateKeyA(key_, "", &again), kErrorSuccess);
  EXPECT_NE(again, key_);
  EXPECT_EQ(RegCloseKey(again), kErrorSuccess);
  EXPECT_EQ(Set(key_, "v", kRegSz, std::string("x\0", 2)), kErrorSuccess)
      << "the caller's handle still works";
}

TEST_F(RegistryKeysConformance, AccessIsCheckedBeforeTheKeyIsFoundDeleted) {
  Create("Gone");
  const HKEY query_only = Open("Gone", kKeyQueryValue);
  ASSERT_EQ(RegDeleteKeyA(key_, "Gone"), kErrorSuccess);
  EXPECT_EQ(Set(query_only, "x", kRegSz, std::string("a\0", 2)), kErrorAccessDenied);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(query_only, "x", nullptr, nullptr, nullptr, &size), kErrorKeyDeleted);
  RegCloseKey(query_only);
}

// Where a key created in the 32-bit view lands, named in the 64-bit view. On
// Windows 7 and later the classes are shared by both views but for a few
// redirected class keys, and so are some other keys below Software; the
// rest of Software is redirected to Software\Wow6432Node.
TEST(RegistryViewsConformance, TheThirtyTwoBitViewSharesWhatWindowsSharesAndRedirectsTheRest) {
  struct Row {
    HKEY root;
    const char16_t* created;  // in the 32-bit view
    const char* stored;       // below HKLM, in the 64-bit view
    const char* wine;         // where Wine may put it instead (null: as Windows)
  };
  const Row rows[] = {
      {kHkeyClassesRoot, u"QvViewShared", "Software\\Classes\\QvViewShared",
       "Software\\Classes\\Wow6432Node\\QvViewShared"},
      {kHkeyClassesRoot, u"CLSID\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\CLSID\\QvViewRedirected", nullptr},
      {kHkeyClassesRoot, u"Interface\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\Interface\\QvViewRedirected", nullptr},
      {kHkeyLocalMachine, u"Software\\Classes\\QvViewSharedToo",
       "Software\\Classes\\QvViewSharedToo", "Software\\Classes\\Wow6432Node\\QvViewSharedToo"},
      {kHkeyLocalMachine, u"Software\\Classes\\Media Type\\QvViewRedirected",
       "Software\\Classes\\Wow6432Node\\Media Type\\QvViewRedirected", nullptr},
      {kHkeyLocalMachine, u"Software\\Policies\\QvViewPolicy", "Software\\Policies\\QvViewPolicy",
       nullptr},
      {kHkeyLocalMachine, u"Software\\QvViewApplication",
       "Software\\Wow6432Node\\QvViewApplication", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored);
    ASSERT_EQ(CreateInThirtyTwoBitView(row.root, row.created), kErrorSuccess);
    const bool where_windows_keeps_it = KeyExists(kHkeyLocalMachine, row.stored, kWow64_64Key);
    if (testing_support::RunsUnderWine() && row.wine != nullptr && !where_windows_keeps_it) {
      // Wine redirects all classes for KEY_WOW64_32KEY in a 64-bit process.
      EXPECT_TRUE(KeyExists(kHkeyLocalMachine, row.wine, kWow64_64Key));
      EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, row.wine), kErrorSuccess);
      continue;
    }
    EXPECT_TRUE(where_windows_keeps_it);
    EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, row.stored), kErrorSuccess);
  }
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Wow6432Node\\Classes", kWow64_64Key))
      << "the 32-bit classes by their other name";
}

TEST(RegistryViewsConformance, BothViewsAtOnceAreRefused) {
  HKEY opened = 0;
  const LONG status = RegOpenKeyExA(kHkeyLocalMachine, "Software", 0,
                                    kKeyRead | kWow64_32Key | kWow64_64Key, &opened);
  if (testing_support::RunsUnderWine() && status == kErrorSuccess) {
    RegCloseKey(opened);  // Wine takes the 32-bit view
    return;
  }
  EXPECT_EQ(status, kErrorInvalidParameter);
  EXPECT_EQ(CreateInThirtyTwoBitView(kHkeyLocalMachine, u"Software\\QvViewBoth", kWow64_64Key),
            kErrorInvalidParameter);
}

TEST(RegistryViewsConformance, TheThirtyTwoBitViewKeepsSoftwareInWow6432Node) {
  ASSERT_EQ(CreateInThirtyTwoBitView(kHkeyLocalMachine, u"Software\\QvViewTest"), kErrorSuccess);
  HKEY opened = 0;
  EXPECT_EQ(RegOpenKeyExA(kHkeyLocalMachine, "Software\\Wow6432Node\\QvViewTest", 0,
                          kKeyRead | kWow64_64Key, &opened),
            kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(
      RegOpenKeyExA(kHkeyLocalMachine, "Software\\QvViewTest", 0, kKeyRead | kWow64_32Key, &opened),
      kErrorSuccess);
  RegCloseKey(opened);
  EXPECT_EQ(
      RegOpenKeyExA(kHkeyLocalMachine, "Software\\QvViewTest", 0, kKeyRead | kWow64_64Key, &opened),
      kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKeyA(kHkeyLocalMachine, "Software\\Wow6432Node\\QvViewTest"), kErrorSuccess);
}

TEST(RegistryViewsConformance, CurrentUserAndCurrentConfigAreKeysOfTheStoredRoots) {
  struct Alias {
    HKEY view;
    const char* path;
    const char* stored;  // the same key below its stored root
    HKEY stored_root;
  };
  const Alias aliases[] = {
      {kHkeyCurrentUser, "Software\\QvViewAlias", "S-1-5-21-0-0-0-1000\\Software\\QvViewAlias",
       kHkeyUsers},
      {kHkeyCurrentConfig, "QvViewAlias",
       "System\\CurrentControlSet\\Hardware Profiles\\Current\\QvViewAlias", kHkeyLocalMachine},
  };
  for (const Alias& alias : aliases) {
    HKEY created = 0;
    ASSERT_EQ(RegCreateKeyA(alias.view, alias.path, &created), kErrorSuccess) << alias.path;
    ASSERT_EQ(RegSetValueExA(created, "v", 0, kRegSz, reinterpret_cast<const BYTE*>("one"), 4),
              kErrorSuccess);
    RegCloseKey(created);
    HKEY stored = 0;
    ASSERT_EQ(RegOpenKeyExA(alias.stored_root, alias.stored, 0, kKeyRead, &stored), kErrorSuccess)
        << alias.stored;
    char data[8] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(stored, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              kErrorSuccess);
    EXPECT_STREQ(data, "one");
    RegCloseKey(stored);
    EXPECT_EQ(RegDeleteKeyA(alias.stored_root, alias.stored), kErrorSuccess);
    EXPECT_FALSE(KeyExists(alias.view, alias.path)) << "deleted through the stored root";
  }
}

TEST(RegistryViewsConformance, ClassesRootCreatesNewKeysInTheMachinePart) {
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyA(kHkeyClassesRoot, "QvViewMachineNew", &created), kErrorSuccess);
  RegCloseKey(created);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewMachineNew"));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewMachineNew"));
  EXPECT_EQ(RegDeleteKeyA(kHkeyClassesRoot, "QvViewMachineNew"), kErrorSuccess);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewMachineNew"));
}

TEST(RegistryViewsConformance, ClassesRootLaysTheUsersClassesOverTheMachines) {
  const auto set = [](HKEY root, const char* path, const char* data) {
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyA(root, path, &key), kErrorSuccess) << path;
    ASSERT_EQ(RegSetValueExA(key, "v", 0, kRegSz, reinterpret_cast<const BYTE*>(data),
                             static_cast<DWORD>(std::strlen(data) + 1)),
              kErrorSuccess);
    RegCloseKey(key);
  };
  set(kHkeyCurrentUser, "Software\\Classes\\QvViewBoth", "user");
  set(kHkeyLocalMachine, "Software\\Classes\\QvViewBoth", "machine");
  set(kHkeyCurrentUser, "Software\\Classes\\QvViewUserOnly", "user");

  HKEY both = 0;
  ASSERT_EQ(RegOpenKeyExA(kHkeyClassesRoot, "QvViewBoth", 0, kKeyAllAccess, &both), kErrorSuccess);
  char data[16] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(both, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            kErrorSuccess);
  // A new key goes to the machine's part, as Windows documents, even below a
  // key both parts hold; it is found through HKCR all the same.
  HKEY child = 0;
  ASSERT_EQ(RegCreateKeyA(both, "Child", &child), kErrorSuccess);
  RegCloseKey(child);
  RegCloseKey(both);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewBoth\\Child"));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewBoth\\Child"));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "QvViewBoth\\Child"));

  std::vector<std::string> listed;
  char name[256];
  for (DWORD index = 0; RegEnumKeyA(kHkeyClassesRoot, index, name, sizeof name) == kErrorSuccess;
       ++index) {
    if (std::strncmp(name, "QvView", 6) == 0) listed.emplace_back(name);
  }
  if (testing_support::RunsUnderWine()) {
    // Wine's HKEY_CLASSES_ROOT is HKLM\Software\Classes alone; Windows, and the
    // portable backend, merge the user's classes over it.
    EXPECT_STREQ(data, "machine");
    EXPECT_EQ(listed, (std::vector<std::string>{"QvViewBoth"}));
  } else {
    EXPECT_STREQ(data, "user");
    EXPECT_EQ(listed, (std::vector<std::string>{"QvViewBoth", "QvViewUserOnly"}))
        << "the union, each name once";
    EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "QvViewUserOnly"));
    // Below a key of the user's part alone, a new key stays beside it.
    ASSERT_EQ(RegCreateKeyA(kHkeyClassesRoot, "QvViewUserOnly\\Child", &child), kErrorSuccess);
    RegCloseKey(child);
    EXPECT_TRUE(KeyExists(kHkeyCurrentUser, "Software\\Classes\\QvViewUserOnly\\Child"));
    EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\QvViewUserOnly"));
  }
  for (const char* path :
       {"Software\\Classes\\QvViewBoth\\Child", "Software\\Classes\\QvViewBoth",
        "Software\\Classes\\QvViewUserOnly\\Child", "Software\\Classes\\QvViewUserOnly"}) {
    (void)RegDeleteKeyA(kHkeyCurrentUser, path);
    (void)RegDeleteKeyA(kHkeyLocalMachine, path);
  }
}

}  // namespace
}  // namespace quorvane::platform
