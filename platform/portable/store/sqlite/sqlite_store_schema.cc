// The registry file's schema and marks: a new file made a registry, one of
// ours from before brought up to date in one transaction, another program's
// refused untouched; and the local roots every registry holds.
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

#include <sqlite3.h>

#include <set>
#include <utility>
#include <vector>

#include <quorvane/platform/portable/text/code_page.h>

#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

constexpr int kLocalRootCount = static_cast<int>(kHkeyCurrentConfig - kHkeyClassesRoot) + 1;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, granted INTEGER NOT NULL,"
    " UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS roots("
    " machine BLOB NOT NULL, hkey INTEGER NOT NULL, id INTEGER NOT NULL,"
    " PRIMARY KEY(machine, hkey));"
    "CREATE TABLE IF NOT EXISTS value_data("
    " key INTEGER NOT NULL, folded BLOB NOT NULL, name BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded));";

}  // namespace

// Looks at the file in a read transaction and writes to it only when it is
// empty (a new registry) or one of ours from before the marking.
void SqliteStore::AdoptFile(UINT ansi_code_page) {
  const auto inspect = [this](std::int64_t* application_id, std::int64_t* version,
                              std::set<std::string>* objects) {
    sqlite3_stmt* statement = nullptr;
    const auto scalar = [&](const char* sql) {
      if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
        Fail(sqlite3_extended_errcode(db_));
      }
      const int stepped = sqlite3_step(statement);
      const std::int64_t value = stepped == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
      sqlite3_finalize(statement);
      if (stepped != SQLITE_ROW) Fail(sqlite3_extended_errcode(db_));
      return value;
    };
    *application_id = scalar("PRAGMA application_id");
    *version = scalar("PRAGMA user_version");
    objects->clear();
    // A registry of ours that is up to date needs no look at its tables:
    // every start of a program is spared it.
    if (*application_id == kApplicationId && *version == kSchemaVersion) return;
    if (sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master", -1, &statement, nullptr) !=
        SQLITE_OK) {
      Fail(sqlite3_extended_errcode(db_));
    }
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
      const unsigned char* name = sqlite3_column_text(statement, 0);
      objects->insert(name == nullptr ? "" : reinterpret_cast<const char*>(name));
    }
    sqlite3_finalize(statement);
    if (stepped != SQLITE_DONE) Fail(sqlite3_extended_errcode(db_));
  };
  // The tables and indexes a registry of ours holds.
  const std::set<std::string> ours = {"keys",
                                      "roots",
                                      "value_data",
                                      "sqlite_sequence",
                                      "sqlite_autoindex_keys_1",
                                      "sqlite_autoindex_roots_1",
                                      "sqlite_autoindex_value_data_1"};
  std::int64_t application_id = 0;
  std::int64_t version = 0;
  std::set<std::string> objects;
  Run(Sql::kBeginRead);
  try {
    inspect(&application_id, &version, &objects);
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  Run(Sql::kCommit);
  if (application_id == kApplicationId && version > kSchemaVersion) {
    diagnosis_ = "registry database " + path_ + " was written by a newer version; left untouched";
    throw StoreFailure{kErrorCantOpen};
  }
  if (application_id == kApplicationId && version == kSchemaVersion) return;
  const bool empty = application_id == 0 && version == 0 && objects.empty();
  const bool unmarked_ours = application_id == 0 && version == 0 && objects == ours;
  const bool older_ours = application_id == kApplicationId && objects == ours;
  if (!empty && !unmarked_ours && !older_ours) {
    diagnosis_ = "registry database " + path_ +
                 " belongs to another program (it is not a registry database); left untouched";
    throw StoreFailure{kErrorCantOpen};
  }
  // A new registry: WAL first (it cannot change inside a transaction), then
  // the tables and the marks in one transaction. An older one of ours is
  // brought up to date in one transaction. Another process may be doing the
  // same; whatever is done already is not done again.
  if (sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  const std::string mark = std::string(kSchema) +
                           "PRAGMA application_id=" + std::to_string(kApplicationId) +
                           ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
  Run(Sql::kBeginWrite);
  try {
    inspect(&application_id, &version, &objects);
    if (application_id != kApplicationId || version < kSchemaVersion) {
      if (!objects.empty() && objects != ours) {
        diagnosis_ = "registry database " + path_ + " changed while it was opened; left untouched";
        throw StoreFailure{kErrorCantOpen};
      }
      // Before version 2 string data were kept as the ANSI calls gave them.
      if (!objects.empty() && version < 2) ConvertStringsToUtf16(ansi_code_page);
      if (!objects.empty() && version < 3) RefoldNames();
      if (sqlite3_exec(db_, mark.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(sqlite3_extended_errcode(db_));
      }
    }
    Run(Sql::kCommit);
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteStore::ConvertStringsToUtf16(UINT ansi_code_page) {
  std::vector<std::pair<std::int64_t, std::string>> strings;
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT rowid, data FROM value_data WHERE type IN (1, 2, 7)", -1,
                         &select, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  int stepped = SQLITE_ROW;
  while ((stepped = sqlite3_step(select)) == SQLITE_ROW) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(select, 1));
    const int size = sqlite3_column_bytes(select, 1);
    strings.emplace_back(
        sqlite3_column_int64(select, 0),
        data == nullptr ? std::string() : std::string(data, static_cast<std::size_t>(size)));
  }
  sqlite3_finalize(select);
  if (stepped != SQLITE_DONE) Fail(sqlite3_extended_errcode(db_));
  sqlite3_stmt* update = nullptr;
  if (sqlite3_prepare_v2(db_, "UPDATE value_data SET data = ? WHERE rowid = ?", -1, &update,
                         nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  for (const auto& [rowid, ansi] : strings) {
    std::string utf16;
    for (char16_t unit : CodePage::Decode(ansi_code_page, ansi)) {
      utf16.push_back(static_cast<char>(unit & 0xFF));
      utf16.push_back(static_cast<char>(unit >> 8));
    }
    sqlite3_bind_blob(update, 1, utf16.data(), static_cast<int>(utf16.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(update, 2, rowid);
    const int result = sqlite3_step(update);
    sqlite3_reset(update);
    if (result != SQLITE_DONE) {
      sqlite3_finalize(update);
      Fail(sqlite3_extended_errcode(db_));
    }
  }
  sqlite3_finalize(update);
}

// The local roots exist from the start, so that calls that only read never
// have to write. They are looked for in a read transaction; only a registry
// that lacks them takes the write lock.
void SqliteStore::CreateLocalRoots() {
  Run(Sql::kBeginRead);
  std::int64_t count = 0;
  try {
    Statement local(*this, Sql::kCountLocalRoots);
    if (local.Step()) count = local.Integer(0);
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  Run(Sql::kCommit);
  if (count == kLocalRootCount) return;
  Run(Sql::kBeginWrite);
  try {
    for (HKEY root = kHkeyClassesRoot; root <= kHkeyCurrentConfig; ++root) (void)Root(u"", root);
    Run(Sql::kCommit);
  } catch (const StoreFailure&) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace quorvane::platform::portable
