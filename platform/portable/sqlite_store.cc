#include "platform/portable/sqlite_store.h"

#include <sqlite3.h>

#include <utility>

namespace quorvane::platform::portable {
namespace {

constexpr int kBusyTimeoutMs = 10000;

// Names are kept as big-endian UTF-16 so that SQLite's byte order is the
// code-unit order the in-memory registry sorts by.
std::string Bytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit >> 8));
    bytes.push_back(static_cast<char>(unit & 0xFF));
  }
  return bytes;
}

std::u16string Text(const void* data, int size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::u16string text;
  for (int i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
  }
  return text;
}

}  // namespace

// A prepared statement, finalized when it goes out of scope.
class SqliteStore::Statement {
 public:
  Statement(const SqliteStore& store, const char* sql) : store_(store) {
    if (sqlite3_prepare_v2(store.db_, sql, -1, &statement_, nullptr) != SQLITE_OK) store.Fail();
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
  }
  Statement& Bind(int index, const std::string& bytes) {
    Check(sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) store_.Fail();
    return false;
  }
  std::int64_t Integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Blob(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
  }
  std::u16string Name(int column) {
    return Text(sqlite3_column_blob(statement_, column), sqlite3_column_bytes(statement_, column));
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) store_.Fail();
  }
  const SqliteStore& store_;
  sqlite3_stmt* statement_ = nullptr;
};

SqliteStore::SqliteStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    return;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  try {
    Execute("PRAGMA journal_mode=WAL");
    Execute("PRAGMA synchronous=NORMAL");
    Execute(
        "CREATE TABLE IF NOT EXISTS keys("
        " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
        " name BLOB NOT NULL, folded BLOB NOT NULL, granted INTEGER NOT NULL,"
        " UNIQUE(parent, folded));"
        "CREATE TABLE IF NOT EXISTS roots("
        " machine BLOB NOT NULL, hkey INTEGER NOT NULL, id INTEGER NOT NULL,"
        " PRIMARY KEY(machine, hkey));"
        "CREATE TABLE IF NOT EXISTS value_data("
        " key INTEGER NOT NULL, folded BLOB NOT NULL, name BLOB NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded));");
    // The local roots exist from the start, so that calls that only read
    // never have to write (a read transaction cannot safely become a write
    // one while another process writes).
    Execute("BEGIN IMMEDIATE");
    for (HKEY root = kHkeyClassesRoot; root <= kHkeyCurrentConfig; ++root) (void)Root(u"", root);
    Execute("COMMIT");
    usable_ = true;
  } catch (const StoreFailure&) {
    usable_ = false;
  }
}

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

void SqliteStore::Fail() const { throw StoreFailure{kErrorBadDbDatabase}; }

void SqliteStore::Execute(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

void SqliteStore::Begin(bool writing) {
  if (!usable_) Fail();
  Execute(writing ? "BEGIN IMMEDIATE" : "BEGIN");
  in_transaction_ = true;
}

void SqliteStore::Commit() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  Execute("COMMIT");
}

void SqliteStore::Rollback() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

KeyId SqliteStore::Root(const std::u16string& machine, HKEY root) {
  {
    Statement find(*this, "SELECT id FROM roots WHERE machine = ? AND hkey = ?");
    find.Bind(1, Bytes(machine)).Bind(2, static_cast<std::int64_t>(root));
    if (find.Step()) return find.Integer(0);
  }
  Statement create(*this, "INSERT INTO keys(parent, name, folded, granted) VALUES(0, ?, ?, ?)");
  create.Bind(1, std::string()).Bind(2, Bytes(machine) + std::to_string(root));
  create.Bind(3, static_cast<std::int64_t>(0xFFFFFFFFu));
  create.Step();
  const KeyId id = sqlite3_last_insert_rowid(db_);
  Statement remember(*this, "INSERT INTO roots(machine, hkey, id) VALUES(?, ?, ?)");
  remember.Bind(1, Bytes(machine)).Bind(2, static_cast<std::int64_t>(root)).Bind(3, id);
  remember.Step();
  ++own_changes_;
  return id;
}

bool SqliteStore::Exists(KeyId key) {
  Statement find(*this, "SELECT 1 FROM keys WHERE id = ?");
  find.Bind(1, key);
  return find.Step();
}

std::optional<KeyId> SqliteStore::FindSubkey(KeyId parent, const std::u16string& folded) {
  Statement find(*this, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
  find.Bind(1, parent).Bind(2, Bytes(folded));
  if (!find.Step()) return std::nullopt;
  return find.Integer(0);
}

KeyId SqliteStore::CreateSubkey(KeyId parent, const std::u16string& name,
                                const std::u16string& folded) {
  Statement create(*this, "INSERT INTO keys(parent, name, folded, granted) VALUES(?, ?, ?, ?)");
  create.Bind(1, parent).Bind(2, Bytes(name)).Bind(3, Bytes(folded));
  create.Bind(4, static_cast<std::int64_t>(0xFFFFFFFFu));
  create.Step();
  ++own_changes_;
  return sqlite3_last_insert_rowid(db_);
}

bool SqliteStore::HasSubkeys(KeyId key) {
  Statement find(*this, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  find.Bind(1, key);
  return find.Step();
}

void SqliteStore::DeleteKey(KeyId key) {
  Statement values(*this, "DELETE FROM value_data WHERE key = ?");
  values.Bind(1, key);
  values.Step();
  Statement remove(*this, "DELETE FROM keys WHERE id = ?");
  remove.Bind(1, key);
  remove.Step();
  ++own_changes_;
}

std::optional<SubkeyName> SqliteStore::NextSubkey(KeyId key, const std::u16string* after) {
  // The (parent, folded) index makes each step one seek, so listing N
  // subkeys in order costs O(N log N) in all.
  Statement next(*this, after == nullptr
                            ? "SELECT name, folded FROM keys WHERE parent = ?1"
                              " ORDER BY folded LIMIT 1"
                            : "SELECT name, folded FROM keys WHERE parent = ?1 AND folded > ?2"
                              " ORDER BY folded LIMIT 1");
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, Bytes(*after));
  if (!next.Step()) return std::nullopt;
  const std::string folded = next.Blob(1);
  return SubkeyName{next.Name(0), Text(folded.data(), static_cast<int>(folded.size()))};
}

std::optional<StoredValue> SqliteStore::GetValue(KeyId key, const std::u16string& folded) {
  Statement find(*this, "SELECT name, type, data FROM value_data WHERE key = ? AND folded = ?");
  find.Bind(1, key).Bind(2, Bytes(folded));
  if (!find.Step()) return std::nullopt;
  return StoredValue{find.Name(0), static_cast<DWORD>(find.Integer(1)), find.Blob(2)};
}

void SqliteStore::SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) {
  // The name keeps the case it was first written with.
  Statement upsert(*this,
                   "INSERT INTO value_data(key, folded, name, type, data) VALUES(?, ?, ?, ?, ?)"
                   " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
                   " data = excluded.data");
  upsert.Bind(1, key).Bind(2, Bytes(folded)).Bind(3, Bytes(value.name));
  upsert.Bind(4, static_cast<std::int64_t>(value.type)).Bind(5, value.data);
  upsert.Step();
  ++own_changes_;
}

bool SqliteStore::DeleteValue(KeyId key, const std::u16string& folded) {
  Statement remove(*this, "DELETE FROM value_data WHERE key = ? AND folded = ?");
  remove.Bind(1, key).Bind(2, Bytes(folded));
  remove.Step();
  ++own_changes_;
  return sqlite3_changes(db_) > 0;
}

std::optional<StoredValue> SqliteStore::NextValue(KeyId key, const std::u16string* after,
                                                  std::u16string* folded) {
  Statement next(*this, after == nullptr
                            ? "SELECT name, type, data, folded FROM value_data WHERE key = ?1"
                              " ORDER BY folded LIMIT 1"
                            : "SELECT name, type, data, folded FROM value_data"
                              " WHERE key = ?1 AND folded > ?2 ORDER BY folded LIMIT 1");
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, Bytes(*after));
  if (!next.Step()) return std::nullopt;
  const std::string folded_bytes = next.Blob(3);
  *folded = Text(folded_bytes.data(), static_cast<int>(folded_bytes.size()));
  return StoredValue{next.Name(0), static_cast<DWORD>(next.Integer(1)), next.Blob(2)};
}

REGSAM SqliteStore::GrantedRights(KeyId key) {
  Statement find(*this, "SELECT granted FROM keys WHERE id = ?");
  find.Bind(1, key);
  return find.Step() ? static_cast<REGSAM>(find.Integer(0)) : 0;
}

void SqliteStore::SetGrantedRights(KeyId key, REGSAM rights) {
  Statement update(*this, "UPDATE keys SET granted = ? WHERE id = ?");
  update.Bind(1, static_cast<std::int64_t>(rights)).Bind(2, key);
  update.Step();
  ++own_changes_;
}

std::uint64_t SqliteStore::Generation() {
  // data_version moves when another connection commits; our own writes are
  // counted here.
  Statement version(*this, "PRAGMA data_version");
  const std::uint64_t others = version.Step() ? static_cast<std::uint64_t>(version.Integer(0)) : 0;
  return (others << 32) + own_changes_;
}

}  // namespace quorvane::platform::portable
