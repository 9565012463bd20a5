// Volatile keys in the registry file: each such key's id and the boot of the
// machine it was made in, in a table of their own (made with the first
// volatile key, so that a registry without any is as it always was). At the
// first open after the machine started again they are dropped, with
// everything below them, as Windows forgets its volatile keys at a restart.
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

#include <sqlite3.h>

#include <fstream>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

constexpr const char* kTableExists =
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'volatile_keys'";

}  // namespace

std::string SqliteStore::MachineBootIdentity() {
  // Linux names each boot; elsewhere there is no such name, and volatile keys
  // then stay until they are deleted.
  std::ifstream boot("/proc/sys/kernel/random/boot_id");
  std::string identity;
  std::getline(boot, identity);
  return identity;
}

std::int64_t SqliteStore::Scalar(const char* sql, const std::string* text, std::int64_t number) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  int index = 1;
  if (number >= 0) sqlite3_bind_int64(statement, index++, number);
  if (text != nullptr) {
    sqlite3_bind_blob(statement, index, text->data(), static_cast<int>(text->size()),
                      SQLITE_TRANSIENT);
  }
  const int stepped = sqlite3_step(statement);
  const std::int64_t value = stepped == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
  sqlite3_finalize(statement);
  if (stepped != SQLITE_ROW && stepped != SQLITE_DONE) Fail(sqlite3_extended_errcode(db_));
  return value;
}

bool SqliteStore::IsVolatile(KeyId key) {
  // Asked at every key a call creates: two prepared statements, kept.
  {
    Statement table(*this, Sql::kVolatileTableExists);
    if (!table.Step()) return false;
  }
  Statement lookup(*this, Sql::kIsVolatile);
  lookup.Bind(1, key);
  return lookup.Step();
}

void SqliteStore::MarkVolatile(KeyId key) {
  LeaveImage();
  (void)Scalar(
      "CREATE TABLE IF NOT EXISTS volatile_keys(id INTEGER PRIMARY KEY, boot BLOB NOT NULL)",
      nullptr, -1);
  (void)Scalar("INSERT OR REPLACE INTO volatile_keys(id, boot) VALUES(?, ?)", &boot_id_, key);
  ++own_changes_;
}

void SqliteStore::DropVolatileKeysOfEarlierBoots() {
  if (boot_id_.empty() || read_only_) return;
  Run(Sql::kBeginRead);
  std::int64_t earlier = 0;
  try {
    if (Scalar(kTableExists, nullptr, -1) != 0) {
      earlier = Scalar("SELECT count(*) FROM volatile_keys WHERE boot != ?", &boot_id_, -1);
    }
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  Run(Sql::kCommit);
  if (earlier == 0) return;
  // The keys of an earlier boot and all below them, values first.
  constexpr const char* kBelow =
      "WITH RECURSIVE gone(id) AS (SELECT id FROM volatile_keys WHERE boot != ?"
      " UNION SELECT keys.id FROM keys JOIN gone ON keys.parent = gone.id) ";
  Run(Sql::kBeginWrite);
  try {
    (void)Scalar((std::string(kBelow) + "DELETE FROM value_data WHERE key IN gone").c_str(),
                 &boot_id_, -1);
    (void)Scalar((std::string(kBelow) + "DELETE FROM keys WHERE id IN gone").c_str(), &boot_id_,
                 -1);
    (void)Scalar("DELETE FROM volatile_keys WHERE boot != ?", &boot_id_, -1);
    Run(Sql::kCommit);
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace quorvane::platform::portable
