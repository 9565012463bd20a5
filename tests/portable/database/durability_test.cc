// The persistent registry under power cuts, killed writers and a full disk:
// what a write that returned promises, and when it reaches the disk.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include <quorvane/platform/portable/registry/registry_views.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include <quorvane/registry/registry.h>
#include "tests/portable/database/database_test_fixture.h"
#include "tests/portable/database/power_cut_vfs.h"
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
using testing_support::RawSql;

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

}  // namespace
}  // namespace quorvane
