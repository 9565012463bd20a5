// The persistent registry under power cuts, competing processes, damaged,
// foreign and full media.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "platform/portable/registry/registry_views.h"
#include "platform/portable/store/sqlite/sqlite_store.h"
#include "platform/portable/test_controls.h"
#include "platform/portable/text/name_folding.h"
#include "registry/registry.h"
#include "settings/self_register_classes.h"
#include "tests/portable/database_test_fixture.h"
#include "tests/portable/power_cut_vfs.h"
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::HKEY;
using platform::portable::KeyId;
using platform::portable::NameFolding;
using platform::portable::RegistryViews;
using platform::portable::SqliteStore;
using platform::portable::StoreFailure;
using platform::portable::TestControls;
using testing_support::PowerCutVfs;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Runs SQL on a database with SQLite itself; returns the first column of the
// last row.
std::string RawSql(const std::string& path, const std::string& sql) {
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

std::string ValueData(int index) {
  return std::string(static_cast<std::size_t>(700 + (index * 37) % 2500),
                     static_cast<char>('a' + index % 26));
}

using DurabilityTest = testing_support::DatabaseTest;

// What a restored database holds of the workload below: the writes V0, V1,
// ... that survived, which must be a prefix of those made; `problem` says
// what is wrong otherwise (a damaged file, a hole, wrong data).
struct Survivors {
  bool key = false;
  int prefix = 0;
  std::string problem;
};
Survivors AfterCut(const std::string& restored, int made) {
  Survivors survivors;
  const std::string integrity = RawSql(restored, "PRAGMA integrity_check");
  if (integrity != "ok") {
    survivors.problem = "integrity check: " + integrity;
    return survivors;
  }
  SqliteStore store(restored);
  try {
    store.Begin(false);
    // HKEY_CURRENT_USER\Software\QvDurable, where the views store it.
    std::optional<KeyId> key = store.Root(u"", platform::kHkeyUsers);
    for (const std::u16string& part : {std::u16string(RegistryViews::kUserSid),
                                       std::u16string(u"Software"), std::u16string(u"QvDurable")}) {
      if (key) key = store.FindSubkey(*key, NameFolding::Fold(part));
    }
    survivors.key = key.has_value();
    bool ended = false;
    for (int i = 0; key && i < made; ++i) {
      const std::string name = "V" + std::to_string(i);
      const auto value = store.GetValue(*key, std::u16string(name.begin(), name.end()));
      if (value != nullptr && (ended || value->data != ValueData(i))) {
        survivors.problem =
            ended ? name + " survived without an earlier write" : name + " holds other data";
        break;
      }
      if (value == nullptr) ended = true;
      if (!ended) survivors.prefix = i + 1;
    }
    store.Rollback();
  } catch (const StoreFailure& failure) {
    survivors.problem = "the restored database fails with " + std::to_string(failure.code);
  }
  return survivors;
}

HKEY DurableKey() {
  HKEY key = 0;
  EXPECT_EQ(platform::RegCreateKeyA(platform::kHkeyCurrentUser, "Software\\QvDurable", &key), 0);
  return key;
}

bool WriteValue(HKEY key, int index) {
  const std::string name = "V" + std::to_string(index);
  const std::string data = ValueData(index);
  return platform::RegSetValueExA(key, name.c_str(), 0, platform::kRegBinary,
                                  reinterpret_cast<const platform::BYTE*>(data.data()),
                                  static_cast<platform::DWORD>(data.size())) == 0;
}

// Every commit synced before it returns (QV_REGISTRY_SYNC=full): every write
// that returned survives a power cut at any sync point.
TEST_F(DurabilityTest, WithEveryCommitSyncedEveryWriteThatReturnedSurvivesAPowerCut) {
  PowerCutVfs& vfs = PowerCutVfs::Install();
  const std::string cut_directory = (directory_ / "cut").string();
  SqliteStore::Options options;
  options.vfs = PowerCutVfs::kName;
  options.sync_every_commit = true;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));

  bool key_acknowledged = false;
  int acknowledged = 0;
  int cuts = 0;
  std::string first_failure;
  const auto cut = [&] {
    ++cuts;
    const Survivors survivors =
        AfterCut(vfs.RestoreAfterPowerCut(database_, cut_directory), acknowledged + 1);
    std::string problem = survivors.problem;
    if (problem.empty() && key_acknowledged && !survivors.key) problem = "the key is missing";
    if (problem.empty() && survivors.prefix < acknowledged) {
      problem = "V" + std::to_string(survivors.prefix) + " is missing after a cut with " +
                std::to_string(acknowledged) + " acknowledged";
    }
    if (first_failure.empty()) first_failure = problem;
  };
  vfs.on_sync = cut;

  constexpr int kWrites = 120;
  const HKEY key = DurableKey();
  key_acknowledged = true;
  for (int i = 0; i < kWrites; ++i) {
    if (WriteValue(key, i)) ++acknowledged;
    if (i % 40 == 39) {
      // Another process checkpoints the log into the database now and then.
      sqlite3* other = nullptr;
      sqlite3_open_v2(database_.c_str(), &other, SQLITE_OPEN_READWRITE, PowerCutVfs::kName);
      sqlite3_exec(other, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
      sqlite3_close(other);
    }
  }
  EXPECT_EQ(platform::RegCloseKey(key), 0);
  vfs.on_sync = nullptr;
  cut();  // and a cut right after the last call returned

  EXPECT_EQ(acknowledged, kWrites);
  EXPECT_GT(cuts, kWrites) << "every commit is a sync point";
  EXPECT_EQ(first_failure, "");
}

// Windows' flush model: a write is in the log when it returns and on the
// disk once RegFlushKey returned, the lazy flush ran (a second after it), or
// the process ended normally. A power cut at any moment leaves a sound file
// holding a prefix of the writes in their order, and everything made durable
// so far.
TEST_F(DurabilityTest, WritesReachTheDiskOnAFlushAndAPowerCutLeavesAPrefix) {
  PowerCutVfs& vfs = PowerCutVfs::Install();
  const std::string cut_directory = (directory_ / "cut").string();
  SqliteStore::Options options;
  options.vfs = PowerCutVfs::kName;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));
  TestControls::UseManualFlushClock();

  int made = 0;
  int durable = 0;  // writes that must survive: made before the last flush
  std::string first_failure;
  int cuts = 0;
  const auto cut = [&](const char* when) {
    ++cuts;
    const Survivors survivors = AfterCut(vfs.RestoreAfterPowerCut(database_, cut_directory), made);
    std::string problem = survivors.problem;
    if (problem.empty() && survivors.prefix < durable) {
      problem = std::string(when) + ": V" + std::to_string(survivors.prefix) +
                " is lost though it was made durable (" + std::to_string(durable) + ")";
    }
    if (first_failure.empty() && !problem.empty()) first_failure = problem;
  };
  vfs.on_sync = [&] { cut("at a sync point"); };

  const HKEY key = DurableKey();
  const int syncs_before = vfs.syncs;
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(WriteValue(key, made));
      ++made;
      cut("after a write returned");
    }
    switch (round % 3) {
      case 0:
        ASSERT_EQ(platform::RegFlushKey(key), 0);
        durable = made;
        cut("after RegFlushKey");
        break;
      case 1:
        TestControls::AdvanceFlushClock(999);
        cut("just before the lazy flush is due");
        TestControls::AdvanceFlushClock(1);
        durable = made;
        cut("after the lazy flush");
        break;
      default:
        break;  // left to the end
    }
  }
  EXPECT_LE(vfs.syncs - syncs_before, 6 * 2) << "a write does not wait for the disk";
  EXPECT_EQ(platform::RegCloseKey(key), 0);
  TestControls::ResetRegistry();  // as when the process ends normally
  durable = made;
  vfs.on_sync = nullptr;
  cut("after a normal end");
  EXPECT_GT(cuts, made);
  EXPECT_EQ(first_failure, "");
}

TEST_F(DurabilityTest, ADiskFullWriteFailsWithItsCodeAndKeepsWhatWasThere) {
  PowerCutVfs& vfs = PowerCutVfs::Install();
  SqliteStore::Options options;
  options.vfs = PowerCutVfs::kName;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));
  Registry registry;
  registry.CreateKey(kHkeyCurrentUser, u"Software\\QvFull");
  registry.SetValue(kHkeyCurrentUser, u"Software\\QvFull", u"Kept", kRegSz, u"before");
  vfs.failing_writes = SQLITE_FULL;
  EXPECT_RAISES(Registry::RegistryErrorBase + 112,
                registry.SetValue(kHkeyCurrentUser, u"Software\\QvFull", u"Kept", kRegSz,
                                  std::u16string(20000, u'x')));
  EXPECT_NE(platform::RegistryStoreDiagnosis().find("disk is full"), std::string::npos);
  vfs.failing_writes = 0;
  EXPECT_EQ(registry.QueryValue(kHkeyCurrentUser, u"Software\\QvFull", u"Kept"),
            Variant(u"before"));
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST_F(DurabilityTest, ReadersGoOnWhileAnotherProcessHoldsTheWriteLock) {
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  SelfRegisterClasses().QvSaveSetting(u"QvBusy", u"S", u"K", u"stored");
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvBusy\\Child");
  TestControls::ResetRegistry();

  int to_parent[2];
  int to_child[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  ASSERT_EQ(::pipe(to_child), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(database_.c_str(), &db);
    const bool locked = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == 0;
    (void)!::write(to_parent[1], locked ? "L" : "F", 1);
    char done = 0;
    (void)!::read(to_child[0], &done, 1);  // until the parent has finished
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ::_exit(0);
  }
  char state = 0;
  ASSERT_EQ(::read(to_parent[0], &state, 1), 1);
  ASSERT_EQ(state, 'L');

  // Opened while the other process writes: reads see the stored data.
  SqliteStore::Options options;
  options.busy_timeout_ms = 200;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"QvBusy", u"S", u"K", u"default"),
            Variant(u"stored"));
  EXPECT_EQ(Registry().GetBranchNames(kHkeyCurrentUser, u"Software\\QvBusy").Count(), 1);
  // A writer gives up after the timeout with "busy", never silently.
  EXPECT_RAISES(Registry::RegistryErrorBase + 170,
                Registry().SetValue(kHkeyCurrentUser, u"Software\\QvBusy", u"New", kRegSz, u"x"));
  EXPECT_NE(platform::RegistryStoreDiagnosis().find("busy"), std::string::npos);

  (void)!::write(to_child[1], "D", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(fd);
  Registry().SetValue(kHkeyCurrentUser, u"Software\\QvBusy", u"New", kRegSz, u"x");
  RawSql(database_, "PRAGMA wal_checkpoint");
}

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

TEST_F(DurabilityTest, FilesThatAreNotOurRegistryAreRefusedUntouched) {
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

TEST_F(DurabilityTest, ARegistryWrittenBeforeTheMarkingIsAdopted) {
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

TEST_F(DurabilityTest, AVersionOneRegistryGetsItsStringsInUtf16) {
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
TEST_F(DurabilityTest, AVersionTwoRegistryGetsItsNamesFoldedAgain) {
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

TEST_F(DurabilityTest, ACycleInTheKeyTableIsReportedNotFollowed) {
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

TEST_F(DurabilityTest, ABatchReadsOneSnapshotWhileAnotherProcessDeletes) {
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  Registry registry;
  for (const char16_t* name : {u"A", u"B", u"C", u"D"}) {
    registry.CreateKey(kHkeyCurrentUser, std::u16string(u"Software\\QvSnap\\") + name);
  }
  HKEY key = 0;
  ASSERT_EQ(platform::BeginRegistryBatch(false), 0);
  ASSERT_EQ(platform::RegOpenKeyExA(platform::kHkeyCurrentUser, "Software\\QvSnap", 0,
                                    platform::kKeyRead, &key),
            0);
  char name[64] = {};
  ASSERT_EQ(platform::RegEnumKeyA(key, 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "A");
  const pid_t child = ::fork();
  if (child == 0) {
    // Another process deletes the keys the listing has not reached yet.
    const std::string sql = "DELETE FROM keys WHERE name IN (x'0042', x'0043', x'0044')";
    ::_exit(RawSql(database_, sql + "; SELECT changes()") == "3" ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string listed = name;
  for (platform::DWORD index = 1; platform::RegEnumKeyA(key, index, name, sizeof name) == 0;
       ++index) {
    listed += name;
  }
  EXPECT_EQ(listed, "ABCD");
  EXPECT_EQ(platform::RegCloseKey(key), 0);
  EXPECT_EQ(platform::EndRegistryBatch(true), 0);
  EXPECT_EQ(registry.GetBranchNames(kHkeyCurrentUser, u"Software\\QvSnap").Count(), 1);
}

// A writer killed at any moment loses nothing that returned: a write is in
// the log (the system's, not the process's, memory) when it returns.
TEST_F(DurabilityTest, AWriterKilledAtAnyMomentLosesNothingThatReturned) {
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::filesystem::remove(database_);
    std::filesystem::remove(database_ + "-wal");
    std::filesystem::remove(database_ + "-shm");
    int acknowledged[2];
    ASSERT_EQ(::pipe(acknowledged), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(acknowledged[0]);
      TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
      const HKEY key = DurableKey();
      for (int i = 0; i < 100000; ++i) {
        if (!WriteValue(key, i)) ::_exit(1);
        if (::write(acknowledged[1], &i, sizeof i) != sizeof i) ::_exit(1);
      }
      ::_exit(0);
    }
    ::close(acknowledged[1]);
    ::usleep(static_cast<useconds_t>(5000 + random() % 60000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    int last = -1;
    for (int index = 0; ::read(acknowledged[0], &index, sizeof index) == sizeof index;)
      last = index;
    ::close(acknowledged[0]);
    const Survivors survivors = AfterCut(database_, last + 2);
    EXPECT_EQ(survivors.problem, "");
    EXPECT_GE(survivors.prefix, last + 1) << "a write that returned was lost";
  }
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
