// The registry and settings operations against their bare platform calls on
// the win32 backend, timed with a plain loop (run under Wine). Prints one
// ratio per operation: the library's time over the platform calls' time.
// Both are timed in turn, in many short blocks, and the best block of each
// counts: the wineserver makes single blocks noisy, and noise only ever adds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <quorvane/platform/platform.h>
#include "bench/operations.h"

namespace {

constexpr int kRounds = 300;

double MicrosecondsPerCall(const quorvane::bench::Call& call, int iterations) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) call();
  const std::chrono::duration<double, std::micro> elapsed =
      std::chrono::steady_clock::now() - start;
  return elapsed.count() / iterations;
}

}  // namespace

int main(int argc, char** argv) {
  using quorvane::bench::Call;
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 16;
  quorvane::bench::PrepareKeys();
  std::printf("| operation        | library us | platform us | ratio |\n");
  std::printf("|------------------|-----------:|-----------:|------:|\n");
  quorvane::bench::ForEachOperation([&](const char* name, Call library, Call platform_calls) {
    library();  // warm up
    platform_calls();
    double lib = 1e300;
    double base = 1e300;
    for (int round = 0; round < kRounds; ++round) {
      lib = std::min(lib, MicrosecondsPerCall(library, iterations));
      base = std::min(base, MicrosecondsPerCall(platform_calls, iterations));
    }
    std::printf("| %-16s | %10.2f | %10.2f | %5.2f |\n", name, lib, base, lib / base);
  });
  // The one call that writes, alone on an open key, as the portable
  // backend's sqlite_bench times it (db.RegSetValueExA).
  {
    using namespace quorvane::platform;
    HKEY key = 0;
    if (RegCreateKeyA(kHkeyCurrentUser, "Software\\QvBenchSet", &key) == 0) {
      bool odd = false;
      const Call set = [&] {
        odd = !odd;
        (void)RegSetValueExA(key, "V", 0, kRegSz,
                             reinterpret_cast<const BYTE*>(odd ? "b value" : "a value"), 8);
      };
      double best = 1e300;
      for (int round = 0; round < kRounds; ++round) {
        best = std::min(best, MicrosecondsPerCall(set, iterations));
      }
      std::printf("| %-16s | %10s | %10.2f |       |\n", "RegSetValueExA", "-", best);
      (void)RegCloseKey(key);
      (void)RegDeleteKeyA(kHkeyCurrentUser, "Software\\QvBenchSet");
    }
  }
  quorvane::bench::RemoveKeys();
  return 0;
}
