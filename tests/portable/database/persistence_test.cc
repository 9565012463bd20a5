// The persistent registry shared between processes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/portable/database/database_test_fixture.h"
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::portable::NameFolding;
using platform::portable::SqliteStore;
using platform::portable::TestControls;
using testing_support::Widen;

class PersistenceTest : public testing_support::DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    UseDatabase();
  }

  // Runs `work` in a child process on the same database; returns its pid.
  template <typename Work>
  pid_t Spawn(Work work) const {
    const pid_t child = ::fork();
    if (child == 0) {
      UseDatabase();
      int status = 0;
      try {
        work();
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    return child;
  }
};

TEST_F(PersistenceTest, ASettingSavedByAnotherProcessIsFound) {
  const pid_t child =
      Spawn([] { SelfRegisterClasses().QvSaveSetting(u"QvPersist", u"S", u"K", u"saved"); });
  ASSERT_EQ(Wait(child), 0);
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"QvPersist", u"S", u"K"), Variant(u"saved"));
  TestControls::ResetRegistry();
  UseDatabase();  // as after a restart
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"QvPersist", u"S", u"K"), Variant(u"saved"));
}

TEST_F(PersistenceTest, TwoWritersLoseNothing) {
  constexpr int kPerWriter = 1000;
  auto writer = [](int id) {
    return [id] {
      SelfRegisterClasses settings;
      for (int i = 0; i < kPerWriter; ++i) {
        const std::u16string key = Widen("w" + std::to_string(id) + "_" + std::to_string(i));
        settings.QvSaveSetting(u"QvShared", u"Section", key, std::int32_t{i});
      }
    };
  };
  const pid_t first = Spawn(writer(1));
  const pid_t second = Spawn(writer(2));
  ASSERT_EQ(Wait(first), 0);
  ASSERT_EQ(Wait(second), 0);
  SelfRegisterClasses settings;
  int found = 0;
  for (int id : {1, 2}) {
    for (int i = 0; i < kPerWriter; ++i) {
      const std::u16string key = Widen("w" + std::to_string(id) + "_" + std::to_string(i));
      if (settings.QvGetSetting(u"QvShared", u"Section", key, u"lost") ==
          Variant(Widen(std::to_string(i)))) {
        ++found;
      }
    }
  }
  EXPECT_EQ(found, 2 * kPerWriter);
}

TEST_F(PersistenceTest, AKilledWriterLeavesEveryCommittedWrite) {
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const pid_t child = Spawn([&] {
    ::close(pipe_ends[0]);
    SelfRegisterClasses settings;
    for (int i = 0;; ++i) {
      settings.QvSaveSetting(u"QvKilled", u"S", Widen("k" + std::to_string(i)), std::int32_t{i});
      if (::write(pipe_ends[1], &i, sizeof i) != sizeof i) return;
    }
  });
  ::close(pipe_ends[1]);
  int last = -1;
  int acknowledged = 0;
  while (acknowledged < 300 && ::read(pipe_ends[0], &last, sizeof last) == sizeof last) {
    ++acknowledged;
  }
  ::kill(child, SIGKILL);
  Wait(child);
  ::close(pipe_ends[0]);
  ASSERT_EQ(acknowledged, 300);
  TestControls::ResetRegistry();
  UseDatabase();
  SelfRegisterClasses settings;
  for (int i = 0; i <= last; ++i) {
    ASSERT_EQ(settings.QvGetSetting(u"QvKilled", u"S", Widen("k" + std::to_string(i)), u"lost"),
              Variant(Widen(std::to_string(i))))
        << "write " << i;
  }
}

TEST_F(PersistenceTest, AKeyDeletedByAnotherProcessAnswers1018) {
  Registry registry;
  registry.CreateKey(kHkeyCurrentUser, u"Software\\QvGone");
  platform::HKEY key = 0;
  ASSERT_EQ(
      platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvGone", 0, platform::kKeyRead, &key),
      0);
  const pid_t child = Spawn([] { Registry().DeleteKey(kHkeyCurrentUser, u"Software\\QvGone"); });
  ASSERT_EQ(Wait(child), 0);
  char name[64];
  EXPECT_EQ(platform::RegEnumKeyA(key, 0, name, sizeof name), platform::kErrorKeyDeleted);
  EXPECT_EQ(platform::RegCloseKey(key), 0);
}

TEST_F(PersistenceTest, KeysOfTheOldSeparateViewTreesMoveWhereTheViewsLead) {
  // Registries written before HKCU, HKCR and HKCC were views kept them as
  // trees of their own; opening one moves their keys, and nothing is lost.
  TestControls::ResetRegistry();
  std::filesystem::remove(database_);
  {
    SqliteStore old_store(database_);
    old_store.Begin(true);
    const auto put = [&](platform::HKEY root, const std::u16string& name,
                         const std::u16string& data) {
      const platform::portable::KeyId key = old_store.CreateSubkey(
          old_store.CreateSubkey(old_store.Root(u"", root), u"QvOld", u"QVOLD"), name,
          NameFolding::Fold(name));
      const std::string bytes(reinterpret_cast<const char*>(data.c_str()), data.size() * 2 + 2);
      old_store.SetValue(key, u"V", {u"V", kRegSz, bytes});
    };
    put(kHkeyCurrentUser, u"User", u"u");
    put(kHkeyClassesRoot, u"Classes", u"c");
    put(kHkeyCurrentConfig, u"Config", u"h");
    old_store.Commit();
  }
  UseDatabase();
  Registry registry;
  EXPECT_EQ(registry.QueryValue(kHkeyCurrentUser, u"QvOld\\User", u"V").ToText(), u"u");
  EXPECT_EQ(registry.QueryValue(kHkeyUsers, u"S-1-5-21-0-0-0-1000\\QvOld\\User", u"V").ToText(),
            u"u");
  EXPECT_EQ(
      registry.QueryValue(kHkeyLocalMachine, u"Software\\Classes\\QvOld\\Classes", u"V").ToText(),
      u"c");
  EXPECT_EQ(registry.QueryValue(kHkeyCurrentConfig, u"QvOld\\Config", u"V").ToText(), u"h");
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);

  TestControls::ResetRegistry();
  SqliteStore reopened(database_);
  reopened.Begin(false);
  for (platform::HKEY root : {kHkeyCurrentUser, kHkeyClassesRoot, kHkeyCurrentConfig}) {
    EXPECT_FALSE(reopened.HasSubkeys(reopened.Root(u"", root))) << "moved, not copied";
  }
  reopened.Rollback();
}

TEST_F(PersistenceTest, ADamagedDatabaseIsTheCorruptRegistryCode) {
  const std::string damaged = (directory_ / "damaged.db").string();
  std::ofstream(damaged) << std::string(8192, 'x');
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(damaged));
  Registry registry;
  const ErrorObject error =
      testing_support::CatchError([&] { registry.CreateKey(kHkeyCurrentUser, u"Software\\X"); });
  EXPECT_EQ(error.Number(), Registry::RegistryErrorBase + 1009);
  EXPECT_EQ(error.Description(), u"Undefined registry error.");
  EXPECT_EQ(registry.GetBranchNames(kHkeyCurrentUser, u"Software").Count(), 0);
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"A", u"B", u"C", u"default"), Variant(u"default"));
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);

  TestControls::UseRegistryStore(
      std::make_unique<SqliteStore>((directory_ / "no-such-dir" / "x.db").string()));
  EXPECT_RAISES(Registry::RegistryErrorBase + 1011,
                registry.CreateKey(kHkeyCurrentUser, u"Software\\X"));
}

// Volatile keys last as long as the machine's boot: another process of the
// same boot finds them, the first one of a later boot does not (nor
// anything below them), and stable keys stay.
TEST_F(PersistenceTest, VolatileKeysLastUntilTheMachineStartsAgain) {
  TestControls::ResetRegistry();
  const auto open_in_boot = [&](const char* boot) {
    SqliteStore::Options options;
    options.boot_id = boot;
    TestControls::UseRegistryStore(std::make_unique<SqliteStore>(database_, options));
  };
  const auto exists = [](const char16_t* path) {
    platform::HKEY key = 0;
    const bool found =
        platform::RegOpenKeyExW(platform::kHkeyCurrentUser, path, 0, platform::kKeyRead, &key) == 0;
    if (found) platform::RegCloseKey(key);
    return found;
  };
  open_in_boot("boot-1");
  platform::HKEY made = 0;
  ASSERT_EQ(platform::RegCreateKeyExW(platform::kHkeyCurrentUser, u"Software\\QvFleeting\\Inner", 0,
                                      nullptr, 1, platform::kKeyAllAccess, nullptr, &made, nullptr),
            0);
  ASSERT_EQ(platform::RegSetValueExW(made, u"v", 0, platform::kRegBinary,
                                     reinterpret_cast<const platform::BYTE*>("x"), 1),
            0);
  platform::RegCloseKey(made);
  Registry().CreateKey(kHkeyCurrentUser, u"Software\\QvStable");
  TestControls::ResetRegistry();

  open_in_boot("boot-1");
  EXPECT_TRUE(exists(u"Software\\QvFleeting\\Inner")) << "the same boot, another process";
  TestControls::ResetRegistry();

  open_in_boot("boot-2");
  EXPECT_FALSE(exists(u"Software\\QvFleeting")) << "a later boot";
  EXPECT_TRUE(exists(u"Software\\QvStable"));
  TestControls::ResetRegistry();
  EXPECT_EQ(testing_support::RawSql(database_, "SELECT count(*) FROM volatile_keys"), "0");
  EXPECT_EQ(testing_support::RawSql(database_,
                                    "SELECT count(*) FROM value_data WHERE key NOT IN"
                                    " (SELECT id FROM keys)"),
            "0");
  EXPECT_EQ(testing_support::RawSql(database_, "PRAGMA integrity_check"), "ok");
}

}  // namespace
}  // namespace quorvane
