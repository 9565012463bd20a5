// Each registry and settings operation against the bare platform calls it
// makes, on the same backend and the same keys: the ratio is the library's
// own cost on top of the platform's. Reported as Lib/TAGX against
// Base:platform/TAGX, TAG coming from QV_BENCH_TAG (which says what registry
// or which build was measured, for example "db."), and as Pair/TAGX, which
// times the two in alternating blocks.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/operations.h"
#include "bench/paired.h"

int main(int argc, char** argv) {
  using quorvane::bench::Call;
  const char* tag_variable = std::getenv("QV_BENCH_TAG");
  const std::string tag = tag_variable == nullptr ? "" : tag_variable;
  quorvane::bench::PrepareKeys();
  quorvane::bench::ForEachOperation([&tag](const char* name, const Call& library,
                                           const Call& platform_calls) {
    benchmark::RegisterBenchmark(("Lib/" + tag + name).c_str(), [library](benchmark::State& state) {
      for (auto _ : state) library();
    });
    benchmark::RegisterBenchmark(("Base:platform/" + tag + name).c_str(),
                                 [platform_calls](benchmark::State& state) {
                                   for (auto _ : state) platform_calls();
                                 });
    benchmark::RegisterBenchmark(("Pair/" + tag + name).c_str(),
                                 [library, platform_calls](benchmark::State& state) {
                                   quorvane::bench::Paired(state, library, platform_calls);
                                 });
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  quorvane::bench::RemoveKeys();
  return 0;
}
