// Remote machines declared through the portable backend's test controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::portable::CallRecord;
using platform::portable::RegCall;
using platform::portable::TestControls;

constexpr std::int32_t kOutOfMemoryRow = -2147210498;  // result 6
constexpr std::int32_t kNotWritten = -2147210499;      // result 5

class RemoteMachineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TestControls::DeclareRemoteMachine(u"far"); }
  void SetUp() override { TestControls::ClearCallLog(); }

  std::vector<CallRecord> Calls(RegCall call) {
    std::vector<CallRecord> calls;
    for (const CallRecord& record : TestControls::CallLog()) {
      if (record.call == call) calls.push_back(record);
    }
    return calls;
  }

  Registry registry_;
};

TEST_F(RemoteMachineTest, KeysLiveOnTheMachineNamed) {
  registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvRemote\\Only", u"far");
  EXPECT_EQ(registry_.GetBranchNames(kHkeyLocalMachine, u"Software\\QvRemote", u"\\\\far").Count(),
            1);
  EXPECT_EQ(registry_.GetBranchNames(kHkeyLocalMachine, u"Software\\QvRemote").Count(), 0)
      << "the local registry is another tree";
  registry_.SetValue(kHkeyLocalMachine, u"Software\\QvRemote\\Only", u"v", kRegSz, u"x", u"FAR");
  EXPECT_EQ(registry_.QueryValue(kHkeyLocalMachine, u"Software\\QvRemote\\Only", u"v", u"far"),
            Variant(u"x"));
  registry_.DeleteValue(kHkeyLocalMachine, u"Software\\QvRemote\\Only", u"v", u"far");
  registry_.DeleteKey(kHkeyLocalMachine, u"Software\\QvRemote\\Only", u"far");
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST_F(RemoteMachineTest, NamesArePrefixedWithTwoBackslashes) {
  struct Row {
    std::u16string machine;
    std::string connected_to;
  };
  const Row rows[] = {{u"far", "\\\\far"}, {u"\\\\far", "\\\\far"}, {u"\\far", "\\\\\\far"}};
  for (const Row& row : rows) {
    TestControls::ClearCallLog();
    (void)registry_.GetBranchNames(kHkeyLocalMachine, u"Software", row.machine);
    const std::vector<CallRecord> connects = Calls(RegCall::kConnectRegistry);
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0].argument, row.connected_to);
  }
  EXPECT_RAISES(Registry::RegistryErrorBase + 53,
                registry_.CreateKey(kHkeyLocalMachine, u"Software\\X", u"\\far"));
}

TEST_F(RemoteMachineTest, EachOperationAsksForItsRights) {
  registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvRights", u"far");
  registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvRights");
  registry_.SetValue(kHkeyLocalMachine, u"Software\\QvRights", u"v", kRegSz, u"x", u"far");
  registry_.SetValue(kHkeyLocalMachine, u"Software\\QvRights", u"v", kRegSz, u"x");
  struct Row {
    const char* operation;
    std::function<void(const std::u16string&)> call;
    platform::REGSAM local;
    platform::REGSAM remote;
  };
  const std::u16string branch = u"Software\\QvRights";
  const Row rows[] = {
      {"QueryValue",
       [&](auto& m) { (void)registry_.QueryValue(kHkeyLocalMachine, branch, u"v", m); }, 0x1,
       0x20019},
      {"QueryType", [&](auto& m) { (void)registry_.QueryType(kHkeyLocalMachine, branch, u"v", m); },
       0x20019, 0x20019},
      {"GetBranchNames",
       [&](auto& m) { (void)registry_.GetBranchNames(kHkeyLocalMachine, branch, m); }, 0x20019,
       0x20019},
      {"SetValue",
       [&](auto& m) { registry_.SetValue(kHkeyLocalMachine, branch, u"v", 1, u"y", m); }, 0x3F,
       0x3F},
      {"CreateKey", [&](auto& m) { registry_.CreateKey(kHkeyLocalMachine, branch, m); }, 0x3F,
       0x3F},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    for (const bool remote : {false, true}) {
      TestControls::ClearCallLog();
      row.call(remote ? u"far" : u"");
      const std::vector<CallRecord> opens = Calls(RegCall::kOpenKeyEx);
      ASSERT_EQ(opens.size(), 1u);
      EXPECT_EQ(opens[0].sam, remote ? row.remote : row.local);
      EXPECT_EQ(Calls(RegCall::kConnectRegistry).size(), remote ? 1u : 0u);
      EXPECT_EQ(TestControls::OpenHandleCount(), 0) << "the connection is closed too";
    }
  }
  registry_.DeleteKey(kHkeyLocalMachine, branch, u"far");
  registry_.DeleteKey(kHkeyLocalMachine, branch);
}

TEST_F(RemoteMachineTest, OnlySomeRootsConnect) {
  EXPECT_RAISES(kOutOfMemoryRow, registry_.CreateKey(kHkeyCurrentUser, u"Software\\X", u"far"));
  EXPECT_EQ(registry_.GetBranchNames(kHkeyCurrentUser, u"", u"far").Count(), 0);
  registry_.CreateKey(kHkeyUsers, u"QvRemoteUsers", u"far");
  registry_.DeleteKey(kHkeyUsers, u"QvRemoteUsers", u"far");
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST_F(RemoteMachineTest, FailedOpenAfterConnectingClosesTheConnection) {
  EXPECT_RAISES(-2147210502, registry_.QueryValue(kHkeyLocalMachine, u"Missing", u"v", u"far"));
  EXPECT_RAISES(-2147210502,
                registry_.SetValue(kHkeyLocalMachine, u"Missing", u"v", 1, u"x", u"far"));
  EXPECT_EQ(registry_.GetBranchNames(kHkeyLocalMachine, u"Missing", u"far").Count(), 0);
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST_F(RemoteMachineTest, TheOwnComputerNameIsTheLocalMachine) {
  TestControls::SetComputerName(u"HERE");
  registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvHere", u"here");
  EXPECT_EQ(registry_.GetBranchNames(kHkeyLocalMachine, u"Software\\QvHere").Count(), 0);
  registry_.DeleteKey(kHkeyLocalMachine, u"Software\\QvHere");
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST(RestrictedRightsTest, ReadOnlyLocalMachineRefusesSavingUnchanged) {
  Registry registry;
  registry.CreateKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvLocked\\S");
  registry.SetValue(kHkeyLocalMachine, u"Software\\Quorvane\\QvLocked\\S", u"K", 1, u"old");
  TestControls::RestrictRights(kHkeyLocalMachine, u"", platform::kKeyRead);
  SelfRegisterClasses settings;
  const ErrorObject error =
      testing_support::CatchError([&] { settings.QvSaveSetting(u"QvLocked", u"S", u"K", u"new"); });
  EXPECT_EQ(error.Number(), kNotWritten);
  EXPECT_EQ(error.Source(), u"qvReg.Registry");
  EXPECT_EQ(error.Description(), u"The registry key could not be written.");
  EXPECT_EQ(settings.QvGetSetting(u"QvLocked", u"S", u"K"), Variant(u"old"));
  TestControls::RestrictRights(kHkeyLocalMachine, u"", 0xFFFFFFFFu);
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvLocked\\S");
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvLocked");
}

TEST(RestrictedRightsTest, QueryValueNeedsOnlyTheRightToQuery) {
  testing_support::ScratchKey scratch;
  Registry registry;
  registry.CreateKey(scratch.Root(), scratch.Below(u"Kid"));
  registry.SetValue(scratch.Root(), scratch.Path(), u"v", 1, u"x");
  TestControls::RestrictRights(scratch.Root(), scratch.Path(), platform::kKeyQueryValue);
  EXPECT_EQ(registry.QueryValue(scratch.Root(), scratch.Path(), u"v"), Variant(u"x"));
  EXPECT_RAISES(kNotWritten, registry.QueryType(scratch.Root(), scratch.Path(), u"v"));
  EXPECT_EQ(registry.GetBranchNames(scratch.Root(), scratch.Path()).Count(), 0);
  EXPECT_RAISES(kNotWritten, registry.SetValue(scratch.Root(), scratch.Path(), u"v", 1, u"y"));
  TestControls::RestrictRights(scratch.Root(), scratch.Path(), 0xFFFFFFFFu);
}

TEST(ProcessViewTest, AThirtyTwoBitProcessKeepsItsSettingsInWow6432Node) {
  TestControls::ResetRegistry();
  TestControls::SetProcessIs32Bit(true);
  SelfRegisterClasses().QvSaveSetting(u"QvBits", u"Section", u"Key", u"32");
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"QvBits", u"Section", u"Key"), Variant(u"32"));
  platform::HKEY key = 0;
  EXPECT_EQ(platform::RegOpenKeyExA(platform::kHkeyLocalMachine,
                                    "Software\\Wow6432Node\\Quorvane\\QvBits\\Section", 0,
                                    platform::kKeyRead | 0x0100, &key),
            platform::kErrorSuccess);
  platform::RegCloseKey(key);
  TestControls::SetProcessIs32Bit(false);
  EXPECT_EQ(SelfRegisterClasses().QvGetSetting(u"QvBits", u"Section", u"Key", u"none"),
            Variant(u"none"))
      << "a 64-bit process does not see it";
  TestControls::ResetRegistry();
}

// The sequence Registry makes for a machine name: connect, then open the root
// again with an empty path. The handle that gives must stay in the process's
// view, so that a 32-bit process finds below it what it created through it.
TEST_F(RemoteMachineTest, AReopenedRootKeepsTheProcessView) {
  struct Row {
    bool process_is_32_bit;
    const char* stored;  // where the key lands, in the 64-bit view
  };
  const Row rows[] = {{false, "Software\\QvRemoteView\\K"},
                      {true, "Software\\Wow6432Node\\QvRemoteView\\K"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.process_is_32_bit ? "32-bit process" : "64-bit process");
    TestControls::SetProcessIs32Bit(row.process_is_32_bit);
    platform::HKEY connection = 0;
    platform::HKEY root = 0;
    platform::HKEY created = 0;
    platform::HKEY found = 0;
    ASSERT_EQ(platform::RegConnectRegistryA("\\\\far", kHkeyLocalMachine, &connection), 0);
    ASSERT_EQ(platform::RegOpenKeyExA(connection, "", 0, platform::kKeyAllAccess, &root), 0);
    ASSERT_EQ(platform::RegCreateKeyA(root, "Software\\QvRemoteView\\K", &created), 0);
    EXPECT_EQ(
        platform::RegOpenKeyExA(root, "Software\\QvRemoteView\\K", 0, platform::kKeyRead, &found),
        0)
        << "created through the reopened root, then not found through it";
    platform::RegCloseKey(found);
    EXPECT_EQ(platform::RegOpenKeyExA(connection, row.stored, 0,
                                      platform::kKeyRead | platform::kKeyWow64_64Key, &found),
              0);
    platform::RegCloseKey(found);
    EXPECT_EQ(platform::RegDeleteKeyA(root, "Software\\QvRemoteView\\K"), 0);
    EXPECT_EQ(platform::RegDeleteKeyA(root, "Software\\QvRemoteView"), 0);
    EXPECT_EQ(platform::RegDeleteKeyA(root, ""), platform::kErrorAccessDenied)
        << "the root a connection stands for is never deleted";
    for (platform::HKEY handle : {created, root, connection}) platform::RegCloseKey(handle);
    EXPECT_EQ(TestControls::OpenHandleCount(), 0);
  }
  TestControls::SetProcessIs32Bit(false);
}

}  // namespace
}  // namespace quorvane
