#include <quorvane/platform/portable/store/sqlite/wal_stamp.h>

#include <sqlite3.h>

#include <cstring>

namespace quorvane::platform::portable {

namespace {

// The WAL-index is mapped in regions of this size; the header is in the
// first one.
constexpr int kIndexRegionSize = 32768;

// Offsets of the header's fields, in 32-bit words.
constexpr int kChangeWord = 2;
constexpr int kFramesWord = 4;
constexpr int kSalt1Word = 8;
constexpr int kSalt2Word = 9;

bool InWalMode(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr) != SQLITE_OK) {
    return false;
  }
  bool wal = false;
  if (sqlite3_step(statement) == SQLITE_ROW) {
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    wal = mode != nullptr && std::strcmp(mode, "wal") == 0;
  }
  sqlite3_finalize(statement);
  return wal;
}

}  // namespace

bool WalStamp::Attach(sqlite3* db) {
  header_ = nullptr;
  // NOTE: only a connection in WAL mode has its index open; asking another
  // one for it would create an index file beside the database.
  if (!InWalMode(db)) return false;
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
      file->pMethods->xShmMap == nullptr) {
    return false;
  }
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kIndexRegionSize, 0, &region) != SQLITE_OK ||
      region == nullptr) {
    return false;
  }
  header_ = static_cast<const volatile std::uint32_t*>(region);
  return true;
}

WalStamp::Value WalStamp::Read() const {
  if (header_ == nullptr) return Value{};
  // Acquiring loads: what is read from the store after this look is no
  // older than the look. (Word by word, and not a fence, which
  // ThreadSanitizer cannot follow.)
  const auto word = [this](int index) {
    return __atomic_load_n(&header_[index], __ATOMIC_ACQUIRE);
  };
  Value value;
  value.change = word(kChangeWord);
  value.frames = word(kFramesWord);
  value.salt1 = word(kSalt1Word);
  value.salt2 = word(kSalt2Word);
  return value;
}

}  // namespace quorvane::platform::portable
