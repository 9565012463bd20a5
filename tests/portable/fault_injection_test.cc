// Every platform call of every registry operation made to fail in turn: the
// caller receives the mapped error unchanged and no handle stays open.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using platform::portable::RegCall;
using platform::portable::TestControls;

struct Outcome {
  int failing_calls = 0;  // how many calls the operation makes
};

// Makes the 1st, 2nd, ... registry call of `operation` fail with `code` until
// the operation runs through without reaching the failure.
Outcome FailEachCallInTurn(const std::function<void()>& operation, platform::LONG code,
                           bool raises = true) {
  Outcome outcome;
  for (int nth = 1; nth < 50; ++nth) {
    SCOPED_TRACE("failing call " + std::to_string(nth));
    const int handles_before = TestControls::OpenHandleCount();
    TestControls::FailCall(RegCall::kAny, nth, code);
    bool raised = false;
    try {
      operation();
    } catch (const ErrorObject& error) {
      raised = true;
      EXPECT_EQ(error.Number(), Registry::RegistryErrorBase + code);
      EXPECT_EQ(error.Source(), u"qvReg.Registry");
    }
    EXPECT_EQ(TestControls::OpenHandleCount(), handles_before) << "a handle was left open";
    if (TestControls::PendingFailureCount() != 0) {
      TestControls::ClearFailures();
      EXPECT_FALSE(raised) << "raised without a failure";
      break;
    }
    if (raises) {
      EXPECT_TRUE(raised) << "the failure was swallowed";
    }
    ++outcome.failing_calls;
  }
  return outcome;
}

class FaultInjectionTest : public ::testing::TestWithParam<platform::LONG> {
 protected:
  void SetUp() override {
    registry_.CreateKey(scratch_.Root(), scratch_.Below(u"Kid\\Grandchild"));
    registry_.SetValue(scratch_.Root(), scratch_.Path(), u"text", kRegSz, u"abc");
    registry_.SetValue(scratch_.Root(), scratch_.Path(), u"number", kRegDword, std::int32_t{7});
  }
  void TearDown() override { TestControls::ClearFailures(); }

  testing_support::ScratchKey scratch_;
  Registry registry_;
};

TEST_P(FaultInjectionTest, EveryOperation) {
  const platform::LONG code = GetParam();
  const HKeyValue root = scratch_.Root();
  const std::u16string path = scratch_.Path();
  // open, create, close, close
  EXPECT_EQ(FailEachCallInTurn([&] { registry_.CreateKey(root, path + u"\\New\\Deeper"); }, code)
                .failing_calls,
            2);
  EXPECT_EQ(FailEachCallInTurn([&] { registry_.DeleteKey(root, path + u"\\New\\Deeper"); }, code)
                .failing_calls,
            2);
  EXPECT_EQ(FailEachCallInTurn([&] { registry_.SetValue(root, path, u"v", kRegSz, u"x"); }, code)
                .failing_calls,
            2);
  EXPECT_EQ(FailEachCallInTurn([&] { (void)registry_.QueryValue(root, path, u"text"); }, code)
                .failing_calls,
            3);
  EXPECT_EQ(FailEachCallInTurn([&] { (void)registry_.QueryValue(root, path, u"number"); }, code)
                .failing_calls,
            3);
  EXPECT_EQ(FailEachCallInTurn([&] { (void)registry_.QueryType(root, path, u"text"); }, code)
                .failing_calls,
            2);
  EXPECT_EQ(
      FailEachCallInTurn([&] { registry_.DeleteValue(root, path, u"v"); }, code).failing_calls, 2);
  SelfRegisterClasses settings;
  const std::u16string app = u"QvFault" + path.substr(22);
  EXPECT_EQ(FailEachCallInTurn([&] { settings.QvSaveSetting(app, u"S", u"K", u"v"); }, code)
                .failing_calls,
            4);
  testing_support::DeleteTree(kHkeyLocalMachine,
                              "Software\\Quorvane\\" + testing_support::Narrow(app));
}

TEST_P(FaultInjectionTest, RemoteOperations) {
  TestControls::DeclareRemoteMachine(u"faultfar");
  const platform::LONG code = GetParam();
  registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvFault", u"faultfar");
  registry_.SetValue(kHkeyLocalMachine, u"Software\\QvFault", u"v", kRegSz, u"x", u"faultfar");
  // connect, open, create
  EXPECT_EQ(
      FailEachCallInTurn(
          [&] { registry_.CreateKey(kHkeyLocalMachine, u"Software\\QvFault\\K", u"faultfar"); },
          code)
          .failing_calls,
      3);
  // connect, open, query, query
  EXPECT_EQ(FailEachCallInTurn(
                [&] {
                  (void)registry_.QueryValue(kHkeyLocalMachine, u"Software\\QvFault", u"v",
                                             u"faultfar");
                },
                code)
                .failing_calls,
            4);
  EXPECT_EQ(FailEachCallInTurn(
                [&] {
                  (void)registry_.GetBranchNames(kHkeyLocalMachine, u"Software\\QvFault",
                                                 u"faultfar");
                },
                code, false)
                .failing_calls,
            4);  // connect, open, the name, the end of the list
  registry_.DeleteKey(kHkeyLocalMachine, u"Software\\QvFault\\K", u"faultfar");
  registry_.DeleteKey(kHkeyLocalMachine, u"Software\\QvFault", u"faultfar");
}

TEST_P(FaultInjectionTest, BranchNamesKeepWhatWasFoundBeforeTheFailure) {
  registry_.CreateKey(scratch_.Root(), scratch_.Below(u"Second"));
  const int handles_before = TestControls::OpenHandleCount();
  TestControls::FailCall(RegCall::kOpenKeyEx, 1, GetParam());
  EXPECT_EQ(registry_.GetBranchNames(scratch_.Root(), scratch_.Path()).Count(), 0);
  TestControls::FailCall(RegCall::kEnumKey, 2, GetParam());
  const Collection names = registry_.GetBranchNames(scratch_.Root(), scratch_.Path());
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Item(1), Variant(u"Kid"));
  EXPECT_EQ(TestControls::OpenHandleCount(), handles_before);
}

TEST_P(FaultInjectionTest, SettingsReadAnswersEveryFailureWithTheDefault) {
  SelfRegisterClasses settings;
  const std::u16string app = u"QvFaultRead" + scratch_.Path().substr(22);
  settings.QvSaveSetting(app, u"S", u"K", u"stored");
  for (int nth = 1; nth <= 3; ++nth) {
    TestControls::FailCall(RegCall::kAny, nth, GetParam());
    EXPECT_EQ(settings.QvGetSetting(app, u"S", u"K", u"default"), Variant(u"default"));
    EXPECT_EQ(TestControls::PendingFailureCount(), 0);
  }
  EXPECT_EQ(settings.QvGetSetting(app, u"S", u"K", u"default"), Variant(u"stored"));
  testing_support::DeleteTree(kHkeyLocalMachine,
                              "Software\\Quorvane\\" + testing_support::Narrow(app));
}

INSTANTIATE_TEST_SUITE_P(Codes, FaultInjectionTest,
                         ::testing::Values(platform::kErrorAccessDenied,
                                           platform::kErrorBadDbDatabase, 14));

}  // namespace
}  // namespace quorvane
