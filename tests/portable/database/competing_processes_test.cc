// The persistent registry beside other processes: readers go on while
// another process writes, and a batch reads one snapshot while another
// process changes the file.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

using CompetingProcessesTest = testing_support::DatabaseTest;

TEST_F(CompetingProcessesTest, ReadersGoOnWhileAnotherProcessHoldsTheWriteLock) {
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

TEST_F(CompetingProcessesTest, ABatchReadsOneSnapshotWhileAnotherProcessDeletes) {
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

// Programs that start together on a machine with no registry yet all open
// the new file at once: each must get a registry that works, not a "busy"
// one, whichever of them makes the file a registry.
TEST_F(CompetingProcessesTest, ProcessesThatOpenANewFileTogetherAllGetAWorkingRegistry) {
  constexpr int kProcesses = 4;
  for (int round = 0; round < 15; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string path = (directory_ / ("new-" + std::to_string(round) + ".db")).string();
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
      const pid_t child = ::fork();
      if (child == 0) {
        ::close(start[1]);
        char go = 0;
        (void)!::read(start[0], &go, 1);  // all at once, when the pipe closes
        TestControls::UseRegistryStore(std::make_unique<SqliteStore>(path));
        const std::string name = "P" + std::to_string(process);
        const bool wrote =
            platform::RegSetValueExA(platform::kHkeyCurrentUser, name.c_str(), 0, platform::kRegSz,
                                     reinterpret_cast<const platform::BYTE*>("x"), 2) == 0;
        TestControls::ResetRegistry();
        ::_exit(wrote ? 0 : 1);
      }
      children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    int failed = 0;
    for (pid_t child : children) failed += Wait(child) != 0;
    EXPECT_EQ(failed, 0) << "processes that could not write to the new registry";
    EXPECT_EQ(RawSql(path, "SELECT count(*) FROM value_data"), std::to_string(kProcesses));
  }
}

}  // namespace
}  // namespace quorvane
