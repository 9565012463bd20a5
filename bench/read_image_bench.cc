// Reads on the persistent registry against the same reads in memory, in one
// run: single reads (Read/OP:STORE), walks of a key's subkeys upward and
// downward (Walk/DIRECTION:STORE/N), one call at the last index of a large
// key on a fresh handle after a write (LastIndex:STORE/N), and random reads
// in a small and a large database (Random:database/VALUES), which also report
// the size of the in-process image (image_bytes, and image_bytes_one_read for
// a fresh process that reads a single value), and one random access to
// memory in regions the size of the two images (MemoryAccess/BYTES): what a
// single cache miss costs here, the least a read in the larger image pays;
// and a query of the value this process has just set (QueryAfterOwnSet:STORE,
// the query alone timed); and the random reads on a Wine prefix's registry
// files (Random:wine/VALUES), whose later queries are the in-memory tree's.
//   QV_BENCH_DIR  where the database files go (default: the temporary folder)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/store/wine/wine_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include "bench/operations.h"

namespace quorvane::bench {
namespace {

using platform::portable::SqliteStore;
using platform::portable::TestControls;
using platform::portable::WineStore;

enum class Store { kMemory, kDatabase, kWine };

std::filesystem::path BenchDirectory() {
  const char* dir = std::getenv("QV_BENCH_DIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir)
                                        : std::filesystem::temp_directory_path();
}

std::string DatabaseFile(const std::string& name) {
  return (BenchDirectory() / ("qv-read-" + std::to_string(::getpid()) + "-" + name + ".db"))
      .string();
}

void RemoveDatabase(const std::string& file) {
  for (const char* suffix : {"", "-wal", "-shm", "-checked"})
    std::filesystem::remove(file + suffix);
}

// Puts the registry on a fresh store; returns the database store (null in
// memory) so that its image can be measured.
SqliteStore* UseStore(Store store, const std::string& name) {
  if (store == Store::kMemory) {
    TestControls::ResetRegistry();
    return nullptr;
  }
  const std::string file = DatabaseFile(name);
  RemoveDatabase(file);
  auto database = std::make_unique<SqliteStore>(file);
  SqliteStore* raw = database.get();
  TestControls::UseRegistryStore(std::move(database));
  return raw;
}

void LeaveStore(Store store, const std::string& name) {
  TestControls::ResetRegistry();
  if (store == Store::kDatabase) RemoveDatabase(DatabaseFile(name));
}

const char* StoreName(Store store) {
  return store == Store::kMemory ? "memory" : store == Store::kDatabase ? "database" : "wine";
}

// Single reads on the keys the operation benchmarks use.
void RegisterReads(Store store) {
  using Body = void (*)(benchmark::State&);
  static Registry registry;
  static SelfRegisterClasses settings;
  const std::pair<const char*, Body> reads[] = {
      {"RegQueryValueExA",
       [](benchmark::State& state) {
         platform::HKEY key = 0;
         (void)platform::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, kOpenBranchRights, &key);
         char data[64];
         for (auto _ : state) {
           platform::DWORD size = sizeof data;
           platform::DWORD type = 0;
           (void)platform::RegQueryValueExA(key, "text", nullptr, &type,
                                            reinterpret_cast<platform::BYTE*>(data), &size);
         }
         platform::RegCloseKey(key);
       }},
      {"RegOpenKeyExA+RegCloseKey",
       [](benchmark::State& state) {
         for (auto _ : state) {
           platform::HKEY key = 0;
           (void)platform::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, kOpenBranchRights, &key);
           platform::RegCloseKey(key);
         }
       }},
      {"QueryValue",
       [](benchmark::State& state) {
         for (auto _ : state) (void)registry.QueryValue(kHkeyCurrentUser, kBranch, kValueName);
       }},
      {"QvGetSetting",
       [](benchmark::State& state) {
         for (auto _ : state) (void)settings.QvGetSetting(kApp, kSection, kKey, kDefault);
       }},
      {"GetBranchNames",
       [](benchmark::State& state) {
         for (auto _ : state) (void)registry.GetBranchNames(kHkeyCurrentUser, kBranch);
       }},
  };
  for (const auto& [name, body] : reads) {
    benchmark::RegisterBenchmark((std::string("Read/") + name + ":" + StoreName(store)).c_str(),
                                 [store, body = body](benchmark::State& state) {
                                   UseStore(store, "reads");
                                   PrepareKeys();
                                   body(state);
                                   LeaveStore(store, "reads");
                                 });
  }
}

void FillSubkeys(const char* parent_path, int count) {
  (void)platform::BeginRegistryBatch(true);
  platform::HKEY parent = 0;
  (void)platform::RegCreateKeyA(kHkeyCurrentUser, parent_path, &parent);
  for (int i = 0; i < count; ++i) {
    platform::HKEY child = 0;
    (void)platform::RegCreateKeyA(parent, ("k" + std::to_string(i)).c_str(), &child);
    platform::RegCloseKey(child);
  }
  platform::RegCloseKey(parent);
  (void)platform::EndRegistryBatch(true);
}

// The whole walk on a fresh handle, as a program that lists (or, downward,
// deletes while it lists) a key does.
void Walk(benchmark::State& state, Store store, bool downward) {
  const int count = static_cast<int>(state.range(0));
  UseStore(store, "walk");
  FillSubkeys("Software\\QvWalk", count);
  char name[64];
  for (auto _ : state) {
    platform::HKEY key = 0;
    (void)platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvWalk", 0, kOpenBranchRights, &key);
    for (int step = 0; step < count; ++step) {
      const int index = downward ? count - 1 - step : step;
      if (platform::RegEnumKeyA(key, static_cast<platform::DWORD>(index), name, sizeof name) != 0) {
        state.SkipWithError("enumeration failed");
      }
    }
    platform::RegCloseKey(key);
  }
  LeaveStore(store, "walk");
}

// One call at the last index on a fresh handle. Warm: after a write to
// another key (the key's list, once read, is still at hand). Cold: after a
// write to the key itself, so that its whole list is read again.
void LastIndex(benchmark::State& state, Store store, bool cold) {
  const int count = static_cast<int>(state.range(0));
  UseStore(store, "last");
  FillSubkeys("Software\\QvLast", count);
  platform::HKEY other = 0;
  (void)platform::RegCreateKeyA(kHkeyCurrentUser,
                                cold ? "Software\\QvLast\\k0" : "Software\\QvOther", &other);
  char name[64];
  const auto last_index = [&] {
    platform::HKEY key = 0;
    (void)platform::RegOpenKeyExA(kHkeyCurrentUser, "Software\\QvLast", 0, kOpenBranchRights, &key);
    const platform::LONG result =
        platform::RegEnumKeyA(key, static_cast<platform::DWORD>(count - 1), name, sizeof name);
    platform::RegCloseKey(key);
    return result == 0;
  };
  (void)last_index();
  std::uint32_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++round;
    if (cold) {
      // A subkey made and deleted: the list is as it was, but changed.
      platform::HKEY added = 0;
      (void)platform::RegCreateKeyA(kHkeyCurrentUser, "Software\\QvLast\\added", &added);
      platform::RegCloseKey(added);
      (void)platform::RegDeleteKeyA(kHkeyCurrentUser, "Software\\QvLast\\added");
    } else {
      (void)platform::RegSetValueExA(other, "n", 0, platform::kRegDword,
                                     reinterpret_cast<const platform::BYTE*>(&round), sizeof round);
    }
    state.ResumeTiming();
    if (!last_index()) state.SkipWithError("enumeration failed");
  }
  platform::RegCloseKey(other);
  LeaveStore(store, "last");
}

constexpr int kValuesPerKey = 1000;

std::string ValueKey(int key) { return "Software\\QvRandom\\k" + std::to_string(key); }

void FillValues(int values) {
  (void)platform::BeginRegistryBatch(true);
  for (int k = 0; k < values / kValuesPerKey; ++k) {
    platform::HKEY key = 0;
    (void)platform::RegCreateKeyA(kHkeyCurrentUser, ValueKey(k).c_str(), &key);
    for (int v = 0; v < kValuesPerKey; ++v) {
      const std::uint32_t data = static_cast<std::uint32_t>(v);
      (void)platform::RegSetValueExA(key, ("v" + std::to_string(v)).c_str(), 0, platform::kRegDword,
                                     reinterpret_cast<const platform::BYTE*>(&data), sizeof data);
    }
    platform::RegCloseKey(key);
  }
  (void)platform::EndRegistryBatch(true);
}

// A database of `values` values, made once per run.
std::string RandomDatabase(int values) {
  const std::string name = "random-" + std::to_string(values);
  std::string file = DatabaseFile(name);
  if (std::filesystem::exists(file)) return file;
  UseStore(Store::kDatabase, name);
  FillValues(values);
  TestControls::ResetRegistry();  // closes the database, as a process that ends would
  return file;
}

bool ReadOne(int key_number, int value_number) {
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(kHkeyCurrentUser, ValueKey(key_number).c_str(), 0, kOpenBranchRights,
                              &key) != 0) {
    return false;
  }
  std::uint32_t data = 0;
  platform::DWORD size = sizeof data;
  const platform::LONG result =
      platform::RegQueryValueExA(key, ("v" + std::to_string(value_number)).c_str(), nullptr,
                                 nullptr, reinterpret_cast<platform::BYTE*>(&data), &size);
  platform::RegCloseKey(key);
  return result == 0 && data == static_cast<std::uint32_t>(value_number);
}

// A Wine prefix whose user.reg holds `values` values, made once per run.
std::string RandomPrefix(int values) {
  std::string prefix = DatabaseFile("prefix-" + std::to_string(values));
  if (std::filesystem::exists(prefix + "/user.reg")) return prefix;
  std::filesystem::create_directories(prefix);
  TestControls::UseRegistryStore(std::make_unique<WineStore>(prefix));
  FillValues(values);
  TestControls::ResetRegistry();
  return prefix;
}

// Random reads (open, query, close) spread over the whole registry.
void RandomReads(benchmark::State& state, Store store) {
  const int values = static_cast<int>(state.range(0));
  SqliteStore* database = nullptr;
  if (store == Store::kMemory) {
    TestControls::ResetRegistry();
    FillValues(values);
  } else if (store == Store::kWine) {
    TestControls::UseRegistryStore(std::make_unique<WineStore>(RandomPrefix(values)));
  } else {
    auto owned = std::make_unique<SqliteStore>(RandomDatabase(values));
    database = owned.get();
    TestControls::UseRegistryStore(std::move(owned));
  }
  if (!ReadOne(0, 0)) state.SkipWithError("the first read failed");
  if (database != nullptr) {
    state.counters["image_bytes_one_read"] = static_cast<double>(database->ImageBytes());
  }
  // Every value once, as a long-running process would have read them: what is
  // timed is the steady state.
  for (int k = 0; k < values / kValuesPerKey; ++k) {
    for (int v = 0; v < kValuesPerKey; ++v) (void)ReadOne(k, v);
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> key_number(0, values / kValuesPerKey - 1);
  std::uniform_int_distribution<int> value_number(0, kValuesPerKey - 1);
  for (auto _ : state) {
    if (!ReadOne(key_number(random), value_number(random))) state.SkipWithError("a read failed");
  }
  if (database != nullptr)
    state.counters["image_bytes"] = static_cast<double>(database->ImageBytes());
  TestControls::ResetRegistry();
}

// A chase of pointers through a region in random order: every load waits for
// the one before, as the lookups of a read do.
void MemoryAccess(benchmark::State& state) {
  const auto slots = static_cast<std::size_t>(state.range(0)) / sizeof(std::size_t);
  std::vector<std::size_t> order(slots);
  for (std::size_t i = 0; i < slots; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<std::size_t> next(slots);
  for (std::size_t i = 0; i < slots; ++i) next[order[i]] = order[(i + 1) % slots];
  std::size_t at = 0;
  for (auto _ : state) {
    at = next[at];
    benchmark::DoNotOptimize(at);
  }
}

// Sets a value, then queries it: only the query is timed, as a program that
// writes a setting and reads it back pays for the read.
void QueryAfterOwnSet(benchmark::State& state, Store store) {
  UseStore(store, "own-set");
  PrepareKeys();
  platform::HKEY key = 0;
  (void)platform::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0,
                                platform::kKeyQueryValue | platform::kKeySetValue, &key);
  platform::DWORD number = 0;
  for (auto _ : state) {
    ++number;
    (void)platform::RegSetValueExA(key, "counter", 0, platform::kRegDword,
                                   reinterpret_cast<const platform::BYTE*>(&number), sizeof number);
    platform::DWORD read = 0;
    platform::DWORD size = sizeof read;
    const auto start = std::chrono::steady_clock::now();
    (void)platform::RegQueryValueExA(key, "counter", nullptr, nullptr,
                                     reinterpret_cast<platform::BYTE*>(&read), &size);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (read != number) state.SkipWithError("the query did not see the set");
  }
  platform::RegCloseKey(key);
  LeaveStore(store, "own-set");
}

void RegisterAll() {
  for (Store store : {Store::kMemory, Store::kDatabase}) {
    RegisterReads(store);
    for (bool downward : {false, true}) {
      benchmark::RegisterBenchmark(
          (std::string("Walk/") + (downward ? "down:" : "up:") + StoreName(store)).c_str(),
          [store, downward](benchmark::State& state) { Walk(state, store, downward); })
          ->Arg(10000)
          ->Unit(benchmark::kMillisecond);
    }
    for (bool cold : {false, true}) {
      benchmark::RegisterBenchmark(
          (std::string("LastIndex/") + (cold ? "cold:" : "warm:") + StoreName(store)).c_str(),
          [store, cold](benchmark::State& state) { LastIndex(state, store, cold); })
          ->Arg(100000)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(50);
    }
    benchmark::RegisterBenchmark((std::string("Random:") + StoreName(store)).c_str(),
                                 [store](benchmark::State& state) { RandomReads(state, store); })
        ->Arg(1000)
        ->Arg(1000000)
        ->Unit(benchmark::kMicrosecond);
    if (store == Store::kDatabase) {
      benchmark::RegisterBenchmark(
          "Random:wine", [](benchmark::State& state) { RandomReads(state, Store::kWine); })
          ->Arg(1000)
          ->Arg(1000000)
          ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark(
        (std::string("QueryAfterOwnSet:") + StoreName(store)).c_str(),
        [store](benchmark::State& state) { QueryAfterOwnSet(state, store); })
        ->UseManualTime()
        ->Iterations(20000);
  }
  benchmark::RegisterBenchmark("MemoryAccess", MemoryAccess)->Arg(128 << 10)->Arg(128 << 20);
}

}  // namespace
}  // namespace quorvane::bench

int main(int argc, char** argv) {
  quorvane::bench::RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* name : {"random-1000", "random-1000000"}) {
    quorvane::bench::RemoveDatabase(quorvane::bench::DatabaseFile(name));
  }
  for (const char* name : {"prefix-1000", "prefix-1000000"}) {
    std::filesystem::remove_all(quorvane::bench::DatabaseFile(name));
  }
  return 0;
}
