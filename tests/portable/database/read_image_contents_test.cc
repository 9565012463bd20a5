// What the read image holds: what was read and no more, nothing of a scan,
// and this process's own writes followed while another's commits empty it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include "tests/portable/database/read_image_fixture.h"

namespace quorvane {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::kHkeyCurrentUser;
using platform::portable::SqliteStore;
using testing_support::Create;
using testing_support::ReadImageTest;
using testing_support::ReadNumber;

TEST_F(ReadImageTest, TheImageHoldsWhatWasReadAndNoMore) {
  UseDatabase();
  HKEY key = Create(kHkeyCurrentUser, "Software\\QvMany");
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "Value" + std::to_string(i);
    const std::string data(100, 'x');
    ASSERT_EQ(platform::RegSetValueExA(key, name.c_str(), 0, platform::kRegSz,
                                       reinterpret_cast<const unsigned char*>(data.c_str()),
                                       static_cast<DWORD>(data.size() + 1)),
              0);
  }
  platform::RegCloseKey(key);
  SqliteStore* store = UseDatabase();  // as a process that starts afresh

  ASSERT_EQ(
      platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvMany", 0, platform::kKeyRead, &key),
      0);
  char data[128];
  DWORD size = sizeof data;
  ASSERT_EQ(platform::RegQueryValueExA(key, "Value7", nullptr, nullptr,
                                       reinterpret_cast<unsigned char*>(data), &size),
            0);
  const std::size_t one_value = store->ImageBytes();
  EXPECT_LT(one_value, 16u * 1024u) << "one value read, not the key's 2000";
  char name[32];
  DWORD index = 0;
  for (DWORD name_size = sizeof name; platform::RegEnumValueA(key, index, name, &name_size, nullptr,
                                                              nullptr, nullptr, nullptr) == 0;
       name_size = sizeof name) {
    ++index;
  }
  EXPECT_EQ(index, 2000u);
  EXPECT_GT(store->ImageBytes(), one_value + std::size_t{2000} * 200)
      << "a listing keeps the whole list";
  platform::RegCloseKey(key);

  // A scan (an export's walk) reads past the image: nothing of it stays.
  store = UseDatabase();
  ASSERT_EQ(platform::BeginRegistryScan(), 0);
  ASSERT_EQ(
      platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvMany", 0, platform::kKeyRead, &key),
      0);
  index = 0;
  for (DWORD name_size = sizeof name; platform::RegEnumValueA(key, index, name, &name_size, nullptr,
                                                              nullptr, nullptr, nullptr) == 0;
       name_size = sizeof name) {
    ++index;
  }
  platform::RegCloseKey(key);
  EXPECT_EQ(platform::EndRegistryBatch(true), 0);
  EXPECT_EQ(index, 2000u);
  EXPECT_LT(store->ImageBytes(), 16u * 1024u) << "a scan keeps nothing";
}

DWORD SubkeyCount(const char* path) {
  HKEY key = 0;
  EXPECT_EQ(platform::RegOpenKeyExA(kHkeyCurrentUser, path, 0, platform::kKeyRead, &key), 0);
  char name[64];
  DWORD count = 0;
  while (platform::RegEnumKeyA(key, count, name, sizeof name) == 0) ++count;
  platform::RegCloseKey(key);
  return count;
}

void SetNumber(const char* path, const char* name, DWORD number) {
  HKEY key = Create(kHkeyCurrentUser, path);
  EXPECT_EQ(
      platform::RegSetValueExA(key, name, 0, platform::kRegDword,
                               reinterpret_cast<const unsigned char*>(&number), sizeof number),
      0);
  platform::RegCloseKey(key);
}

DWORD GetNumber(const char* path, const char* name) {
  HKEY key = 0;
  EXPECT_EQ(platform::RegOpenKeyExA(kHkeyCurrentUser, path, 0, platform::kKeyRead, &key), 0);
  const DWORD number = ReadNumber(key, name);
  platform::RegCloseKey(key);
  return number;
}

TEST_F(ReadImageTest, OwnWritesKeepTheRestOfTheImageAndAnotherProcesssCommitsEmptyIt) {
  SqliteStore* store = UseDatabase();
  HKEY listed = Create(kHkeyCurrentUser, "Software\\QvListed");
  for (int i = 0; i < 500; ++i) platform::RegCloseKey(Create(listed, "k" + std::to_string(i)));
  platform::RegCloseKey(listed);
  SetNumber("Software\\QvOther", "n", 1);
  ASSERT_EQ(SubkeyCount("Software\\QvListed"), 500u);
  const std::size_t listed_bytes = store->ImageBytes();

  // A write of this process elsewhere leaves the list in the image.
  SetNumber("Software\\QvOther", "n", 2);
  EXPECT_GE(store->ImageBytes(), listed_bytes - 1024) << "the list was kept";
  EXPECT_EQ(GetNumber("Software\\QvOther", "n"), 2u);
  EXPECT_EQ(SubkeyCount("Software\\QvListed"), 500u);

  // One to the listed key itself is seen; so are deletes of values and keys.
  platform::RegCloseKey(Create(kHkeyCurrentUser, "Software\\QvListed\\new"));
  EXPECT_EQ(SubkeyCount("Software\\QvListed"), 501u);
  ASSERT_EQ(platform::RegDeleteKeyA(kHkeyCurrentUser, "Software\\QvListed\\k7"), 0);
  EXPECT_EQ(SubkeyCount("Software\\QvListed"), 500u);
  // Batches that add or delete a subkey and are then abandoned leave no
  // trace in the list the image follows.
  for (const bool add : {true, false}) {
    ASSERT_EQ(platform::BeginRegistryBatch(true), 0);
    if (add) {
      platform::RegCloseKey(Create(kHkeyCurrentUser, "Software\\QvListed\\abandoned"));
    } else {
      ASSERT_EQ(platform::RegDeleteKeyA(kHkeyCurrentUser, "Software\\QvListed\\k8"), 0);
    }
    EXPECT_EQ(platform::EndRegistryBatch(false), 0);
    EXPECT_EQ(SubkeyCount("Software\\QvListed"), 500u) << (add ? "added" : "deleted");
  }

  // Another process's commits, then a write of ours: the image was of an
  // older file, and nothing of it may answer.
  const pid_t writer = Spawn([] {
    platform::RegCloseKey(Create(kHkeyCurrentUser, "Software\\QvListed\\theirs"));
    SetNumber("Software\\QvOther", "n", 9);
    return !::testing::Test::HasFailure();
  });
  ASSERT_EQ(Wait(writer), 0);
  SetNumber("Software\\QvThird", "n", 3);
  EXPECT_EQ(SubkeyCount("Software\\QvListed"), 501u);
  EXPECT_EQ(GetNumber("Software\\QvOther", "n"), 9u);
}

// Every value of a key as "name=data", in the order the registry lists them.
std::vector<std::string> Listing(const char* path) {
  HKEY key = 0;
  EXPECT_EQ(platform::RegOpenKeyExA(kHkeyCurrentUser, path, 0, platform::kKeyRead, &key), 0);
  std::vector<std::string> listing;
  char name[64];
  unsigned char data[64];
  for (DWORD index = 0;; ++index) {
    DWORD name_size = sizeof name;
    DWORD data_size = sizeof data;
    if (platform::RegEnumValueA(key, index, name, &name_size, nullptr, nullptr, data, &data_size) !=
        0) {
      break;
    }
    listing.push_back(std::string(name) + "=" + reinterpret_cast<const char*>(data));
  }
  platform::RegCloseKey(key);
  return listing;
}

std::string Text(const char* path, const char* name) {
  HKEY key = 0;
  EXPECT_EQ(platform::RegOpenKeyExA(kHkeyCurrentUser, path, 0, platform::kKeyRead, &key), 0);
  char data[64] = "(none)";
  DWORD size = sizeof data;
  (void)platform::RegQueryValueExA(key, name, nullptr, nullptr,
                                   reinterpret_cast<unsigned char*>(data), &size);
  platform::RegCloseKey(key);
  return data;
}

void SetText(const char* path, const char* name, const std::string& text) {
  HKEY key = Create(kHkeyCurrentUser, path);
  EXPECT_EQ(platform::RegSetValueExA(key, name, 0, platform::kRegSz,
                                     reinterpret_cast<const unsigned char*>(text.c_str()),
                                     static_cast<DWORD>(text.size() + 1)),
            0);
  platform::RegCloseKey(key);
}

// Values this process sets and deletes change the image in place, after a
// key was listed whole or looked up by name: each answer after a write is
// what the file holds (names keep the case they were first written with),
// an abandoned batch leaves nothing behind, and a process starting afresh
// lists the same.
TEST_F(ReadImageTest, OwnValueWritesChangeTheImageAsTheyChangeTheFile) {
  constexpr const char* kPath = "Software\\QvValues";
  std::map<std::string, std::string> file;  // by upper-case name: "name=data"
  const auto set = [&](const char* name, const std::string& text) {
    SetText(kPath, name, text);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto known = file.find(upper);
    const std::string kept =
        known == file.end() ? name : known->second.substr(0, known->second.find('='));
    file[upper] = kept + "=" + text;
  };
  const auto listed = [&] {
    std::vector<std::string> listing;
    for (const auto& [upper, entry] : file) listing.push_back(entry);
    return listing;
  };
  UseDatabase();
  for (int i = 0; i < 300; ++i) set(("V" + std::to_string(i)).c_str(), "x");
  SqliteStore* store = UseDatabase();  // as a process that starts afresh
  ASSERT_EQ(Listing(kPath), listed());
  const std::size_t listed_bytes = store->ImageBytes();

  set("v7", "new");  // another case: the name stays V7
  EXPECT_GE(store->ImageBytes(), listed_bytes - 1024) << "the key's values were dropped";
  EXPECT_EQ(Text(kPath, "V7"), "new");
  EXPECT_EQ(Listing(kPath), listed());
  HKEY key = Create(kHkeyCurrentUser, kPath);
  ASSERT_EQ(platform::RegDeleteValueA(key, "V8"), 0);
  file.erase("V8");
  EXPECT_EQ(Text(kPath, "V8"), "(none)");
  set("Fresh", "made");
  EXPECT_EQ(Text(kPath, "FRESH"), "made");
  EXPECT_EQ(Listing(kPath), listed());

  // A batch's writes, then abandoned: the answers are the file's again.
  ASSERT_EQ(platform::BeginRegistryBatch(true), 0);
  SetText(kPath, "V9", "abandoned");
  ASSERT_EQ(platform::RegDeleteValueA(key, "V10"), 0);
  EXPECT_EQ(Text(kPath, "V9"), "abandoned");
  EXPECT_EQ(platform::EndRegistryBatch(false), 0);
  EXPECT_EQ(Text(kPath, "V9"), "x");
  EXPECT_EQ(Text(kPath, "V10"), "x");
  platform::RegCloseKey(key);

  // Looked up by name only, never listed: set and read again.
  UseDatabase();
  EXPECT_EQ(Text(kPath, "V20"), "x");
  set("V20", "again");
  EXPECT_EQ(Text(kPath, "V20"), "again");
  set("v21", "unread");  // not looked up before: its name from the file
  EXPECT_EQ(Listing(kPath), listed());

  UseDatabase();  // as a process that starts afresh
  EXPECT_EQ(Listing(kPath), listed());
}

}  // namespace
}  // namespace quorvane
