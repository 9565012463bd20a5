// The registry tree in an SQLite database, shared by every process that opens
// the same file. Each platform call is one transaction in WAL mode, committed
// with a sync (synchronous=FULL), so a call that returned success survives a
// crash or a power cut, readers never wait for a writer, and a writer waits at
// most `busy_timeout_ms` for another one before failing with 170 (busy).
//
// The file is marked as ours (application_id and a schema version in
// user_version). An empty file becomes a registry; a file of another program
// is refused untouched (1011), a damaged one answers 1009 and is never
// written. Failures of the medium map to the codes a Windows program sees:
// 1011 cannot open, 1012 cannot read, 1013 cannot write, 112 disk full.
//
// Reads are answered from an image of what this process read before, as
// long as no process has committed since (the WAL-index's change counter
// tells, without a system call); a call that misses begins its transaction
// then. A call that found the file changed under answers it already gave
// from the image runs again (ImageOutdated); a batch goes on with what the
// file holds now.
//
// One class, its definitions split by concern: sqlite_store.cc (statements,
// transactions, writes), sqlite_store_reads.cc (reads, through the image or
// the file), sqlite_store_image.cc (when the image answers),
// sqlite_store_open.cc (opening for writing or reading alone),
// sqlite_store_schema.cc (marks, schema steps, local roots),
// sqlite_store_failures.cc (failure codes and words, the damage checks);
// sqlite_store_internal.h holds what they share.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <quorvane/platform/portable/store/registry_store.h>
#include <quorvane/platform/portable/store/sqlite/read_image.h>
#include <quorvane/platform/portable/store/sqlite/sound_file_mark.h>
#include <quorvane/platform/portable/store/sqlite/wal_stamp.h>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvane::platform::portable {

class SqliteStore final : public RegistryStore {
 public:
  static constexpr int kDefaultBusyTimeoutMs = 5000;
  static constexpr int kApplicationId = 0x51565247;  // "QVRG"
  // 1: string data as the ANSI calls gave them; 2: string data in UTF-16;
  // 3: names folded through the system's whole upper-case table.
  static constexpr int kSchemaVersion = 3;

  struct Options {
    const char* vfs = nullptr;  // SQLite's default VFS when null
    int busy_timeout_ms = kDefaultBusyTimeoutMs;
    // The code page the string data of a version-1 registry were written in.
    UINT ansi_code_page = kCp1252;
    // Every commit synced before it returns (QV_REGISTRY_SYNC=full); else a
    // commit reaches the log at once and the disk when Flush runs.
    bool sync_every_commit = false;
    // The machine's boot, as volatile keys are marked with it; "" for the
    // one the system names (MachineBootIdentity).
    std::string boot_id;
  };
  // This boot of the machine ("" where the system names none).
  [[nodiscard]] static std::string MachineBootIdentity();

  explicit SqliteStore(std::string path);
  SqliteStore(std::string path, const Options& options);
  // A store that cannot be used at all: every call fails with `code`, and
  // `reason` is its diagnosis.
  static std::unique_ptr<SqliteStore> Unusable(LONG code, std::string reason);
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  void Begin(bool writing) override;
  void Commit() override;
  void Rollback() override;
  [[nodiscard]] bool HasTransactions() const override { return true; }
  void BeginBatch(bool writing) override;
  void BeginScan() override;
  void EndBatch(bool commit) override;
  std::string Diagnosis() const override { return diagnosis_; }
  std::string Location() const override { return path_; }
  bool FlushesLazily() const override { return !sync_every_commit_; }
  void Flush() override;
  LONG Check(std::string* report) override;

  KeyId Root(const std::u16string& machine, HKEY root) override;
  bool Exists(KeyId key) override;
  std::optional<KeyId> Parent(KeyId key) override;
  std::u16string Name(KeyId key) override;
  std::optional<KeyId> FindSubkey(KeyId parent, const std::u16string& folded) override;
  KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                     const std::u16string& folded) override;
  bool HasSubkeys(KeyId key) override;
  bool IsVolatile(KeyId key) override;
  void MarkVolatile(KeyId key) override;
  void DeleteKey(KeyId key) override;
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override;
  SubkeyList Subkeys(KeyId key) override;
  ValueList Values(KeyId key) override;

  const StoredValue* GetValue(KeyId key, const std::u16string& folded) override;
  void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) override;
  bool DeleteValue(KeyId key, const std::u16string& folded) override;
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override;

  REGSAM GrantedRights(KeyId key) override;
  void SetGrantedRights(KeyId key, REGSAM rights) override;
  std::uint64_t Generation() override;

  // What the image of earlier reads holds now, in bytes (estimated).
  [[nodiscard]] std::size_t ImageBytes() const { return image_.Bytes(); }

 private:
  // Every statement the store runs, prepared once per connection.
  enum class Sql {
    kBeginRead,
    kBeginWrite,
    kCommit,
    kRollback,
    kSavepoint,
    kRelease,
    kRollbackToSavepoint,
    kFindRoot,
    kCountLocalRoots,
    kInsertKey,
    kRememberRoot,
    kKeyExists,
    kKeyRow,
    kFindSubkey,
    kHasSubkeys,
    kDeleteKeyValues,
    kDeleteKey,
    kFirstSubkey,
    kNextSubkey,
    kAllSubkeys,
    kGetValue,
    kSetValue,
    kDeleteValue,
    kFirstValue,
    kNextValue,
    kAllValues,
    kSetGranted,
    kDataVersion,
    kTouch,
    kVolatileTableExists,
    kIsVolatile,
    kCount,
  };
  class Statement;

  SqliteStore() = default;
  void Open(const Options& options);
  // AdoptFile and CreateLocalRoots, again while another process sets the
  // same new file up.
  void AdoptFileBesideOthers(const Options& options);
  void AdoptFile(UINT ansi_code_page);
  void DropVolatileKeysOfEarlierBoots();
  // One statement's first column, with a number and a blob bound in that
  // order where given (a number below 0 is none).
  std::int64_t Scalar(const char* sql, const std::string* text, std::int64_t number);
  void ConvertStringsToUtf16(UINT ansi_code_page);
  void RefoldNames();
  void CreateLocalRoots();
  void Run(Sql sql);
  sqlite3_stmt* Prepared(Sql sql);
  [[noreturn]] void Fail(int result);
  [[noreturn]] void Damaged(const std::string& what);
  void RefuseWritingIfReadOnly();
  // Before a store's first write: the whole file is checked (in a read
  // transaction of its own when none is open, so that other writers need
  // not wait for it) unless the mark says it is as it was last known sound.
  void CheckBeforeWriting();
  // Checkpoints of this store move its log into the file; where the file
  // was known sound before one, it is known sound after it.
  static int AfterCommit(void* store, sqlite3* db, const char* name, int log_pages);
  void CheckpointKeepingMark();
  // Runs an inspecting pragma; its findings other than "ok" go to `problems`.
  // Returns a failure that kept it from giving a verdict, else 0.
  LONG Inspect(const char* pragma, std::vector<std::string>* problems);

  // The image (sqlite_store_image.cc). A scope is a call outside a batch, or
  // a batch; one that reads alone begins its transaction lazily.
  bool BeginImageScope();
  // Begins the lazy scope's transaction, and checks that what it sees is what
  // the image holds.
  void TakeSnapshot();
  // A write in a scope that read through the image: from here on, and until
  // the next scope, everything is read from the file.
  void LeaveImage();
  // Ends a lazy scope; true when it never began its transaction.
  bool EndLazyScope();
  // A transaction that writes, begun (holding the write lock) on the file
  // the image matches, keeps the image: each write changes what the image
  // holds of it in place, and the commit moves the image to the file's new
  // stamp if no one else's commit came with it.
  void BeginWritingOverImage();
  void EndWritingOverImage(bool committed);
  void ForgetInImage(KeyId key);
  void CommitOverImage();
  void MarkServed() { served_from_image_ = true; }

  // Reads from the file (sqlite_store_reads.cc).
  ReadImage::KeyRow QueryRow(KeyId key);
  std::optional<KeyId> QuerySubkey(KeyId parent, const std::u16string& folded);
  void QueryAllSubkeys(KeyId key, std::vector<SubkeyName>* names, std::vector<KeyId>* ids);
  ValueList QueryAllValues(KeyId key);
  // The key's row, from the image when it answers.
  const ReadImage::KeyRow& RowOf(KeyId key);
  // The key's entry in the image with its whole lists, or null when the image
  // does not answer.
  const ReadImage::Key* AllSubkeysOf(KeyId key);
  const ReadImage::Key* AllValuesOf(KeyId key);

  std::string path_;
  SoundFileMark mark_{std::string()};
  std::string boot_id_;
  sqlite3* db_ = nullptr;
  std::array<sqlite3_stmt*, static_cast<std::size_t>(Sql::kCount)> statements_{};
  StoredValue read_value_;  // what GetValue last read
  // What each statement's parameters are bound to, kept here (and reused)
  // so that binding neither copies nor allocates once they have grown.
  static constexpr int kMostParameters = 5;
  std::array<std::array<std::string, kMostParameters + 1>, static_cast<std::size_t>(Sql::kCount)>
      bound_{};
  LONG unusable_code_ = 0;  // nonzero: every call fails with it
  bool read_only_ = false;  // this process may only read the file
  bool sync_every_commit_ = false;
  bool damaged_ = false;            // damage was met: nothing more is written
  bool structure_checked_ = false;  // before the first write of this store
  bool batch_lost_ = false;         // a failure ended the batch's transaction
  LONG last_failure_ = 0;
  std::string diagnosis_;
  bool in_transaction_ = false;
  bool in_savepoint_ = false;  // the call in a batch holds a savepoint
  int batch_depth_ = 0;
  std::uint64_t own_changes_ = 0;

  ReadImage image_;
  WalStamp stamp_;
  ReadImage::KeyRow read_row_;          // what RowOf last read past the image
  WalStamp::Value image_stamp_;         // the file's stamp the image matches
  bool image_current_ = false;          // image_stamp_ holds
  WalStamp::Value scope_stamp_;         // the stamp when the scope began
  bool image_scope_ = false;            // this scope reads through the image
  bool lazy_scope_ = false;             // its transaction begins at its first miss
  bool snapshot_taken_ = false;         // and has begun
  bool served_from_image_ = false;      // the scope answered from the image
  bool generation_unknown_ = false;     // the scope's reads are of no one stamp
  bool writing_over_image_ = false;     // see BeginWritingOverImage
  bool image_followed_writes_ = false;  // and the image was changed to follow them
  std::uint64_t unknown_generations_ = 0;
};

}  // namespace quorvane::platform::portable
