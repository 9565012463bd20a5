// A registry file known sound: the mark beside it follows the registry's own
// writes and checkpoints, so that a process's first write needs no check of
// the whole file, and anything else that changes the file brings the check
// back before a write.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sound_file_mark.h>
#include <quorvane/registry/registry.h>
#include "tests/portable/database/database_test_fixture.h"
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::HKEY;
using platform::LONG;
using platform::portable::SoundFileMark;
using platform::portable::TestControls;
using testing_support::RawSql;
using testing_support::ReadFile;

class KnownSoundTest : public testing_support::DatabaseTest {
 protected:
  [[nodiscard]] bool MarkHolds() const {
    const SoundFileMark mark(database_);
    return mark.Records(mark.StateNow());
  }
  void WriteKeys(int count, const std::u16string& data) const {
    UseDatabase();
    Registry registry;
    for (int i = 0; i < count; ++i) {
      const std::u16string key =
          u"Software\\QvSound\\K" + testing_support::Widen(std::to_string(i));
      registry.CreateKey(kHkeyCurrentUser, key);
      registry.SetValue(kHkeyCurrentUser, key, u"v", kRegSz, data);
    }
  }
  static LONG CreateOneKey() {
    HKEY key = 0;
    const LONG created = platform::RegCreateKeyA(kHkeyCurrentUser, "Software\\QvSound\\New", &key);
    if (created == 0) platform::RegCloseKey(key);
    return created;
  }
};

TEST_F(KnownSoundTest, TheRegistrysOwnWritesAndCheckpointsKeepTheFileKnownSound) {
  WriteKeys(20, u"small");
  TestControls::ResetRegistry();
  EXPECT_TRUE(MarkHolds()) << "a checked file, folded in at its close";

  // A process's writes past the log's checkpoint size: the file grows under
  // the open store, and the mark follows it.
  const auto size_before = std::filesystem::file_size(database_);
  WriteKeys(600, std::u16string(4000, u'x'));
  EXPECT_GT(std::filesystem::file_size(database_), size_before) << "no checkpoint ran";
  EXPECT_TRUE(MarkHolds()) << "after a checkpoint of the open store";
  TestControls::ResetRegistry();
  EXPECT_TRUE(MarkHolds()) << "after the close";
  EXPECT_EQ(RawSql(database_, "PRAGMA integrity_check"), "ok");
}

// Each way another program can change the file: the mark no longer holds,
// and a damaged file is refused at the first write, with nothing written.
TEST_F(KnownSoundTest, AFileChangedBehindTheRegistrysBackIsCheckedAgainBeforeAWrite) {
  WriteKeys(150, u"value");
  TestControls::ResetRegistry();
  ASSERT_TRUE(MarkHolds());
  const std::string sound = ReadFile(database_);

  // The same file with one byte changed where SQLite's whole check sees it.
  const std::string scratch = database_ + ".scratch";
  std::string damaged;
  std::mt19937 random(7);
  for (int attempt = 0; attempt < 500 && damaged.empty(); ++attempt) {
    std::string bytes = sound;
    const std::size_t at = 100 + random() % (bytes.size() - 100);
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    std::ofstream(scratch, std::ios::binary | std::ios::trunc) << bytes;
    if (RawSql(scratch, "PRAGMA integrity_check") != "ok") damaged = bytes;
    std::filesystem::remove(scratch + "-wal");
    std::filesystem::remove(scratch + "-shm");
  }
  ASSERT_FALSE(damaged.empty());

  const auto write_in_place = [&] {
    std::ofstream(database_, std::ios::binary | std::ios::in | std::ios::out) << damaged;
  };
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"written in place", write_in_place},
      {"written in place, its modification time put back",
       [&] {
         struct stat before {};
         ::stat(database_.c_str(), &before);
         write_in_place();
         const struct timespec times[2] = {before.st_atim, before.st_mtim};
         ::utimensat(AT_FDCWD, database_.c_str(), times, 0);
       }},
      {"replaced by another file",
       [&] {
         std::ofstream(scratch, std::ios::binary | std::ios::trunc) << damaged;
         std::filesystem::rename(scratch, database_);
       }},
  };
  for (const auto& [how, change] : changes) {
    SCOPED_TRACE(how);
    std::ofstream(database_, std::ios::binary | std::ios::trunc) << sound;
    {
      const SoundFileMark mark(database_);
      mark.Record(mark.StateNow());  // as if the sound copy had been checked
    }
    change();
    EXPECT_FALSE(MarkHolds());
    UseDatabase();
    EXPECT_NE(CreateOneKey(), 0) << "a damaged file was written to";
    std::string report;
    EXPECT_EQ(platform::CheckRegistryStore(&report), platform::kErrorBadDbDatabase) << report;
    TestControls::ResetRegistry();
    EXPECT_EQ(ReadFile(database_), damaged) << "the damaged file was changed";
    EXPECT_FALSE(MarkHolds());
  }
}

}  // namespace
}  // namespace quorvane
