// The SQLite store's statements, transactions and batches, and the writes to
// the tree's keys and values as rows.
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

#include <sqlite3.h>

#include <utility>

#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

constexpr std::int64_t kAllRights = 0xFFFFFFFFll;

const char* SqlText(int index) {
  static constexpr const char* kSql[] = {
      "BEGIN",
      "BEGIN IMMEDIATE",
      "COMMIT",
      "ROLLBACK",
      "SAVEPOINT qv_call",
      "RELEASE qv_call",
      "ROLLBACK TO qv_call",
      "SELECT id FROM roots WHERE machine = ? AND hkey = ?",
      "SELECT count(*) FROM roots WHERE machine = x''",
      "INSERT INTO keys(parent, name, folded, granted) VALUES(?, ?, ?, ?)",
      "INSERT INTO roots(machine, hkey, id) VALUES(?, ?, ?)",
      "SELECT 1 FROM keys WHERE id = ?",
      "SELECT parent, name, granted FROM keys WHERE id = ?",
      "SELECT id FROM keys WHERE parent = ? AND folded = ?",
      "SELECT 1 FROM keys WHERE parent = ? LIMIT 1",
      "DELETE FROM value_data WHERE key = ?",
      "DELETE FROM keys WHERE id = ?",
      // The (parent, folded) index makes each step one seek, so listing N
      // subkeys in order costs O(N log N) in all.
      "SELECT name, folded, id FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1",
      "SELECT name, folded, id FROM keys WHERE parent = ?1 AND folded > ?2"
      " ORDER BY folded LIMIT 1",
      "SELECT name, folded, id FROM keys WHERE parent = ?1 ORDER BY folded",
      "SELECT name, type, data FROM value_data WHERE key = ? AND folded = ?",
      // The name keeps the case it was first written with.
      "INSERT INTO value_data(key, folded, name, type, data) VALUES(?, ?, ?, ?, ?)"
      " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
      "DELETE FROM value_data WHERE key = ? AND folded = ?",
      "SELECT name, type, data, folded FROM value_data WHERE key = ?1 ORDER BY folded LIMIT 1",
      "SELECT name, type, data, folded FROM value_data WHERE key = ?1 AND folded > ?2"
      " ORDER BY folded LIMIT 1",
      "SELECT name, type, data, folded FROM value_data WHERE key = ?1 ORDER BY folded",
      "UPDATE keys SET granted = ? WHERE id = ?",
      "PRAGMA data_version",
      // Any read of the file: it fixes the transaction's snapshot.
      "SELECT 1 FROM roots LIMIT 1",
      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'volatile_keys'",
      // Prepared only once the table is there (sqlite_store_volatile.cc).
      "SELECT 1 FROM volatile_keys WHERE id = ?",
  };
  static_assert(sizeof kSql / sizeof kSql[0] == 31, "one text per statement");
  return kSql[index];
}

}  // namespace

sqlite3_stmt* SqliteStore::Prepared(Sql sql) {
  sqlite3_stmt*& statement = statements_[static_cast<std::size_t>(sql)];
  if (statement == nullptr && sqlite3_prepare_v2(db_, SqlText(static_cast<int>(sql)), -1,
                                                 &statement, nullptr) != SQLITE_OK) {
    statement = nullptr;
    Fail(sqlite3_extended_errcode(db_));
  }
  return statement;
}

void SqliteStore::Run(Sql sql) {
  Statement statement(*this, sql);
  statement.Step();
}

void SqliteStore::Begin(bool writing) {
  if (unusable_code_ != 0) throw StoreFailure{unusable_code_};
  if (writing) RefuseWritingIfReadOnly();
  // A batch whose transaction a failure ended answers every later call with
  // that failure: what it did is gone, and what follows must not stand alone.
  if (batch_depth_ > 0 && batch_lost_) throw StoreFailure{last_failure_};
  if (batch_depth_ == 0) {
    generation_unknown_ = false;
    if (!writing && BeginImageScope()) {
      in_savepoint_ = false;
      in_transaction_ = true;
      return;
    }
  } else if (writing && lazy_scope_) {
    // A write in a batch that has only read so far: its transaction begins
    // now, and the image no longer answers.
    TakeSnapshot();
    LeaveImage();
  }
  // Inside a batch a call that writes gets a savepoint, so that its failure
  // undoes its own work and no more; one that only reads has nothing to undo.
  in_savepoint_ = batch_depth_ > 0 && writing;
  if (in_savepoint_) {
    Run(Sql::kSavepoint);
  } else if (batch_depth_ == 0) {
    if (writing) CheckBeforeWriting();  // before the write lock is taken
    Run(writing ? Sql::kBeginWrite : Sql::kBeginRead);
  }
  in_transaction_ = true;
  if (writing) CheckBeforeWriting();
  if (writing && batch_depth_ == 0) BeginWritingOverImage();
}

void SqliteStore::Commit() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  if (batch_depth_ == 0) {
    if (!EndLazyScope()) CommitOverImage();
  } else if (in_savepoint_) {
    Run(Sql::kRelease);
  }
}

void SqliteStore::Rollback() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  if (batch_depth_ == 0) {
    if (!EndLazyScope()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    EndWritingOverImage(false);
    return;
  }
  if (!in_savepoint_) return;
  // Writes undone here that the image had followed: it no longer matches.
  if (writing_over_image_ && image_followed_writes_) {
    writing_over_image_ = false;
    image_.Clear();
    image_current_ = false;
  }
  // Some failures (a full disk, an I/O error) make SQLite roll the whole
  // transaction back itself: then the batch is lost. Either way the first
  // diagnosis is the one the caller hears.
  if (sqlite3_get_autocommit(db_) != 0) {
    batch_lost_ = true;
    return;
  }
  const std::string first = diagnosis_;
  const LONG first_failure = last_failure_;
  try {
    Run(Sql::kRollbackToSavepoint);
    Run(Sql::kRelease);
  } catch (const StoreFailure&) {
    batch_lost_ = true;
  }
  diagnosis_ = first;
  last_failure_ = first_failure;
}

void SqliteStore::BeginBatch(bool writing) {
  if (unusable_code_ != 0) throw StoreFailure{unusable_code_};
  if (writing) RefuseWritingIfReadOnly();
  if (batch_depth_ == 0) {
    generation_unknown_ = false;
    // A batch that reads alone begins its transaction at its first miss.
    const bool lazy = !writing && BeginImageScope();
    if (!lazy) {
      if (writing) CheckBeforeWriting();  // before the write lock is taken
      Run(writing ? Sql::kBeginWrite : Sql::kBeginRead);
      if (writing) BeginWritingOverImage();
    }
  }
  ++batch_depth_;
}

void SqliteStore::BeginScan() {
  if (unusable_code_ != 0) throw StoreFailure{unusable_code_};
  // Outside a batch: a read transaction of its own, past the image. Inside
  // one, the batch's own scope goes on.
  if (batch_depth_ == 0) {
    generation_unknown_ = false;
    Run(Sql::kBeginRead);
  }
  ++batch_depth_;
}

void SqliteStore::EndBatch(bool commit) {
  if (batch_depth_ == 0 || --batch_depth_ > 0) return;
  if (EndLazyScope()) return;
  if (batch_lost_) {
    batch_lost_ = false;
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    EndWritingOverImage(false);
    if (commit) throw StoreFailure{last_failure_};
    return;
  }
  if (commit) {
    try {
      CommitOverImage();
    } catch (const StoreFailure&) {
      // A commit that failed (a full disk) may leave its transaction open;
      // the next batch must begin on a clean connection.
      if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      }
      throw;
    }
  } else {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    EndWritingOverImage(false);
  }
}

void SqliteStore::CommitOverImage() {
  try {
    Run(Sql::kCommit);
  } catch (const StoreFailure&) {
    // Whether anything reached the file is not known.
    writing_over_image_ = false;
    image_.Clear();
    image_current_ = false;
    throw;
  }
  EndWritingOverImage(true);
}

KeyId SqliteStore::CreateSubkey(KeyId parent, const std::u16string& name,
                                const std::u16string& folded) {
  LeaveImage();
  {
    Statement create(*this, Sql::kInsertKey);
    create.Bind(1, parent).Bind(2, name).Bind(3, folded).Bind(4, kAllRights);
    create.Step();
  }
  ++own_changes_;
  const KeyId created = sqlite3_last_insert_rowid(db_);
  if (writing_over_image_) {
    image_.Forget(created);  // a lookup of an id once used may be there
    image_.SubkeyAdded(parent, name, folded, created);
    image_followed_writes_ = true;
  }
  return created;
}

void SqliteStore::DeleteKey(KeyId key) {
  LeaveImage();
  if (writing_over_image_) {
    image_.SubkeyDeleted(QueryRow(key).parent, key);
    image_.Forget(key);
    image_followed_writes_ = true;
  }
  {
    Statement values(*this, Sql::kDeleteKeyValues);
    values.Bind(1, key);
    values.Step();
  }
  Statement remove(*this, Sql::kDeleteKey);
  remove.Bind(1, key);
  remove.Step();
  ++own_changes_;
}

void SqliteStore::SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) {
  LeaveImage();
  {
    Statement upsert(*this, Sql::kSetValue);
    upsert.Bind(1, key).Bind(2, folded).Bind(3, value.name);
    upsert.Bind(4, static_cast<std::int64_t>(value.type)).Bind(5, value.data);
    upsert.Step();
  }
  ++own_changes_;
  if (writing_over_image_) {
    image_.ValueWritten(key, folded, &value);
    image_followed_writes_ = true;
  }
}

bool SqliteStore::DeleteValue(KeyId key, const std::u16string& folded) {
  LeaveImage();
  bool deleted = false;
  {
    Statement remove(*this, Sql::kDeleteValue);
    remove.Bind(1, key).Bind(2, folded);
    remove.Step();
    deleted = sqlite3_changes(db_) > 0;
  }
  ++own_changes_;
  if (writing_over_image_) {
    image_.ValueWritten(key, folded, nullptr);
    image_followed_writes_ = true;
  }
  return deleted;
}

void SqliteStore::SetGrantedRights(KeyId key, REGSAM rights) {
  LeaveImage();
  {
    Statement update(*this, Sql::kSetGranted);
    update.Bind(1, static_cast<std::int64_t>(rights)).Bind(2, key);
    update.Step();
  }
  ++own_changes_;
  if (writing_over_image_) {
    image_.RightsSet(key, rights);
    image_followed_writes_ = true;
  }
}

}  // namespace quorvane::platform::portable
