// The persistent registry opened on any database image: no crash, no hang,
// only the documented result codes.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include "fuzz/fuzz_input.h"

namespace quorvane::fuzz {
namespace {

using platform::portable::KeyId;
using platform::portable::SqliteStore;
using platform::portable::StoreFailure;

void RequireDocumented(const StoreFailure& failure) {
  for (platform::LONG code :
       {platform::kErrorBadDbDatabase, platform::kErrorCantOpen, platform::kErrorCantRead,
        platform::kErrorCantWrite, platform::kErrorDiskFull, platform::kErrorBusy}) {
    if (failure.code == code) return;
  }
  std::abort();
}

// Visits at most `budget` keys below `key`.
void Walk(SqliteStore& store, KeyId key, int* budget) {
  std::u16string after;
  bool first = true;
  while (--*budget > 0) {
    const auto next = store.NextSubkey(key, first ? nullptr : &after);
    if (!next) break;
    first = false;
    after = next->folded;
    if (const auto child = store.FindSubkey(key, next->folded)) Walk(store, *child, budget);
  }
  std::u16string folded;
  bool first_value = true;
  for (int i = 0; i < 50; ++i) {
    const auto value = store.NextValue(key, first_value ? nullptr : &folded, &folded);
    if (!value) break;
    first_value = false;
  }
}

}  // namespace
}  // namespace quorvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane::fuzz;
  static const std::string path = "/tmp/qv-store-fuzz-" + std::to_string(::getpid()) + ".db";
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  {
    SqliteStore::Options options;
    options.busy_timeout_ms = 0;
    SqliteStore store(path, options);
    for (bool writing : {false, true}) {
      try {
        store.Begin(writing);
        const KeyId root = store.Root(u"", quorvane::platform::kHkeyLocalMachine);
        int budget = 200;
        Walk(store, root, &budget);
        if (writing) {
          const KeyId key = store.CreateSubkey(root, u"Fuzz", u"FUZZ");
          store.SetValue(key, u"V", {u"v", 1, std::string("x\0", 2)});
          (void)store.GetValue(key, u"V");
          store.DeleteKey(key);
        }
        store.Commit();
      } catch (const StoreFailure& failure) {
        RequireDocumented(failure);
        try {
          store.Rollback();
        } catch (const StoreFailure& again) {
          RequireDocumented(again);
        }
      }
    }
  }
  return 0;
}
