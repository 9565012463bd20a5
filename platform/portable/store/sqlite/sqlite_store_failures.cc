// What the store says when its medium fails: the Windows code and a plain
// cause for each SQLite failure, the damage check before a first write, and
// the whole-file check.
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

// The Windows code a program sees for an SQLite failure, and a plain cause.
std::pair<LONG, const char*> Classify(int result) {
  switch (result & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return {kErrorBusy, "registry busy: another process holds its write lock"};
    case SQLITE_FULL:
      return {kErrorDiskFull, "the disk is full"};
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return {kErrorCantOpen, "cannot be opened"};
    case SQLITE_READONLY:
      return {kErrorCantWrite, "cannot be written"};
    case SQLITE_NOMEM:
      return {kErrorCantRead, "out of memory"};
    case SQLITE_IOERR:
      switch (result) {
        case SQLITE_IOERR_READ:
        case SQLITE_IOERR_SHORT_READ:
        case SQLITE_IOERR_FSTAT:
        case SQLITE_IOERR_ACCESS:
        case SQLITE_IOERR_SHMMAP:
          return {kErrorCantRead, "cannot be read"};
        default:
          return {kErrorCantWrite, "cannot be written"};
      }
    default:
      return {kErrorBadDbDatabase, "is damaged or not a database"};
  }
}

}  // namespace

void SqliteStore::Fail(int result) {
  const auto [code, cause] = Classify(result);
  diagnosis_ = "registry database " + path_ + ": " + cause;
  if (db_ != nullptr) diagnosis_ += std::string(" (") + sqlite3_errmsg(db_) + ")";
  last_failure_ = code;
  if (code == kErrorBadDbDatabase) damaged_ = true;
  throw StoreFailure{code};
}

void SqliteStore::Damaged(const std::string& what) {
  diagnosis_ = "registry database " + path_ + " is damaged: " + what;
  last_failure_ = kErrorBadDbDatabase;
  damaged_ = true;
  throw StoreFailure{kErrorBadDbDatabase};
}

void SqliteStore::CheckBeforeWriting() {
  // Writing into a damaged file spreads the damage (a page listed twice is
  // given out twice, a key missing from the index is made twice), so a file
  // is checked whole before a store's first write, unless its mark says
  // nothing but this library has written it since it was last known sound;
  // from the first damage met on, nothing is written.
  if (damaged_) {
    diagnosis_ = "registry database " + path_ +
                 " is damaged, so nothing is written to it (qv reg check tells more)";
    throw StoreFailure{kErrorBadDbDatabase};
  }
  if (structure_checked_) return;
  const std::string state = mark_.StateNow();
  if (mark_.Records(state)) {
    structure_checked_ = true;
    return;
  }
  const bool own_transaction = sqlite3_get_autocommit(db_) != 0;
  if (own_transaction) Run(Sql::kBeginRead);
  std::vector<std::string> problems;
  const LONG result = Inspect("PRAGMA integrity_check", &problems);
  if (own_transaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (result != kErrorSuccess) throw StoreFailure{result};
  structure_checked_ = true;
  if (!problems.empty()) Damaged(problems.front());
  // The state from before the check: a checkpoint of another process while
  // it ran leaves the mark behind, and the next writer checks again.
  mark_.Record(state);
}

int SqliteStore::AfterCommit(void* store, sqlite3* /*db*/, const char* /*name*/, int log_pages) {
  // SQLite's own automatic checkpoint, at its default size, with the mark
  // kept across it.
  constexpr int kCheckpointPages = 1000;
  if (log_pages >= kCheckpointPages) static_cast<SqliteStore*>(store)->CheckpointKeepingMark();
  return SQLITE_OK;
}

void SqliteStore::CheckpointKeepingMark() {
  const bool sound = mark_.Records(mark_.StateNow());
  // A checkpoint that cannot run now (a reader holds the log) runs at a
  // later commit; it is no failure of this one.
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  if (sound) mark_.Record(mark_.StateNow());
}

LONG SqliteStore::Inspect(const char* pragma, std::vector<std::string>* problems) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, pragma, -1, &statement, nullptr) != SQLITE_OK) {
    problems->push_back(sqlite3_errmsg(db_));
    return kErrorSuccess;
  }
  int stepped = SQLITE_ROW;
  while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    const std::string line = text == nullptr ? "" : reinterpret_cast<const char*>(text);
    if (line != "ok") problems->push_back(line);
  }
  sqlite3_finalize(statement);
  if (stepped == SQLITE_DONE) return kErrorSuccess;
  const auto [code, cause] = Classify(sqlite3_extended_errcode(db_));
  if (code != kErrorBadDbDatabase) return code;  // busy, unreadable: no verdict
  problems->push_back(sqlite3_errmsg(db_));
  return kErrorSuccess;
}

LONG SqliteStore::Check(std::string* report) {
  if (unusable_code_ != 0) {
    *report = diagnosis_;
    return unusable_code_;
  }
  std::vector<std::string> problems;
  LONG result = kErrorSuccess;
  const std::string state = mark_.StateNow();
  try {
    Run(Sql::kBeginRead);
    result = Inspect("PRAGMA integrity_check", &problems);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  } catch (const StoreFailure& failure) {
    problems.push_back(diagnosis_);
    result = failure.code == kErrorBadDbDatabase ? kErrorSuccess : failure.code;
  }
  if (result != kErrorSuccess) {
    *report = diagnosis_;
    return result;
  }
  if (problems.empty()) {
    if (!read_only_) mark_.Record(state);
    *report = "registry database " + path_ + " is sound";
    return kErrorSuccess;
  }
  damaged_ = true;
  *report = "registry database " + path_ + " is damaged:";
  for (const std::string& problem : problems) *report += "\n  " + problem;
  return kErrorBadDbDatabase;
}

void SqliteStore::RefuseWritingIfReadOnly() {
  if (!read_only_) return;
  diagnosis_ = "registry database " + path_ +
               " cannot be written: this user may only read it (the file or its folder is "
               "read-only)";
  throw StoreFailure{kErrorCantWrite};
}

}  // namespace quorvane::platform::portable
