#include "tests/portable/database/power_cut_vfs.h"

#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace quorvane::testing_support {
namespace {

PowerCutVfs& State() {
  static PowerCutVfs state;
  return state;
}

sqlite3_vfs* Real() { return sqlite3_vfs_find(nullptr); }

struct TrackedFile {
  sqlite3_file base;
  sqlite3_file* real;
  const std::string* name;  // null when not tracked
};

sqlite3_file* RealOf(sqlite3_file* file) { return reinterpret_cast<TrackedFile*>(file)->real; }

PowerCutVfs::Shadow* ShadowOf(sqlite3_file* file) {
  const std::string* name = reinterpret_cast<TrackedFile*>(file)->name;
  return name == nullptr ? nullptr : &State().shadows[*name];
}

int Close(sqlite3_file* file) {
  const int result = RealOf(file)->pMethods->xClose(RealOf(file));
  delete reinterpret_cast<TrackedFile*>(file)->name;
  return result;
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return RealOf(file)->pMethods->xRead(RealOf(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  PowerCutVfs::Shadow* shadow = ShadowOf(file);
  if (shadow != nullptr && State().failing_writes != 0) return State().failing_writes;
  const int result = RealOf(file)->pMethods->xWrite(RealOf(file), buffer, amount, offset);
  if (result == SQLITE_OK && shadow != nullptr) {
    const auto end = static_cast<std::size_t>(offset) + static_cast<std::size_t>(amount);
    if (shadow->current.size() < end) shadow->current.resize(end, '\0');
    std::memcpy(&shadow->current[static_cast<std::size_t>(offset)], buffer,
                static_cast<std::size_t>(amount));
  }
  return result;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  const int result = RealOf(file)->pMethods->xTruncate(RealOf(file), size);
  PowerCutVfs::Shadow* shadow = ShadowOf(file);
  if (result == SQLITE_OK && shadow != nullptr) {
    shadow->current.resize(static_cast<std::size_t>(size));
  }
  return result;
}

int Sync(sqlite3_file* file, int flags) {
  const int result = RealOf(file)->pMethods->xSync(RealOf(file), flags);
  PowerCutVfs::Shadow* shadow = ShadowOf(file);
  if (result == SQLITE_OK && shadow != nullptr) {
    shadow->durable = shadow->current;
    ++State().syncs;
    if (State().on_sync) State().on_sync();
  }
  return result;
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return RealOf(file)->pMethods->xFileSize(RealOf(file), size);
}
int Lock(sqlite3_file* file, int level) {
  return RealOf(file)->pMethods->xLock(RealOf(file), level);
}
int Unlock(sqlite3_file* file, int level) {
  return RealOf(file)->pMethods->xUnlock(RealOf(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return RealOf(file)->pMethods->xCheckReservedLock(RealOf(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  return RealOf(file)->pMethods->xFileControl(RealOf(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return RealOf(file)->pMethods->xSectorSize(RealOf(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return RealOf(file)->pMethods->xDeviceCharacteristics(RealOf(file));
}
int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
  return RealOf(file)->pMethods->xShmMap(RealOf(file), page, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  return RealOf(file)->pMethods->xShmLock(RealOf(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { RealOf(file)->pMethods->xShmBarrier(RealOf(file)); }
int ShmUnmap(sqlite3_file* file, int remove) {
  return RealOf(file)->pMethods->xShmUnmap(RealOf(file), remove);
}

const sqlite3_io_methods kMethods = {
    2,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    nullptr,
    nullptr,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  auto* tracked = reinterpret_cast<TrackedFile*>(file);
  tracked->real = reinterpret_cast<sqlite3_file*>(tracked + 1);
  tracked->name = nullptr;
  const int result = Real()->xOpen(Real(), name, tracked->real, flags, out_flags);
  if (result != SQLITE_OK) {
    file->pMethods = nullptr;
    return result;
  }
  file->pMethods = &kMethods;
  if (name != nullptr && (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL)) != 0) {
    tracked->name = new std::string(name);
    auto [shadow, is_new] = State().shadows.try_emplace(name);
    if (is_new) {
      // What is there already counts as durable.
      sqlite3_int64 size = 0;
      tracked->real->pMethods->xFileSize(tracked->real, &size);
      shadow->second.current.assign(static_cast<std::size_t>(size), '\0');
      if (size > 0) {
        (void)tracked->real->pMethods->xRead(tracked->real, shadow->second.current.data(),
                                             static_cast<int>(size), 0);
      }
      shadow->second.durable = shadow->second.current;
    }
  }
  return SQLITE_OK;
}

int Delete(sqlite3_vfs*, const char* name, int sync_directory) {
  State().shadows.erase(name);
  return Real()->xDelete(Real(), name, sync_directory);
}

}  // namespace

PowerCutVfs& PowerCutVfs::Install() {
  static sqlite3_vfs vfs = [] {
    sqlite3_vfs copy = *Real();
    copy.zName = kName;
    copy.szOsFile = static_cast<int>(sizeof(TrackedFile)) + Real()->szOsFile;
    copy.xOpen = Open;
    copy.xDelete = Delete;
    copy.pNext = nullptr;
    return copy;
  }();
  static const bool registered = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
  (void)registered;
  State().on_sync = nullptr;
  State().failing_writes = 0;
  State().shadows.clear();
  State().syncs = 0;
  return State();
}

std::map<std::string, std::string> PowerCutVfs::Durable() const {
  std::map<std::string, std::string> durable;
  for (const auto& [name, shadow] : shadows) durable[name] = shadow.durable;
  return durable;
}

std::string PowerCutVfs::RestoreAfterPowerCut(const std::string& database,
                                              const std::string& directory) const {
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  const std::string restored = directory + "/registry.db";
  for (const auto& [name, shadow] : shadows) {
    if (name.rfind(database, 0) != 0) continue;
    const std::string suffix = name.substr(database.size());  // "" or "-wal"
    if (shadow.durable.empty()) continue;
    std::ofstream(restored + suffix, std::ios::binary) << shadow.durable;
  }
  return restored;
}

}  // namespace quorvane::testing_support
