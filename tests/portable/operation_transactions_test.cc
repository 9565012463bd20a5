// Each library operation is one store transaction where the store has them:
// the calls it makes see one snapshot (nothing changes between opening a key
// and using it, or between a value's size and its data) and pay for one lock
// round trip, not one per call.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/portable/forwarding_store.h"

namespace quorvane {
namespace {

using platform::portable::TestControls;

// A memory store that says it has transactions and counts the outermost ones:
// a batch, or a call's own transaction outside any batch.
class TransactionCountingStore final : public testing_support::ForwardingStore {
 public:
  explicit TransactionCountingStore(int* transactions) : transactions_(transactions) {}
  bool HasTransactions() const override { return true; }
  void BeginBatch(bool /*writing*/) override {
    if (batch_depth_++ == 0) ++*transactions_;
  }
  void EndBatch(bool /*commit*/) override { --batch_depth_; }
  void Begin(bool writing) override {
    if (batch_depth_ == 0) ++*transactions_;
    ForwardingStore::Begin(writing);
  }

 private:
  int* transactions_;
  int batch_depth_ = 0;
};

class OperationTransactionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestControls::UseRegistryStore(std::make_unique<TransactionCountingStore>(&transactions_));
    registry_.CreateKey(kHkeyCurrentUser, kBranch + u"\\child");
    registry_.SetValue(kHkeyCurrentUser, kBranch, u"text", kRegSz, u"a value");
  }
  void TearDown() override { TestControls::ResetRegistry(); }

  const std::u16string kBranch = u"Software\\QvOneTransaction";
  int transactions_ = 0;
  Registry registry_;
  SelfRegisterClasses settings_;
};

TEST_F(OperationTransactionsTest, EachOperationIsOneTransaction) {
  const struct {
    const char* name;
    std::function<void()> operation;
  } operations[] = {
      {"CreateKey", [&] { registry_.CreateKey(kHkeyCurrentUser, kBranch + u"\\new"); }},
      {"SetValue", [&] { registry_.SetValue(kHkeyCurrentUser, kBranch, u"text", kRegSz, u"b"); }},
      {"QueryValue", [&] { (void)registry_.QueryValue(kHkeyCurrentUser, kBranch, u"text"); }},
      {"QueryType", [&] { (void)registry_.QueryType(kHkeyCurrentUser, kBranch, u"text"); }},
      {"GetBranchNames", [&] { (void)registry_.GetBranchNames(kHkeyCurrentUser, kBranch); }},
      {"DeleteValue", [&] { registry_.DeleteValue(kHkeyCurrentUser, kBranch, u"text"); }},
      {"DeleteKey", [&] { registry_.DeleteKey(kHkeyCurrentUser, kBranch + u"\\new"); }},
      {"QvGetSetting", [&] { (void)settings_.QvGetSetting(u"QvApp", u"Section", u"Key"); }},
      // A missing key is raised from inside the batch, which still ends.
      {"QueryValue of a missing key",
       [&] {
         EXPECT_THROW((void)registry_.QueryValue(kHkeyCurrentUser, u"Nowhere", u"x"), ErrorObject);
       }},
  };
  for (const auto& [name, operation] : operations) {
    SCOPED_TRACE(name);
    transactions_ = 0;
    operation();
    EXPECT_EQ(transactions_, 1);
  }
  // Saving a setting creates its key and then writes: two operations.
  transactions_ = 0;
  settings_.QvSaveSetting(u"QvApp", u"Section", u"Key", u"value");
  EXPECT_EQ(transactions_, 2);
  EXPECT_EQ(settings_.QvGetSetting(u"QvApp", u"Section", u"Key"), Variant(u"value"));
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

}  // namespace
}  // namespace quorvane
