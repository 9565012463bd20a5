// GetBranchNames on 1,000, 10,000 and 100,000 subkeys, in memory and in the
// persistent registry. Reported as Lib/GetBranchNames:STORE/N; the report
// shows the growth per tenfold (10 means linear).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/registry/registry.h>

namespace quorvane {
namespace {

using platform::portable::TestControls;

std::string DatabasePath() {
  return (std::filesystem::temp_directory_path() /
          ("qv-bench-" + std::to_string(::getpid()) + ".db"))
      .string();
}

void Fill(int count) {
  platform::HKEY parent = 0;
  (void)platform::RegCreateKeyA(kHkeyCurrentUser, "Software\\QvEnum", &parent);
  for (int i = 0; i < count; ++i) {
    platform::HKEY child = 0;
    (void)platform::RegCreateKeyA(parent, ("k" + std::to_string(i)).c_str(), &child);
    platform::RegCloseKey(child);
  }
  platform::RegCloseKey(parent);
}

void Enumerate(benchmark::State& state, bool persistent) {
  const int count = static_cast<int>(state.range(0));
  if (persistent) {
    std::filesystem::remove(DatabasePath());
    TestControls::UseRegistryStore(
        std::make_unique<platform::portable::SqliteStore>(DatabasePath()));
  } else {
    TestControls::ResetRegistry();
  }
  Fill(count);
  Registry registry;
  for (auto _ : state) {
    const Collection names = registry.GetBranchNames(kHkeyCurrentUser, u"Software\\QvEnum");
    if (names.Count() != count) state.SkipWithError("wrong count");
  }
  TestControls::ResetRegistry();
  for (const char* suffix : {"", "-wal", "-shm", "-checked"}) std::filesystem::remove(DatabasePath() + suffix);
}

void Memory(benchmark::State& state) { Enumerate(state, false); }
void Persistent(benchmark::State& state) { Enumerate(state, true); }

BENCHMARK(Memory)
    ->Name("Lib/GetBranchNames:memory")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Persistent)
    ->Name("Lib/GetBranchNames:persistent")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
