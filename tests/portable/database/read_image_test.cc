// Reads answered from the image of earlier reads see every commit, of any
// process, that came before the call: a writer and a reader in lockstep, a
// randomised race checked against a log of commits, and a commit in the
// middle of a call.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/portable/database/read_image_fixture.h"
#include "tests/portable/forwarding_store.h"

namespace quorvane {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::kHkeyCurrentUser;
using platform::LONG;
using platform::portable::SqliteStore;
using platform::portable::TestControls;
using testing_support::Create;
using testing_support::ReadImageTest;
using testing_support::ReadNumber;

// The watched tree: keys K0..K6 below it, each with a value V (text or
// number) and leaf subkeys.
constexpr int kWatchedKeys = 7;
constexpr const char* kWatched = "Software\\QvImage";

struct WatchedKey {
  std::string value;  // "" when there is none
  std::set<std::string> subkeys;
};
using Model = std::map<int, WatchedKey>;

// Round r changes key r % 7 in one of five ways, so every way meets every
// key. Applied through the registry by the writer and to a model by the
// reader.
enum class Change { kSetText, kDeleteValue, kAddSubkey, kDeleteTree, kSetNumber };

Change ChangeOf(int round) { return static_cast<Change>(round % 5); }

void ApplyToRegistry(int round) {
  const std::string path = std::string(kWatched) + "\\K" + std::to_string(round % kWatchedKeys);
  HKEY key = 0;
  switch (ChangeOf(round)) {
    case Change::kSetText: {
      key = Create(kHkeyCurrentUser, path);
      const std::string text = "t" + std::to_string(round);
      EXPECT_EQ(platform::RegSetValueExA(key, "V", 0, platform::kRegSz,
                                         reinterpret_cast<const unsigned char*>(text.c_str()),
                                         static_cast<DWORD>(text.size() + 1)),
                0);
      break;
    }
    case Change::kSetNumber: {
      key = Create(kHkeyCurrentUser, path);
      const DWORD number = static_cast<DWORD>(round);
      EXPECT_EQ(
          platform::RegSetValueExA(key, "V", 0, platform::kRegDword,
                                   reinterpret_cast<const unsigned char*>(&number), sizeof number),
          0);
      break;
    }
    case Change::kDeleteValue:
      if (platform::RegOpenKeyExA(kHkeyCurrentUser, path.c_str(), 0, platform::kKeyAllAccess,
                                  &key) == 0) {
        (void)platform::RegDeleteValueA(key, "V");
      }
      break;
    case Change::kAddSubkey:
      key = Create(kHkeyCurrentUser, path + "\\S" + std::to_string(round));
      break;
    case Change::kDeleteTree:
      if (platform::RegOpenKeyExA(kHkeyCurrentUser, path.c_str(), 0, platform::kKeyAllAccess,
                                  &key) == 0) {
        char name[64];
        while (platform::RegEnumKeyA(key, 0, name, sizeof name) == 0) {
          EXPECT_EQ(platform::RegDeleteKeyA(key, name), 0);
        }
        EXPECT_EQ(platform::RegDeleteKeyA(kHkeyCurrentUser, path.c_str()), 0);
      }
      break;
  }
  if (key != 0) platform::RegCloseKey(key);
}

void ApplyToModel(int round, Model* model) {
  const int index = round % kWatchedKeys;
  switch (ChangeOf(round)) {
    case Change::kSetText:
      (*model)[index].value = "sz:t" + std::to_string(round);
      break;
    case Change::kSetNumber:
      (*model)[index].value = "dword:" + std::to_string(round);
      break;
    case Change::kDeleteValue:
      if (model->count(index) != 0) (*model)[index].value.clear();
      break;
    case Change::kAddSubkey:
      (*model)[index].subkeys.insert("S" + std::to_string(round));
      break;
    case Change::kDeleteTree:
      model->erase(index);
      break;
  }
}

// The tree as the registry shows it, through opens, queries and both kinds
// of enumeration, in the model's terms.
Model Observe() {
  Model seen;
  HKEY top = 0;
  if (platform::RegOpenKeyExA(kHkeyCurrentUser, kWatched, 0, platform::kKeyRead, &top) != 0) {
    return seen;
  }
  char name[64];
  std::set<std::string> listed;
  for (DWORD i = 0; platform::RegEnumKeyA(top, i, name, sizeof name) == 0; ++i) {
    listed.insert(name);
  }
  for (int index = 0; index < kWatchedKeys; ++index) {
    const std::string key_name = "K" + std::to_string(index);
    HKEY key = 0;
    const LONG opened = platform::RegOpenKeyExA(top, key_name.c_str(), 0, platform::kKeyRead, &key);
    EXPECT_EQ(opened == 0, listed.count(key_name) != 0) << key_name;
    if (opened != 0) continue;
    WatchedKey& watched = seen[index];
    unsigned char data[64] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    if (platform::RegQueryValueExA(key, "V", nullptr, &type, data, &size) == 0) {
      DWORD number = 0;
      std::memcpy(&number, data, sizeof number);
      watched.value = type == platform::kRegSz
                          ? "sz:" + std::string(reinterpret_cast<const char*>(data))
                          : "dword:" + std::to_string(number);
    }
    DWORD values = 0;
    for (DWORD name_size = sizeof name;
         platform::RegEnumValueA(key, values, name, &name_size, nullptr, nullptr, nullptr,
                                 nullptr) == 0;
         name_size = sizeof name) {
      ++values;
    }
    EXPECT_EQ(values, watched.value.empty() ? 0u : 1u) << key_name;
    for (DWORD i = 0; platform::RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) {
      watched.subkeys.insert(name);
    }
    platform::RegCloseKey(key);
  }
  platform::RegCloseKey(top);
  return seen;
}

std::string Describe(const Model& model) {
  std::string text;
  for (const auto& [index, key] : model) {
    text += "K" + std::to_string(index) + " V=" + key.value + " [";
    for (const std::string& subkey : key.subkeys) text += subkey + " ";
    text += "]\n";
  }
  return text;
}

TEST_F(ReadImageTest, EveryCommitOfAnotherProcessIsSeenByTheNextCall) {
  constexpr int kRounds = 2000;
  int to_writer[2];
  int to_reader[2];
  ASSERT_EQ(::pipe(to_writer), 0);
  ASSERT_EQ(::pipe(to_reader), 0);
  const pid_t writer = Spawn([&] {
    // Only the parent writes here, so that its end closed is an end of input.
    ::close(to_writer[1]);
    for (int round = 0; round < kRounds; ++round) {
      char go = 0;
      if (::read(to_writer[0], &go, 1) != 1) return false;
      ApplyToRegistry(round);
      if (::write(to_reader[1], &go, 1) != 1) return false;
    }
    return !::testing::Test::HasFailure();
  });
  UseDatabase();
  Model model;
  int mismatches = 0;
  for (int round = 0; round < kRounds && mismatches < 5; ++round) {
    // What the reader has read is in its image when the writer changes it.
    (void)Observe();
    char go = 1;
    ASSERT_EQ(::write(to_writer[1], &go, 1), 1);
    ASSERT_EQ(::read(to_reader[0], &go, 1), 1);
    ApplyToModel(round, &model);
    const Model seen = Observe();
    if (Describe(seen) != Describe(model)) {
      ++mismatches;
      ADD_FAILURE() << "round " << round << ": expected\n"
                    << Describe(model) << "saw\n"
                    << Describe(seen);
    }
  }
  ::close(to_writer[1]);
  EXPECT_EQ(Wait(writer), 0);
}

// The log of a race: for each slot, the last change a writer began and the
// last one whose call returned. Change n of a slot deletes its value when
// n % 4 == 3, else sets it to n.
struct RaceLog {
  static constexpr int kSlots = 8;
  std::atomic<std::uint32_t> begun[kSlots];
  std::atomic<std::uint32_t> returned[kSlots];
};

bool DeletesAt(std::uint32_t change) { return change % 4 == 3; }

// Whether a read that began after change `floor` returned and ended before
// change `ceiling` began may see `seen` (null: no value).
bool Allowed(std::uint32_t floor, std::uint32_t ceiling, const std::optional<std::uint32_t>& seen) {
  if (seen) return floor <= *seen && *seen <= ceiling && !DeletesAt(*seen);
  if (floor == 0) return true;
  for (std::uint32_t change = floor; change <= ceiling; ++change) {
    if (DeletesAt(change)) return true;
  }
  return false;
}

std::string SlotName(int slot) { return "S" + std::to_string(slot); }

TEST_F(ReadImageTest, EveryReadInARaceShowsACommittedState) {
  constexpr int kWriters = 2;
  constexpr int kChangesPerWriter = 1500;
  void* shared =
      ::mmap(nullptr, sizeof(RaceLog), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* log = new (shared) RaceLog{};
  UseDatabase();
  platform::RegCloseKey(Create(kHkeyCurrentUser, "Software\\QvRace"));
  TestControls::ResetRegistry();  // each process opens the file for itself

  pid_t writers[kWriters];
  for (int id = 0; id < kWriters; ++id) {
    writers[id] = Spawn([id, log] {
      HKEY key = Create(kHkeyCurrentUser, "Software\\QvRace");
      std::mt19937 random(static_cast<unsigned>(id + 1));
      std::uint32_t changes[RaceLog::kSlots] = {};
      for (int i = 0; i < kChangesPerWriter; ++i) {
        const int slot = 2 * static_cast<int>(random() % (RaceLog::kSlots / 2)) + id;
        const std::uint32_t change = ++changes[slot];
        log->begun[slot].store(change);
        const LONG result =
            DeletesAt(change) ? platform::RegDeleteValueA(key, SlotName(slot).c_str())
                              : platform::RegSetValueExA(
                                    key, SlotName(slot).c_str(), 0, platform::kRegDword,
                                    reinterpret_cast<const unsigned char*>(&change), sizeof change);
        if (result != 0 && !(DeletesAt(change) && result == 2)) return false;
        log->returned[slot].store(change);
      }
      platform::RegCloseKey(key);
      return true;
    });
  }

  UseDatabase();
  HKEY key = 0;
  ASSERT_EQ(
      platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvRace", 0, platform::kKeyRead, &key),
      0);
  std::mt19937 random(7);
  int reads = 0;
  int failures = 0;
  const auto check = [&](int slot, std::uint32_t floor, const std::optional<std::uint32_t>& seen,
                         const char* how) {
    const std::uint32_t ceiling = log->begun[slot].load();
    ++reads;
    if (!Allowed(floor, ceiling, seen) && ++failures <= 5) {
      ADD_FAILURE() << how << " " << SlotName(slot) << ": saw "
                    << (seen ? std::to_string(*seen) : "none") << " between changes " << floor
                    << " and " << ceiling;
    }
  };
  const auto writers_running = [&] {
    for (pid_t writer : writers) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(writer), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == 0) {
        return true;
      }
    }
    return false;
  };
  for (bool last = false; !last;) {
    last = !writers_running();  // one more pass after both have finished
    for (int pass = 0; pass < 50; ++pass) {
      if (random() % 8 != 0) {
        const int slot = static_cast<int>(random() % RaceLog::kSlots);
        const std::uint32_t floor = log->returned[slot].load();
        std::uint32_t data = 0;
        DWORD size = sizeof data;
        const LONG result =
            platform::RegQueryValueExA(key, SlotName(slot).c_str(), nullptr, nullptr,
                                       reinterpret_cast<unsigned char*>(&data), &size);
        check(slot, floor, result == 0 ? std::optional<std::uint32_t>(data) : std::nullopt,
              "a query of");
        continue;
      }
      // A listing: every slot it shows. (One it leaves out proves nothing: a
      // value deleted before the listing's position moves the rest up.)
      std::uint32_t floors[RaceLog::kSlots];
      for (int slot = 0; slot < RaceLog::kSlots; ++slot) floors[slot] = log->returned[slot].load();
      std::map<int, std::uint32_t> listed;
      char name[16];
      std::uint32_t data = 0;
      for (DWORD i = 0;; ++i) {
        DWORD name_size = sizeof name;
        DWORD size = sizeof data;
        if (platform::RegEnumValueA(key, i, name, &name_size, nullptr, nullptr,
                                    reinterpret_cast<unsigned char*>(&data), &size) != 0) {
          break;
        }
        listed[std::stoi(name + 1)] = data;
      }
      for (const auto& [slot, seen] : listed) check(slot, floors[slot], seen, "a listing of");
    }
  }
  platform::RegCloseKey(key);
  for (pid_t writer : writers) EXPECT_EQ(Wait(writer), 0);
  EXPECT_GT(reads, 1000);
  ::munmap(shared, sizeof(RaceLog));
}

// A store that lets another connection commit in the middle of a call, just
// before the call's first read that the image cannot answer.
class InterruptedStore final : public testing_support::ForwardingStore {
 public:
  InterruptedStore(std::unique_ptr<SqliteStore> inner, std::string path)
      : ForwardingStore(std::move(inner)), path_(std::move(path)) {}
  const StoredValue* GetValue(KeyId key, const std::u16string& folded) override {
    ++value_reads;
    if (interrupt_next) {
      interrupt_next = false;
      SqliteStore other(path_);
      other.Begin(true);
      other.SetValue(key, folded, StoredValue{u"Late", platform::kRegDword, std::string(4, '\7')});
      other.SetValue(key, u"EARLY",
                     StoredValue{u"Early", platform::kRegDword, std::string(4, '\2')});
      other.Commit();
    }
    return ForwardingStore::GetValue(key, folded);
  }
  bool interrupt_next = false;
  int value_reads = 0;

 private:
  std::string path_;
};

TEST_F(ReadImageTest, ACallThatMeetsACommitAfterTheImageAnsweredRunsAgain) {
  auto inner = std::make_unique<SqliteStore>(database_);
  auto store = std::make_unique<InterruptedStore>(std::move(inner), database_);
  InterruptedStore* interrupted = store.get();
  TestControls::UseRegistryStore(std::move(store));
  HKEY key = Create(kHkeyCurrentUser, "Software\\QvInterrupted");
  const DWORD one = 1;
  ASSERT_EQ(platform::RegSetValueExA(key, "Early", 0, platform::kRegDword,
                                     reinterpret_cast<const unsigned char*>(&one), sizeof one),
            0);
  EXPECT_EQ(ReadNumber(key, "Early"), 1u);  // the key and Early are in the image now

  interrupted->interrupt_next = true;
  interrupted->value_reads = 0;
  EXPECT_EQ(ReadNumber(key, "Late"), 0x07070707u);
  EXPECT_EQ(interrupted->value_reads, 2) << "the call ran once more";
  EXPECT_EQ(ReadNumber(key, "Early"), 0x02020202u);
  platform::RegCloseKey(key);
}

}  // namespace
}  // namespace quorvane
