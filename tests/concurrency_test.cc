#include <gtest/gtest.h>

#include "tests/support/stress.h"

namespace quorvane {
namespace {

TEST(ConcurrencyTest, ThreadsLoseNoWrite) {
  constexpr int kThreads = 4;
  const int rounds = testing_support::StressRounds(150);
  const testing_support::StressCounts counts = testing_support::RunRegistryStress(kThreads, rounds);
  EXPECT_EQ(counts.failures, 0);
  EXPECT_EQ(counts.saved, kThreads * rounds);
  EXPECT_EQ(counts.read_back, kThreads * rounds);
  EXPECT_EQ(counts.found_at_end, kThreads * rounds);
}

}  // namespace
}  // namespace quorvane
