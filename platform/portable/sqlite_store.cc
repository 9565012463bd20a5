// The SQLite store's statements, transactions and batches, and the tree's
// keys and values as rows.
#include "platform/portable/sqlite_store.h"

#include <sqlite3.h>

#include <utility>

#include "platform/portable/sqlite_store_internal.h"

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
      "SELECT parent FROM keys WHERE id = ?",
      "SELECT name FROM keys WHERE id = ?",
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
      "SELECT granted FROM keys WHERE id = ?",
      "UPDATE keys SET granted = ? WHERE id = ?",
      "PRAGMA data_version",
  };
  static_assert(sizeof kSql / sizeof kSql[0] == 30, "one text per statement");
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
  // Inside a batch a call that writes gets a savepoint, so that its failure
  // undoes its own work and no more; one that only reads has nothing to undo.
  in_savepoint_ = batch_depth_ > 0 && writing;
  if (in_savepoint_) {
    Run(Sql::kSavepoint);
  } else if (batch_depth_ == 0) {
    Run(writing ? Sql::kBeginWrite : Sql::kBeginRead);
  }
  in_transaction_ = true;
  if (writing) CheckBeforeWriting();
}

void SqliteStore::Commit() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  if (batch_depth_ == 0) {
    Run(Sql::kCommit);
  } else if (in_savepoint_) {
    Run(Sql::kRelease);
  }
}

void SqliteStore::Rollback() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  if (batch_depth_ == 0) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return;
  }
  if (!in_savepoint_) return;
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
    Run(writing ? Sql::kBeginWrite : Sql::kBeginRead);
    if (writing) {
      try {
        CheckBeforeWriting();
      } catch (const StoreFailure&) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    }
  }
  ++batch_depth_;
}

void SqliteStore::EndBatch(bool commit) {
  if (batch_depth_ == 0 || --batch_depth_ > 0) return;
  if (batch_lost_) {
    batch_lost_ = false;
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (commit) throw StoreFailure{last_failure_};
    return;
  }
  if (commit) {
    try {
      Run(Sql::kCommit);
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
  }
}

KeyId SqliteStore::Root(const std::u16string& machine, HKEY root) {
  {
    Statement find(*this, Sql::kFindRoot);
    find.Bind(1, machine).Bind(2, static_cast<std::int64_t>(root));
    if (find.Step()) return find.Integer(0);
  }
  {
    Statement create(*this, Sql::kInsertKey);
    create.Bind(1, std::int64_t{0})
        .Bind(2, std::string())
        .Bind(3, Bytes(machine) + std::to_string(root));
    create.Bind(4, kAllRights);
    create.Step();
  }
  const KeyId id = sqlite3_last_insert_rowid(db_);
  Statement remember(*this, Sql::kRememberRoot);
  remember.Bind(1, machine).Bind(2, static_cast<std::int64_t>(root)).Bind(3, id);
  remember.Step();
  ++own_changes_;
  return id;
}

bool SqliteStore::Exists(KeyId key) {
  Statement find(*this, Sql::kKeyExists);
  find.Bind(1, key);
  return find.Step();
}

std::optional<KeyId> SqliteStore::Parent(KeyId key) {
  Statement find(*this, Sql::kKeyParent);
  find.Bind(1, key);
  if (!find.Step()) return std::nullopt;
  const KeyId parent = find.Integer(0);
  // A parent is always older than its child (see FindSubkey).
  if (parent >= key) Damaged("key " + std::to_string(key) + " is listed below a younger key");
  return parent;
}

std::u16string SqliteStore::Name(KeyId key) {
  Statement find(*this, Sql::kKeyName);
  find.Bind(1, key);
  return find.Step() ? find.Name(0) : std::u16string();
}

std::optional<KeyId> SqliteStore::FindSubkey(KeyId parent, const std::u16string& folded) {
  Statement find(*this, Sql::kFindSubkey);
  find.Bind(1, parent).Bind(2, folded);
  if (!find.Step()) return std::nullopt;
  const KeyId child = find.Integer(0);
  // Keys are never moved, so a subkey is always younger than its parent; a
  // link that breaks this could close a cycle.
  if (child <= parent) Damaged("key " + std::to_string(child) + " is listed below a younger key");
  return child;
}

KeyId SqliteStore::CreateSubkey(KeyId parent, const std::u16string& name,
                                const std::u16string& folded) {
  {
    Statement create(*this, Sql::kInsertKey);
    create.Bind(1, parent).Bind(2, name).Bind(3, folded).Bind(4, kAllRights);
    create.Step();
  }
  ++own_changes_;
  return sqlite3_last_insert_rowid(db_);
}

bool SqliteStore::HasSubkeys(KeyId key) {
  Statement find(*this, Sql::kHasSubkeys);
  find.Bind(1, key);
  return find.Step();
}

void SqliteStore::DeleteKey(KeyId key) {
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

std::optional<SubkeyName> SqliteStore::NextSubkey(KeyId key, const std::u16string* after) {
  Statement next(*this, after == nullptr ? Sql::kFirstSubkey : Sql::kNextSubkey);
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, *after);
  if (!next.Step()) return std::nullopt;
  if (next.Integer(2) <= key) {
    Damaged("key " + std::to_string(next.Integer(2)) + " is listed below a younger key");
  }
  return SubkeyName{next.Name(0), next.Name(1)};
}

std::vector<SubkeyName> SqliteStore::Subkeys(KeyId key) {
  std::vector<SubkeyName> all;
  Statement rows(*this, Sql::kAllSubkeys);
  rows.Bind(1, key);
  while (rows.Step()) {
    if (rows.Integer(2) <= key) {
      Damaged("key " + std::to_string(rows.Integer(2)) + " is listed below a younger key");
    }
    all.push_back(SubkeyName{rows.Name(0), rows.Name(1)});
  }
  return all;
}

std::vector<std::pair<std::u16string, StoredValue>> SqliteStore::Values(KeyId key) {
  std::vector<std::pair<std::u16string, StoredValue>> all;
  Statement rows(*this, Sql::kAllValues);
  rows.Bind(1, key);
  while (rows.Step()) {
    all.emplace_back(rows.Name(3),
                     StoredValue{rows.Name(0), static_cast<DWORD>(rows.Integer(1)), rows.Blob(2)});
  }
  return all;
}

const StoredValue* SqliteStore::GetValue(KeyId key, const std::u16string& folded) {
  Statement find(*this, Sql::kGetValue);
  find.Bind(1, key).Bind(2, folded);
  if (!find.Step()) return nullptr;
  read_value_.name = find.Name(0);
  read_value_.type = static_cast<DWORD>(find.Integer(1));
  read_value_.data = find.Blob(2);
  return &read_value_;
}

void SqliteStore::SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) {
  Statement upsert(*this, Sql::kSetValue);
  upsert.Bind(1, key).Bind(2, folded).Bind(3, value.name);
  upsert.Bind(4, static_cast<std::int64_t>(value.type)).Bind(5, value.data);
  upsert.Step();
  ++own_changes_;
}

bool SqliteStore::DeleteValue(KeyId key, const std::u16string& folded) {
  Statement remove(*this, Sql::kDeleteValue);
  remove.Bind(1, key).Bind(2, folded);
  remove.Step();
  ++own_changes_;
  return sqlite3_changes(db_) > 0;
}

std::optional<StoredValue> SqliteStore::NextValue(KeyId key, const std::u16string* after,
                                                  std::u16string* folded) {
  Statement next(*this, after == nullptr ? Sql::kFirstValue : Sql::kNextValue);
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, *after);
  if (!next.Step()) return std::nullopt;
  *folded = next.Name(3);
  return StoredValue{next.Name(0), static_cast<DWORD>(next.Integer(1)), next.Blob(2)};
}

REGSAM SqliteStore::GrantedRights(KeyId key) {
  Statement find(*this, Sql::kGranted);
  find.Bind(1, key);
  return find.Step() ? static_cast<REGSAM>(find.Integer(0)) : 0;
}

void SqliteStore::SetGrantedRights(KeyId key, REGSAM rights) {
  Statement update(*this, Sql::kSetGranted);
  update.Bind(1, static_cast<std::int64_t>(rights)).Bind(2, key);
  update.Step();
  ++own_changes_;
}

std::uint64_t SqliteStore::Generation() {
  // data_version moves when another connection commits; our own writes are
  // counted here.
  Statement version(*this, Sql::kDataVersion);
  const std::uint64_t others = version.Step() ? static_cast<std::uint64_t>(version.Integer(0)) : 0;
  return (others << 32) + own_changes_;
}

}  // namespace quorvane::platform::portable
