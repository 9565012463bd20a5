// The stress run on the portable backend, in memory and in a database, with
// the handle count checked afterwards.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include "tests/support/stress.h"

namespace quorvane {
namespace {

using platform::portable::TestControls;

void ExpectNothingLost(int threads, int rounds) {
  const testing_support::StressCounts counts = testing_support::RunRegistryStress(threads, rounds);
  EXPECT_EQ(counts.failures, 0);
  EXPECT_EQ(counts.read_back, threads * rounds);
  EXPECT_EQ(counts.found_at_end, threads * rounds);
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

TEST(PortableConcurrencyTest, InMemory) {
  ExpectNothingLost(6, testing_support::StressRounds(200));
}

TEST(PortableConcurrencyTest, Persistent) {
  const std::filesystem::path database =
      std::filesystem::temp_directory_path() / ("qv-stress-" + std::to_string(::getpid()) + ".db");
  TestControls::UseRegistryStore(
      std::make_unique<platform::portable::SqliteStore>(database.string()));
  ExpectNothingLost(4, testing_support::StressRounds(100));
  TestControls::ResetRegistry();
  for (const char* suffix : {"", "-wal", "-shm", "-checked"}) {
    std::filesystem::remove(database.string() + suffix);
  }
}

}  // namespace
}  // namespace quorvane
