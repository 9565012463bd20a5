// Opening the registry file: for writing where this user may, else for
// reading alone (through a writer's log and index, or the file as it stands).
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <thread>
#include <utility>

#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

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

SqliteStore::SqliteStore(std::string path) : SqliteStore(std::move(path), Options{}) {}

SqliteStore::SqliteStore(std::string path, const Options& options)
    : path_(std::move(path)),
      mark_(path_),
      boot_id_(options.boot_id.empty() ? MachineBootIdentity() : options.boot_id) {
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
  try {
    Flush();  // what this process wrote is on the disk when it ends
  } catch (const StoreFailure&) {
    // Nothing is left to tell; the commits are in the log all the same.
  }
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  // The last connection to close moves the log into the file: a file known
  // sound before stays known sound.
  const std::string before = read_only_ || db_ == nullptr ? "" : mark_.StateNow();
  const bool sound = mark_.Records(before);
  sqlite3_close(db_);
  if (sound) {
    const std::string after = mark_.StateNow();
    if (after != before) mark_.Record(after);
  }
}

void SqliteStore::Open(const Options& options) {
  std::string name;
  const int flags = OpenFlags(path_, &name);
  read_only_ = (flags & SQLITE_OPEN_READONLY) != 0;
  const int opened = sqlite3_open_v2(name.c_str(), &db_, flags, options.vfs);
  if (opened != SQLITE_OK) Fail(opened);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, options.busy_timeout_ms);
  // Every page read has its cells' sizes checked against the page: damage
  // in what a call reads is met as damage, not followed.
  sqlite3_exec(db_, "PRAGMA cell_size_check=ON", nullptr, nullptr, nullptr);
  sqlite3_wal_hook(db_, &SqliteStore::AfterCommit, this);
  AdoptFileBesideOthers(options);
  // A commit is in the log when the call that made it returns, so that a
  // crash or a killed process loses nothing that returned; it reaches the
  // disk when Flush syncs the log (lazily, on request, at exit), unless
  // every commit is to be synced before it returns.
  sync_every_commit_ = options.sync_every_commit;
  const char* synchronous =
      sync_every_commit_ ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL";
  if (sqlite3_exec(db_, synchronous, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }

  // The index is open once a transaction has run. A file opened as it
  // stands cannot change under this process.
  if (!stamp_.Attach(db_) && name.find("immutable=1") != std::string::npos) {
    stamp_.AttachUnchanging();
  }
}

void SqliteStore::AdoptFileBesideOthers(const Options& options) {
  // Processes that open a new file at the same moment all try to make it a
  // registry. SQLite answers "busy" at once, without waiting, to the ones
  // that meet another's switch of the journal mode or its first write there;
  // what another process did is not done again, so they try again for as
  // long as a writer would wait for the lock.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options.busy_timeout_ms);
  for (;;) {
    try {
      AdoptFile(options.ansi_code_page);
      CreateLocalRoots();
      DropVolatileKeysOfEarlierBoots();
      return;
    } catch (const StoreFailure& failure) {
      if (failure.code != kErrorBusy || std::chrono::steady_clock::now() >= deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void SqliteStore::Flush() {
  if (db_ == nullptr || unusable_code_ != 0 || sync_every_commit_) return;
  // Syncing the log makes every commit in it durable: a commit that a
  // checkpoint already moved to the database file was synced there by it.
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
      log == nullptr || log->pMethods == nullptr) {
    return;  // no log open: nothing written yet
  }
  const int synced = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
  if (synced != SQLITE_OK) Fail(synced);
}

}  // namespace quorvane::platform::portable
