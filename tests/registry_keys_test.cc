#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quorvane/registry/registry.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::ScratchKey;

using testing_support::kKeyInvalid;
constexpr std::int32_t kKeyNotWritten = -2147210499;
constexpr std::int32_t kUnreachableMachine = Registry::RegistryErrorBase + 53;

std::vector<std::u16string> Names(const Collection& names) {
  std::vector<std::u16string> list;
  for (const Variant& name : names) list.push_back(name.ToText());
  return list;
}

bool KeyExists(const ScratchKey& scratch, const std::u16string& relative) {
  platform::HKEY key = 0;
  const auto path = testing_support::Narrow(scratch.Below(relative));
  if (platform::RegOpenKeyExA(scratch.Root(), path.c_str(), 0, platform::kKeyRead, &key) != 0) {
    return false;
  }
  platform::RegCloseKey(key);
  return true;
}

TEST(RegistryKeysTest, CreateKeyMakesEveryLevelAndCanBeRepeated) {
  ScratchKey scratch;
  Registry registry;
  registry.CreateKey(scratch.Root(), scratch.Below(u"One\\Two\\Three"));
  EXPECT_TRUE(KeyExists(scratch, u"One\\Two\\Three"));
  registry.SetValue(scratch.Root(), scratch.Below(u"One\\Two"), u"kept", kRegSz, u"yes");
  registry.CreateKey(scratch.Root(), scratch.Below(u"One\\Two\\Three"));
  EXPECT_EQ(registry.QueryValue(scratch.Root(), scratch.Below(u"One\\Two"), u"kept"),
            Variant(u"yes"))
      << "creating again changes nothing";
}

TEST(RegistryKeysTest, DeleteKeyRaisesWhatThePlatformRefuses) {
  ScratchKey scratch;
  Registry registry;
  EXPECT_RAISES(kKeyInvalid, registry.DeleteKey(scratch.Root(), scratch.Below(u"Missing")));
  registry.CreateKey(scratch.Root(), scratch.Below(u"Parent\\Child"));
  EXPECT_RAISES(kKeyNotWritten, registry.DeleteKey(scratch.Root(), scratch.Below(u"Parent")));
  EXPECT_TRUE(KeyExists(scratch, u"Parent\\Child"));
  registry.DeleteKey(scratch.Root(), scratch.Below(u"Parent\\Child"));
  registry.DeleteKey(scratch.Root(), scratch.Below(u"Parent"));
  EXPECT_FALSE(KeyExists(scratch, u"Parent"));
}

TEST(RegistryKeysTest, BranchNamesAreListedExactlyAsStored) {
  ScratchKey scratch;
  Registry registry;
  for (const std::u16string name : {u"beta", u"Alpha", u"  padded  ", u"   "}) {
    registry.CreateKey(scratch.Root(), scratch.Below(name));
  }
  // The longest name a key may have. Made relative to the scratch key: Wine
  // refuses whole paths of more than 260 characters.
  const std::string longest(255, 'n');
  platform::HKEY parent = 0;
  platform::HKEY created = 0;
  ASSERT_EQ(platform::RegOpenKeyExA(scratch.Root(), scratch.AnsiPath().c_str(), 0,
                                    platform::kKeyAllAccess, &parent),
            0);
  ASSERT_EQ(platform::RegCreateKeyA(parent, longest.c_str(), &created), 0);
  platform::RegCloseKey(created);
  platform::RegCloseKey(parent);

  const std::vector<std::u16string> names =
      Names(registry.GetBranchNames(scratch.Root(), scratch.Path()));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"   ", u"  padded  ", u"Alpha", u"beta",
                                                testing_support::Widen(longest)}));
  // Each listed name opens the key it came from.
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    EXPECT_TRUE(KeyExists(scratch, names[i])) << testing_support::Narrow(names[i]);
    EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Below(names[i])).Count(), 0);
  }
}

TEST(RegistryKeysTest, BranchNamesAnswerFailuresWithAnEmptyCollection) {
  ScratchKey scratch;
  Registry registry;
  EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Path()).Count(), 0) << "no subkeys";
  EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Below(u"Missing")).Count(), 0);
  registry.CreateKey(scratch.Root(), scratch.Below(u"Kid"));
  EXPECT_EQ(registry.GetBranchNames(kHkeyLocalMachine, u"Software", u"qv-no-such-host").Count(), 0);
  EXPECT_EQ(registry.GetBranchNames(0, u"Software").Count(), 0) << "an invalid root";
}

TEST(RegistryKeysTest, UnreachableMachineRaisesTheMappedCode) {
  Registry registry;
  for (const std::u16string machine : {u"qv-no-such-host", u"\\\\qv-no-such-host"}) {
    const ErrorObject error = testing_support::CatchError(
        [&] { registry.CreateKey(kHkeyLocalMachine, u"Software\\QuorvaneTest", machine); });
    EXPECT_EQ(error.Number(), kUnreachableMachine);
    EXPECT_EQ(error.Description(), u"Undefined registry error.");
    EXPECT_RAISES(kUnreachableMachine,
                  registry.QueryValue(kHkeyLocalMachine, u"Software", u"v", machine));
    EXPECT_RAISES(kUnreachableMachine,
                  registry.QueryType(kHkeyLocalMachine, u"Software", u"v", machine));
  }
}

TEST(RegistryKeysTest, MachineNameOfTheLocalMachineIsNotRewritten) {
  ScratchKey scratch;
  Registry registry;
  registry.SetValue(scratch.Root(), scratch.Path(), u"v", kRegDword, std::int32_t{1});
  const std::u16string machine = u"";
  EXPECT_EQ(registry.QueryType(scratch.Root(), scratch.Path(), u"v", machine), kRegDword);
  EXPECT_EQ(machine, u"");
}

}  // namespace
}  // namespace quorvane
