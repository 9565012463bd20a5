// A stress run of several threads saving, reading, listing and deleting
// settings and keys through the library at once.
#pragma once

namespace quorvane::testing_support {

struct StressCounts {
  int saved = 0;
  int read_back = 0;     // saves read back right after, by the same thread
  int found_at_end = 0;  // saves found after every thread finished
  int failures = 0;      // errors raised where none should be
};

StressCounts RunRegistryStress(int threads, int rounds);

// Rounds per thread: QV_STRESS_ROUNDS, else `fallback`.
int StressRounds(int fallback);

}  // namespace quorvane::testing_support
