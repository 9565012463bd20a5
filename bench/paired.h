// Times two ways of doing one thing in alternating short blocks. Both see the
// machine at nearly the same moment, and the least time of each over many
// blocks is what a shared machine's noise (which only ever adds) leaves
// alone, so their ratio holds still from run to run where two separately
// timed benchmarks do not.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>

namespace quorvane::bench {

constexpr int kBlockCalls = 16;

inline double SecondsForBlock(const std::function<void()>& call) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kBlockCalls; ++i) call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reports library_ns and baseline_ns (the least time per call of each) and
// their ratio as counters.
inline void Paired(benchmark::State& state, const std::function<void()>& library,
                   const std::function<void()>& baseline) {
  double best_library = std::numeric_limits<double>::infinity();
  double best_baseline = best_library;
  for (auto _ : state) {
    best_library = std::min(best_library, SecondsForBlock(library));
    best_baseline = std::min(best_baseline, SecondsForBlock(baseline));
  }
  state.counters["library_ns"] = best_library * 1e9 / kBlockCalls;
  state.counters["baseline_ns"] = best_baseline * 1e9 / kBlockCalls;
  state.counters["ratio"] = best_library / best_baseline;
}

}  // namespace quorvane::bench
