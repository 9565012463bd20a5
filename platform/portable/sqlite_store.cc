#include "platform/portable/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include <set>
#include <vector>

#include <utility>
#include "platform/portable/code_page.h"

namespace quorvane::platform::portable {
namespace {

constexpr std::int64_t kAllRights = 0xFFFFFFFFll;
constexpr int kLocalRootCount = static_cast<int>(kHkeyCurrentConfig - kHkeyClassesRoot) + 1;

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
  text.reserve(static_cast<std::size_t>(size / 2));
  for (int i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
  }
  return text;
}

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
      "SELECT name, type, data FROM value_data WHERE key = ? AND folded = ?",
      // The name keeps the case it was first written with.
      "INSERT INTO value_data(key, folded, name, type, data) VALUES(?, ?, ?, ?, ?)"
      " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
      "DELETE FROM value_data WHERE key = ? AND folded = ?",
      "SELECT name, type, data, folded FROM value_data WHERE key = ?1 ORDER BY folded LIMIT 1",
      "SELECT name, type, data, folded FROM value_data WHERE key = ?1 AND folded > ?2"
      " ORDER BY folded LIMIT 1",
      "SELECT granted FROM keys WHERE id = ?",
      "UPDATE keys SET granted = ? WHERE id = ?",
      "PRAGMA data_version",
  };
  static_assert(sizeof kSql / sizeof kSql[0] == 28, "one text per statement");
  return kSql[index];
}

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

bool CanWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }
bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A file name as an SQLite URI path: everything but letters, digits and a
// few marks percent-encoded.
std::string UriPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri.push_back(c);
    } else {
      uri += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return uri;
}

// How this process can open the registry file (its name for the open goes to
// `name`): for writing when it may write the file and the log and index
// beside it; else for reading alone, through the log and index a writer
// keeps there or, when there are none, as the file stands, so that nothing is
// created beside it.
int OpenFlags(const std::string& path, std::string* name) {
  *name = path;
  if (!Exists(path)) return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;  // a new registry
  const std::string index = path + "-shm";
  const bool log_there = Exists(path + "-wal") && Exists(index);
  if (CanWrite(path) && (CanWrite(FolderOf(path)) || log_there)) {
    // An index left read-only by an earlier reader would keep every writer
    // out; its owner may make it writable again, as the file is.
    struct stat file {};
    struct stat left {};
    if (::stat(index.c_str(), &left) == 0 && !CanWrite(index) && left.st_uid == ::geteuid() &&
        ::stat(path.c_str(), &file) == 0) {
      (void)::chmod(index.c_str(), file.st_mode & 0666);
    }
    return SQLITE_OPEN_READWRITE;
  }
  if (log_there) return SQLITE_OPEN_READONLY;
  *name = "file:" + UriPath(path) + "?immutable=1";
  return SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
}

}  // namespace

// A cached statement in use: reset and unbound when it goes out of scope.
class SqliteStore::Statement {
 public:
  Statement(SqliteStore& store, Sql sql)
      : store_(store), statement_(store.Prepared(sql)), bound_(store.bound_[Index(sql)]) {}
  ~Statement() { sqlite3_reset(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
  }
  Statement& Bind(int index, const std::string& bytes) {
    std::string& held = bound_[static_cast<std::size_t>(index)];
    held.assign(bytes);
    return BindHeld(index, held);
  }
  // A name, as the store keeps names: big-endian UTF-16.
  Statement& Bind(int index, const std::u16string& name) {
    std::string& held = bound_[static_cast<std::size_t>(index)];
    held.resize(name.size() * 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
      held[2 * i] = static_cast<char>(name[i] >> 8);
      held[2 * i + 1] = static_cast<char>(name[i] & 0xFF);
    }
    return BindHeld(index, held);
  }
  // True while a row is there.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) store_.Fail(sqlite3_extended_errcode(store_.db_));
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
  static std::size_t Index(Sql sql) { return static_cast<std::size_t>(sql); }
  Statement& BindHeld(int index, const std::string& held) {
    // The text stays in the store until the statement binds it again.
    Check(sqlite3_bind_blob(statement_, index, held.data(), static_cast<int>(held.size()),
                            SQLITE_STATIC));
    return *this;
  }
  void Check(int result) {
    if (result != SQLITE_OK) store_.Fail(result);
  }
  SqliteStore& store_;
  sqlite3_stmt* statement_;
  std::array<std::string, kMostParameters + 1>& bound_;
};

SqliteStore::SqliteStore(std::string path) : SqliteStore(std::move(path), Options{}) {}

SqliteStore::SqliteStore(std::string path, Options options) : path_(std::move(path)) {
  try {
    Open(options);
  } catch (const StoreFailure& failure) {
    unusable_code_ = failure.code;
  }
}

std::unique_ptr<SqliteStore> SqliteStore::Unusable(LONG code, std::string reason) {
  std::unique_ptr<SqliteStore> store(new SqliteStore());
  store->unusable_code_ = code;
  store->diagnosis_ = std::move(reason);
  return store;
}

SqliteStore::~SqliteStore() {
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

void SqliteStore::Open(const Options& options) {
  std::string name;
  const int flags = OpenFlags(path_, &name);
  read_only_ = (flags & SQLITE_OPEN_READONLY) != 0;
  const int opened = sqlite3_open_v2(name.c_str(), &db_, flags, options.vfs);
  if (opened != SQLITE_OK) Fail(opened);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, options.busy_timeout_ms);
  AdoptFile(options.ansi_code_page);
  // Every commit reaches the disk before the call that made it returns.
  if (sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  CreateLocalRoots();
}

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
  // given out twice, a key missing from the index is made twice), so the
  // whole file is checked once, inside the first write transaction; from the
  // first damage met on, nothing is written.
  if (damaged_) {
    diagnosis_ = "registry database " + path_ +
                 " is damaged, so nothing is written to it (qv reg check tells more)";
    throw StoreFailure{kErrorBadDbDatabase};
  }
  if (structure_checked_) return;
  std::vector<std::string> problems;
  const LONG result = Inspect("PRAGMA integrity_check", &problems);
  if (result != kErrorSuccess) throw StoreFailure{result};
  structure_checked_ = true;
  if (!problems.empty()) Damaged(problems.front());
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
