// The persistent registry on media that fight back: damaged files, a disk
// that fills in the middle of a batch, keys deeper than Windows allows.
#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include "tests/portable/database/database_test_fixture.h"
#include "tests/portable/database/power_cut_vfs.h"
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::LONG;
using platform::portable::SqliteStore;
using platform::portable::TestControls;
using testing_support::PowerCutVfs;
using testing_support::ReadFile;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What SQLite's own full check says of a file ("ok" when sound).
std::string IntegrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string verdict = "unreadable";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] == nullptr ? "" : values[0];
          return 0;
        },
        &verdict, nullptr);
  }
  sqlite3_close(db);
  return verdict;
}

using HostileMediaTest = testing_support::DatabaseTest;

// Single bytes changed at random places: whatever SQLite's full check finds
// damaged is never written to (the first write of a process checks the
// file), the write answers 1009, and `CheckRegistryStore` says so.
TEST_F(HostileMediaTest, ADamagedFileIsNeverWrittenTo) {
  {
    TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
    Registry registry;
    for (int i = 0; i < 150; ++i) {
      const std::u16string key =
          u"Software\\QvDamage\\K" + testing_support::Widen(std::to_string(i));
      registry.CreateKey(kHkeyCurrentUser, key);
      registry.SetValue(kHkeyCurrentUser, key, u"v", kRegSz, u"value");
    }
    TestControls::ResetRegistry();  // closes the file: its log is folded in
  }
  const std::string sound = ReadFile(database_);
  const std::string copy = (directory_ / "damaged.db").string();
  std::mt19937 random(5);
  int damaged = 0;
  for (int round = 0; round < 60; ++round) {
    std::string bytes = sound;
    const std::size_t at = random() % bytes.size();
    bytes[at] = static_cast<char>(bytes[at] ^ static_cast<char>(1 + random() % 255));
    WriteFile(copy, bytes);
    if (IntegrityOf(copy) == "ok") continue;
    ++damaged;
    SCOPED_TRACE("byte " + std::to_string(at));
    TestControls::UseRegistryStore(std::make_unique<SqliteStore>(copy));
    HKEY key = 0;
    const LONG created = platform::RegCreateKeyA(kHkeyCurrentUser, "Software\\QvDamage\\New", &key);
    if (created == 0) platform::RegCloseKey(key);
    EXPECT_NE(created, 0) << "a damaged file was written to";
    std::string report;
    EXPECT_EQ(platform::CheckRegistryStore(&report), platform::kErrorBadDbDatabase);
    EXPECT_NE(report.find("damaged"), std::string::npos) << report;
    TestControls::ResetRegistry();
    EXPECT_EQ(ReadFile(copy), bytes) << "the damaged file was changed";
    std::filesystem::remove(copy + "-wal");
    std::filesystem::remove(copy + "-shm");
  }
  EXPECT_GT(damaged, 5) << "too few damaged files to say anything";
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_));
  std::string report;
  EXPECT_EQ(platform::CheckRegistryStore(&report), 0) << report;
}

// A disk that fills while a batch writes: SQLite gives up the whole
// transaction; the batch's later calls and its commit fail with 112, and the
// words name the full disk, not what the rollback after it met.
TEST_F(HostileMediaTest, ADiskThatFillsInABatchIsReportedAsFull) {
  PowerCutVfs& vfs = PowerCutVfs::Install();
  SqliteStore::Options options;
  options.vfs = PowerCutVfs::kName;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvFilling");
  HKEY key = 0;
  ASSERT_EQ(platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvFilling", 0,
                                    platform::kKeyAllAccess, &key),
            0);
  ASSERT_EQ(platform::BeginRegistryBatch(true), 0);
  const std::string data(std::size_t{64} * 1024, 'x');  // enough to spill SQLite's cache
  LONG failed = 0;
  int written = 0;
  for (int i = 0; i < 200 && failed == 0; ++i) {
    if (i == 20) vfs.failing_writes = SQLITE_FULL;
    const std::string name = "V" + std::to_string(i);
    failed = platform::RegSetValueExA(key, name.c_str(), 0, platform::kRegBinary,
                                      reinterpret_cast<const platform::BYTE*>(data.data()),
                                      static_cast<DWORD>(data.size()));
    if (failed == 0) ++written;
  }
  EXPECT_EQ(failed, platform::kErrorDiskFull);
  EXPECT_NE(platform::RegistryStoreDiagnosis().find("disk is full"), std::string::npos)
      << platform::RegistryStoreDiagnosis();
  vfs.failing_writes = 0;
  EXPECT_EQ(platform::RegSetValueExA(key, "After", 0, platform::kRegBinary,
                                     reinterpret_cast<const platform::BYTE*>("x"), 1),
            platform::kErrorDiskFull)
      << "a call after the batch lost its transaction must not stand alone";
  EXPECT_EQ(platform::EndRegistryBatch(true), platform::kErrorDiskFull);
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key, "V0", nullptr, nullptr, nullptr, &size),
            platform::kErrorFileNotFound)
      << "nothing of the batch is kept (" << written << " writes before the disk filled)";
  EXPECT_EQ(platform::RegQueryValueExA(key, "After", nullptr, nullptr, nullptr, &size),
            platform::kErrorFileNotFound);
  platform::RegCloseKey(key);
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

}  // namespace
}  // namespace quorvane
