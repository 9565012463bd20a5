// The read image's table by name, held against a std::map through growth,
// probes that wrap around the end, replacements and lookups that miss.
#include <quorvane/platform/portable/store/sqlite/name_table.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace quorvane::platform::portable {
namespace {

TEST(NameTableTest, AnswersAsAMapDoesThroughGrowthAndReplacement) {
  NameTable<int> table;
  std::map<std::u16string, int> model;
  EXPECT_EQ(table.Find(u"absent"), nullptr) << "an empty table";
  std::mt19937 random(11);
  // Few distinct names, so that adds often meet a name already there.
  std::uniform_int_distribution<int> name_number(0, 3000);
  for (int step = 0; step < 20000; ++step) {
    const std::u16string name =
        u"n" + std::u16string(1, static_cast<char16_t>(name_number(random)));
    switch (step % 3) {
      case 0: {
        const auto [mapped, added] = table.Add(name, step);
        const auto [kept, model_added] = model.try_emplace(name, step);
        ASSERT_EQ(added, model_added);
        ASSERT_EQ(*mapped, kept->second) << "an existing entry is kept";
        break;
      }
      case 1:
        ASSERT_EQ(table.Set(name, -step), model.insert_or_assign(name, -step).second);
        break;
      default: {
        const int* found = table.Find(name);
        const auto expected = model.find(name);
        ASSERT_EQ(found != nullptr, expected != model.end()) << step;
        if (found != nullptr) {
          ASSERT_EQ(*found, expected->second);
        }
      }
    }
    ASSERT_EQ(table.Size(), model.size());
  }
  std::map<std::u16string, int> visited;
  table.ForEach([&](const std::u16string& name, int& mapped) { visited[name] = mapped++; });
  EXPECT_EQ(visited, model) << "every entry once";
  for (const auto& [name, mapped] : model) ASSERT_EQ(*table.Find(name), mapped + 1);
  table.Clear();
  EXPECT_EQ(table.Size(), 0u);
  EXPECT_EQ(table.Find(model.begin()->first), nullptr);
  EXPECT_TRUE(table.Add(u"again", 1).second) << "usable after Clear";
}

}  // namespace
}  // namespace quorvane::platform::portable
