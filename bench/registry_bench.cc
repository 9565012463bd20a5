// Each registry and settings operation against the bare platform calls it
// makes, on the same backend and the same keys: the ratio is the library's
// own cost on top of the platform's. Reported as Lib/X against Base:platform/X.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/operations.h"

int main(int argc, char** argv) {
  using quorvane::bench::Call;
  quorvane::bench::PrepareKeys();
  quorvane::bench::ForEachOperation([](const char* name, Call library, Call platform_calls) {
    benchmark::RegisterBenchmark((std::string("Lib/") + name).c_str(),
                                 [library](benchmark::State& state) {
                                   for (auto _ : state) library();
                                 });
    benchmark::RegisterBenchmark((std::string("Base:platform/") + name).c_str(),
                                 [platform_calls](benchmark::State& state) {
                                   for (auto _ : state) platform_calls();
                                 });
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  quorvane::bench::RemoveKeys();
  return 0;
}
