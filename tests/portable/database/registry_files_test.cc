// Registry files this version did not write: another program's files and
// damaged ones are refused untouched, older registries are brought up to
// date in place, and a registry with no place to live fails every call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/portable/database/database_test_fixture.h"
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::HKEY;
using platform::portable::SqliteStore;
using platform::portable::TestControls;
using testing_support::RawSql;
using testing_support::ReadFile;

using RegistryFilesTest = testing_support::DatabaseTest;

struct RefusedFile {
  const char* name;
  void (*make)(const std::string& path);
  std::int32_t code;
};

const RefusedFile kRefusedFiles[] = {
    {"damaged", [](const std::string& path) { std::ofstream(path) << std::string(8192, 'x'); },
     1009},
    {"directory", [](const std::string& path) { std::filesystem::create_directories(path); }, 1011},
    {"missing folder", [](const std::string& path) { std::filesystem::remove_all(path + ".d"); },
     1011},
    {"another program's database",
     [](const std::string& path) {
       RawSql(path, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')");
     },
     1011},
    {"another program's marked database",
     [](const std::string& path) { RawSql(path, "PRAGMA application_id=1234"); }, 1011},
    {"a newer registry",
     [](const std::string& path) {
       RawSql(path, "PRAGMA application_id=" + std::to_string(SqliteStore::kApplicationId) +
                        "; PRAGMA user_version=99; CREATE TABLE future(x)");
     },
     1011},
};

TEST_F(RegistryFilesTest, FilesThatAreNotOurRegistryAreRefusedUntouched) {
  for (const RefusedFile& refused : kRefusedFiles) {
    SCOPED_TRACE(refused.name);
    std::string path = (directory_ / refused.name).string();
    refused.make(path);
    if (std::string(refused.name) == "missing folder") path += ".d/registry.db";
    const std::string before = ReadFile(path);
    TestControls::UseRegistryStore(std::make_unique<SqliteStore>(path));
    Registry registry;
    EXPECT_RAISES(Registry::RegistryErrorBase + refused.code,
                  registry.CreateKey(kHkeyCurrentUser, u"Software\\X"));
    EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"A", u"B", u"C", u"default"),
              Variant(u"default"));
    EXPECT_NE(platform::RegistryStoreDiagnosis().find(path), std::string::npos);
    TestControls::ResetRegistry();
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  }
}

TEST_F(RegistryFilesTest, ARegistryWrittenBeforeTheMarkingIsAdopted) {
  RawSql(database_,
         "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
         " name BLOB NOT NULL, folded BLOB NOT NULL, granted INTEGER NOT NULL,"
         " UNIQUE(parent, folded));"
         "CREATE TABLE roots(machine BLOB NOT NULL, hkey INTEGER NOT NULL, id INTEGER NOT NULL,"
         " PRIMARY KEY(machine, hkey));"
         "CREATE TABLE value_data(key INTEGER NOT NULL, folded BLOB NOT NULL, name BLOB NOT NULL,"
         " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded));");
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvOld");
  Registry().SetValue(kHkeyCurrentUser, u"Software\\QvOld", u"V", kRegSz, u"kept");
  TestControls::ResetRegistry();
  EXPECT_EQ(RawSql(database_, "PRAGMA application_id"),
            std::to_string(SqliteStore::kApplicationId));
  EXPECT_EQ(RawSql(database_, "PRAGMA user_version"), std::to_string(SqliteStore::kSchemaVersion));
  EXPECT_EQ(RawSql(database_, "PRAGMA journal_mode"), "wal");
}

TEST_F(RegistryFilesTest, AVersionOneRegistryGetsItsStringsInUtf16) {
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvOld");
  Registry().SetValue(kHkeyCurrentUser, u"Software\\QvOld", u"Text", kRegSz, u"\u00E9t\u00E9");
  Registry().SetValue(kHkeyCurrentUser, u"Software\\QvOld", u"Number", kRegDword, std::int32_t{7});
  TestControls::ResetRegistry();
  // As version 1 kept it: the ANSI bytes as given.
  RawSql(database_,
         "UPDATE value_data SET data = x'E974E900' WHERE type = 1;"
         "PRAGMA user_version = 1");
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  EXPECT_EQ(Registry().QueryValue(kHkeyCurrentUser, u"Software\\QvOld", u"Text"),
            Variant(u"\u00E9t\u00E9"));
  EXPECT_EQ(Registry().QueryValue(kHkeyCurrentUser, u"Software\\QvOld", u"Number"),
            Variant(std::int32_t{7}));
  TestControls::ResetRegistry();
  EXPECT_EQ(RawSql(database_, "SELECT hex(data) FROM value_data WHERE type = 1"),
            "E9007400E9000000");
  EXPECT_EQ(RawSql(database_, "PRAGMA user_version"), std::to_string(SqliteStore::kSchemaVersion));
}

// A version-two registry folded names of a few scripts only: keys and values
// that Windows holds for one could be two. On first open they become one, in
// one transaction: the older key keeps its name and values and takes the
// younger's values and subkeys; of two values of one key, the older stays.
TEST_F(RegistryFilesTest, AVersionTwoRegistryGetsItsNamesFoldedAgain) {
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  Registry registry;
  for (const char16_t* key :
       {u"Software\\QvFold\\A", u"Software\\QvFold\\B\\Sub", u"Software\\QvFold\\C"}) {
    registry.CreateKey(kHkeyCurrentUser, key);
  }
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\A", u"v", kRegSz, u"older");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\A", u"OnlyA", kRegSz, u"a");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\B", u"v", kRegSz, u"younger");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\B", u"OnlyB", kRegSz, u"b");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\C", u"x", kRegSz, u"first");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFold\\C", u"y", kRegSz, u"second");
  TestControls::ResetRegistry();
  // As version 2 kept them: A and B named "ǆ" and "Ǆ", which it folded apart,
  // and C's values named "ａ" and "Ａ".
  RawSql(database_,
         "UPDATE keys SET name = x'01C6', folded = x'01C6' WHERE folded = x'0041';"
         "UPDATE keys SET name = x'01C4', folded = x'01C4' WHERE folded = x'0042';"
         "UPDATE value_data SET name = x'FF41', folded = x'FF41' WHERE folded = x'0058';"
         "UPDATE value_data SET name = x'FF21', folded = x'FF21' WHERE folded = x'0059';"
         "PRAGMA user_version = 2");
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  // Names no ANSI code page holds: through the wide calls.
  const auto read = [](const char16_t* path, const char16_t* name) {
    HKEY key = 0;
    if (platform::RegOpenKeyExW(kHkeyCurrentUser, path, 0, platform::kKeyRead, &key) != 0) {
      return std::u16string(u"(no key)");
    }
    char16_t data[32] = {};
    platform::DWORD size = sizeof data;
    const platform::LONG result = platform::RegQueryValueExW(
        key, name, nullptr, nullptr, reinterpret_cast<platform::BYTE*>(data), &size);
    platform::RegCloseKey(key);
    return result == 0 ? std::u16string(data) : std::u16string(u"(no value)");
  };
  const char16_t* merged = u"Software\\QvFold\\\u01C4";
  EXPECT_EQ(registry.GetBranchNames(kHkeyCurrentUser, u"Software\\QvFold").Count(), 2)
      << "one key of the two, and C";
  EXPECT_EQ(read(merged, u"v"), u"older");
  EXPECT_EQ(read(merged, u"OnlyA"), u"a");
  EXPECT_EQ(read(merged, u"OnlyB"), u"b");
  EXPECT_EQ(read(u"Software\\QvFold\\\u01C6\\Sub", nullptr), u"(no value)") << "B's subkey";
  EXPECT_EQ(read(u"Software\\QvFold\\C", u"\uFF21"), u"first");
  TestControls::ResetRegistry();
  EXPECT_EQ(RawSql(database_, "SELECT hex(name) FROM keys WHERE folded = x'01C4'"), "01C6");
  EXPECT_EQ(RawSql(database_, "SELECT count(*) FROM value_data WHERE folded = x'FF21'"), "1");
  EXPECT_EQ(RawSql(database_, "PRAGMA user_version"), std::to_string(SqliteStore::kSchemaVersion));
  EXPECT_EQ(RawSql(database_, "PRAGMA integrity_check"), "ok");
}

TEST_F(RegistryFilesTest, ACycleInTheKeyTableIsReportedNotFollowed) {
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvLoop\\A");
  TestControls::ResetRegistry();
  // HKCU's root made a child of its own descendant A.
  RawSql(database_,
         "UPDATE keys SET parent = (SELECT max(id) FROM keys) WHERE id ="
         " (SELECT id FROM roots WHERE machine = x'' AND hkey = " +
             std::to_string(platform::kHkeyCurrentUser) + ")");
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  // Walking down the tree as a tree copier does comes back to A for ever,
  // unless the damage is noticed.
  std::string path = "Software\\QvLoop\\A";
  platform::LONG result = 0;
  for (int depth = 0; depth < 50 && result == 0; ++depth) {
    HKEY key = 0;
    result = platform::RegOpenKeyExA(platform::kHkeyCurrentUser, path.c_str(), 0,
                                     platform::kKeyRead, &key);
    if (result != 0) break;
    char name[300] = {};
    result = platform::RegEnumKeyA(key, 0, name, sizeof name);
    platform::RegCloseKey(key);
    path += std::string("\\") + name;
  }
  EXPECT_EQ(result, platform::kErrorBadDbDatabase);
  EXPECT_NE(platform::RegistryStoreDiagnosis().find("damaged"), std::string::npos);
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST(UnplacedRegistryTest, WithNoPlaceEveryCallFailsAndSaysHowToChooseOne) {
  TestControls::UseRegistryStore(SqliteStore::Unusable(platform::kErrorCantOpen, "no place"));
  EXPECT_RAISES(Registry::RegistryErrorBase + 1011,
                Registry().SetValue(kHkeyCurrentUser, u"Software\\X", u"V", kRegSz, u"x"));
  EXPECT_EQ(platform::RegistryStoreDiagnosis(), "no place");
  TestControls::ResetRegistry();
}

}  // namespace
}  // namespace quorvane
