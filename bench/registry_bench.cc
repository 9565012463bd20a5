// Each registry and settings operation against the bare platform calls it
// makes, on the same backend and the same keys: the ratio is the library's
// own cost on top of the platform's. Reported as Lib/TAGX against
// Base:platform/TAGX, TAG coming from QV_BENCH_TAG (which says what registry
// or which build was measured, for example "db."), and as Pair/TAGX, which
// times the two in alternating blocks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <string>

#include "bench/operations.h"

namespace {

using quorvane::bench::Call;

constexpr int kBlockCalls = 16;

double SecondsForBlock(const Call& call) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kBlockCalls; ++i) call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The library and its bare calls in alternating short blocks. Both see the
// machine at nearly the same moment, and the least time of each over many
// blocks is what a shared machine's noise (which only ever adds) leaves
// alone, so their ratio holds still from run to run where two separately
// timed benchmarks do not.
void Paired(benchmark::State& state, const Call& library, const Call& platform_calls) {
  double best_library = std::numeric_limits<double>::infinity();
  double best_platform = best_library;
  for (auto _ : state) {
    best_library = std::min(best_library, SecondsForBlock(library));
    best_platform = std::min(best_platform, SecondsForBlock(platform_calls));
  }
  state.counters["library_ns"] = best_library * 1e9 / kBlockCalls;
  state.counters["platform_ns"] = best_platform * 1e9 / kBlockCalls;
  state.counters["ratio"] = best_library / best_platform;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tag_variable = std::getenv("QV_BENCH_TAG");
  const std::string tag = tag_variable == nullptr ? "" : tag_variable;
  quorvane::bench::PrepareKeys();
  quorvane::bench::ForEachOperation([&tag](const char* name, Call library, Call platform_calls) {
    benchmark::RegisterBenchmark(("Lib/" + tag + name).c_str(), [library](benchmark::State& state) {
      for (auto _ : state) library();
    });
    benchmark::RegisterBenchmark(("Base:platform/" + tag + name).c_str(),
                                 [platform_calls](benchmark::State& state) {
                                   for (auto _ : state) platform_calls();
                                 });
    benchmark::RegisterBenchmark(("Pair/" + tag + name).c_str(),
                                 [library, platform_calls](benchmark::State& state) {
                                   Paired(state, library, platform_calls);
                                 });
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  quorvane::bench::RemoveKeys();
  return 0;
}
