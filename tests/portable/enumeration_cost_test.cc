// Listing a key by consecutive indexes costs one store step an item, for
// values as for subkeys, so exporting a key with many values stays linear;
// listing it in any other order costs one read of the list, then a step.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/portable/forwarding_store.h"

namespace quorvane {
namespace {

using platform::portable::TestControls;

// A memory store that counts the enumeration steps asked of it.
class CountingStore final : public testing_support::ForwardingStore {
 public:
  explicit CountingStore(int* steps) : steps_(steps) {}
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override {
    ++*steps_;
    return ForwardingStore::NextSubkey(key, after);
  }
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override {
    ++*steps_;
    return ForwardingStore::NextValue(key, after, folded);
  }

 private:
  int* steps_;
};

TEST(EnumerationCostTest, ValuesAndSubkeysCostOneStepAnItem) {
  int steps = 0;
  TestControls::UseRegistryStore(std::make_unique<CountingStore>(&steps));
  constexpr int kItems = 300;
  platform::HKEY key = 0;
  ASSERT_EQ(platform::RegCreateKeyA(platform::kHkeyCurrentUser, "Software\\QvMany", &key), 0);
  for (int i = 0; i < kItems; ++i) {
    const std::string name = "N" + std::to_string(1000 + i);
    ASSERT_EQ(platform::RegSetValueExA(key, name.c_str(), 0, platform::kRegBinary, nullptr, 0), 0);
    platform::HKEY child = 0;
    ASSERT_EQ(platform::RegCreateKeyA(key, name.c_str(), &child), 0);
    EXPECT_EQ(platform::RegCloseKey(child), 0);
  }
  steps = 0;
  char name[64];
  platform::DWORD index = 0;
  for (;; ++index) {
    platform::DWORD name_size = sizeof name;
    platform::DWORD data_size = 0;
    // Asked twice an index, as a copier asks for the size and then the data.
    if (platform::RegEnumValueA(key, index, name, &name_size, nullptr, nullptr, nullptr,
                                &data_size) != 0) {
      break;
    }
    name_size = sizeof name;
    ASSERT_EQ(platform::RegEnumValueA(key, index, name, &name_size, nullptr, nullptr, nullptr,
                                      &data_size),
              0);
  }
  EXPECT_EQ(index, static_cast<platform::DWORD>(kItems));
  EXPECT_LE(steps, kItems + 2);
  steps = 0;
  for (index = 0; platform::RegEnumKeyA(key, index, name, sizeof name) == 0; ++index) {
  }
  EXPECT_EQ(index, static_cast<platform::DWORD>(kItems));
  EXPECT_LE(steps, kItems + 2);
  // Downward (as a loop that deletes while it lists walks) and from the last
  // index on a fresh handle: one read of the whole list, then a step each.
  for (const char* order : {"downward", "jumps"}) {
    SCOPED_TRACE(order);
    platform::HKEY fresh = 0;
    ASSERT_EQ(platform::RegOpenKeyExA(platform::kHkeyCurrentUser, "Software\\QvMany", 0,
                                      platform::kKeyRead, &fresh),
              0);
    steps = 0;
    for (int i = kItems - 1; i >= 0; --i) {
      const auto at =
          static_cast<platform::DWORD>(std::string(order) == "downward" ? i : (i * 7) % kItems);
      ASSERT_EQ(platform::RegEnumKeyA(fresh, at, name, sizeof name), 0);
      platform::DWORD name_size = sizeof name;
      ASSERT_EQ(
          platform::RegEnumValueA(fresh, at, name, &name_size, nullptr, nullptr, nullptr, nullptr),
          0);
    }
    EXPECT_LE(steps, 2 * (kItems + 2));
    EXPECT_EQ(platform::RegCloseKey(fresh), 0);
  }
  EXPECT_EQ(platform::RegCloseKey(key), 0);
  TestControls::ResetRegistry();
}

// HKEY_CLASSES_ROOT lists the union of the user's and the machine's classes:
// out of order, the first handle reads both lists once and every later handle
// reuses the union until the registry changes.
TEST(EnumerationCostTest, MergedClassesAreListedOnceForEveryFreshHandle) {
  int steps = 0;
  TestControls::UseRegistryStore(std::make_unique<CountingStore>(&steps));
  // Upper-cased name -> the name listed (the user's where both have it).
  std::map<std::string, std::string> expected;
  const auto create = [&](platform::HKEY root, const std::string& name) {
    platform::HKEY key = 0;
    ASSERT_EQ(platform::RegCreateKeyA(root, ("Software\\Classes\\QvMerged\\" + name).c_str(), &key),
              0);
    EXPECT_EQ(platform::RegCloseKey(key), 0);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    expected.emplace(upper, name);
  };
  constexpr int kEach = 150;
  for (int i = 0; i < kEach; ++i) {
    create(platform::kHkeyCurrentUser, "u" + std::to_string(i));
    if (i % 3 == 0) create(platform::kHkeyCurrentUser, "both" + std::to_string(i));
  }
  for (int i = 0; i < kEach; ++i) {
    create(platform::kHkeyLocalMachine, "m" + std::to_string(i));
    if (i % 3 == 0) create(platform::kHkeyLocalMachine, "BOTH" + std::to_string(i));
  }
  const auto list_downward = [&]() {
    std::vector<std::string> names;
    platform::HKEY fresh = 0;
    EXPECT_EQ(platform::RegOpenKeyExA(platform::kHkeyClassesRoot, "QvMerged", 0, platform::kKeyRead,
                                      &fresh),
              0);
    char name[64];
    for (auto at = static_cast<platform::DWORD>(expected.size()); at-- > 0;) {
      EXPECT_EQ(platform::RegEnumKeyA(fresh, at, name, sizeof name), 0) << at;
      names.insert(names.begin(), name);
    }
    EXPECT_EQ(platform::RegEnumKeyA(fresh, static_cast<platform::DWORD>(expected.size()), name,
                                    sizeof name),
              platform::kErrorNoMoreItems);
    EXPECT_EQ(platform::RegCloseKey(fresh), 0);
    return names;
  };
  const auto expected_names = [&]() {
    std::vector<std::string> names;
    names.reserve(expected.size());
    for (const auto& entry : expected) names.push_back(entry.second);
    return names;
  };
  steps = 0;
  EXPECT_EQ(list_downward(), expected_names());
  EXPECT_LE(steps, 2 * (static_cast<int>(expected.size()) + 2)) << "both lists, read once";
  for (int handle = 0; handle < 3; ++handle) {
    steps = 0;
    EXPECT_EQ(list_downward(), expected_names());
    EXPECT_EQ(steps, 0) << "the union is reused";
  }
  create(platform::kHkeyCurrentUser, "m7");  // hides the machine's m7
  create(platform::kHkeyLocalMachine, "late");
  EXPECT_EQ(list_downward(), expected_names()) << "a change is seen";
  TestControls::ResetRegistry();
}

}  // namespace
}  // namespace quorvane
