// What the check before a process's first write costs when the file is not
// known sound (its mark is removed before each one): the whole file is
// checked (SQLite's integrity check), so its cost grows with the file. Timed for registries of
// 1,000, 10,000 and 100,000 values (Lib/FirstWriteCheck:db/N, in a folder from QV_BENCH_DIR),
// against one later write on the same file (Base:later write/FirstWriteCheck:db/N).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/test_controls.h>

namespace quorvane::bench {
namespace {

namespace p = platform;
using p::portable::SqliteStore;
using p::portable::TestControls;

std::string DatabaseWith(int values) {
  const char* folder = std::getenv("QV_BENCH_DIR");
  const std::filesystem::path directory =
      folder != nullptr ? folder : std::filesystem::temp_directory_path();
  std::string path = (directory / ("check-" + std::to_string(values) + ".db")).string();
  if (std::filesystem::exists(path)) return path;
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(path));
  p::HKEY key = 0;
  (void)p::BeginRegistryBatch(true);
  for (int i = 0; i < values; ++i) {
    if (i % 100 == 0) {
      p::RegCloseKey(key);
      const std::string name = "Software\\QvCheckBench\\K" + std::to_string(i / 100);
      (void)p::RegCreateKeyA(p::kHkeyCurrentUser, name.c_str(), &key);
    }
    const std::string name = "V" + std::to_string(i % 100);
    const std::string data = "value " + std::to_string(i);
    (void)p::RegSetValueExA(key, name.c_str(), 0, p::kRegSz,
                            reinterpret_cast<const p::BYTE*>(data.c_str()),
                            static_cast<p::DWORD>(data.size() + 1));
  }
  p::RegCloseKey(key);
  (void)p::EndRegistryBatch(true);
  TestControls::ResetRegistry();
  return path;
}

void Write() {
  p::HKEY key = 0;
  (void)p::RegOpenKeyExA(p::kHkeyCurrentUser, "Software\\QvCheckBench\\K0", 0, p::kKeySetValue,
                         &key);
  (void)p::RegSetValueExA(key, "Written", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>("x"), 2);
  p::RegCloseKey(key);
}

void FirstWrite(benchmark::State& state) {
  const std::string path = DatabaseWith(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path + "-checked");
    TestControls::UseRegistryStore(std::make_unique<SqliteStore>(path));
    state.ResumeTiming();
    Write();
  }
  TestControls::ResetRegistry();
}

void LaterWrite(benchmark::State& state) {
  const std::string path = DatabaseWith(static_cast<int>(state.range(0)));
  TestControls::UseRegistryStore(std::make_unique<SqliteStore>(path));
  Write();
  for (auto _ : state) Write();
  TestControls::ResetRegistry();
}

}  // namespace
}  // namespace quorvane::bench

BENCHMARK(quorvane::bench::FirstWrite)
    ->Name("Lib/FirstWriteCheck:db")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(quorvane::bench::LaterWrite)
    ->Name("Base:later write/FirstWriteCheck:db")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
