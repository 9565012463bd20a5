// The persistent registry's bare platform calls against a raw SQLite program
// making the same statements, in one transaction per call, with the same
// settings (WAL, synchronous=NORMAL), its statements prepared once. Both work
// on one database file. Reported as Lib/TAGX against Base:sqlite/TAGX, and
// as Pair/TAGX, which times the two in alternating blocks; TAG comes from
// QV_BENCH_TAG ("db." when unset).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "bench/operations.h"
#include "bench/paired.h"

namespace quorvane::bench {
namespace {

namespace p = platform;

// Names as the store keeps them: folded, big-endian UTF-16.
std::string Stored(const std::string& folded_ascii) {
  std::string bytes;
  for (char c : folded_ascii) {
    bytes.push_back('\0');
    bytes.push_back(c);
  }
  return bytes;
}

// Two values of one length, so that every write changes the data.
std::string ValueData(bool odd, bool wide) {
  const std::string text = odd ? "b value" : "a value";
  if (!wide) return text + '\0';
  std::string bytes;
  for (char c : text + '\0') {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

class RawDatabase {
 public:
  explicit RawDatabase(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    begin_read_ = Prepare("BEGIN");
    begin_write_ = Prepare("BEGIN IMMEDIATE");
    commit_ = Prepare("COMMIT");
    key_exists_ = Prepare("SELECT 1 FROM keys WHERE id = ?");
    find_subkey_ = Prepare("SELECT id FROM keys WHERE parent = ? AND folded = ?");
    granted_ = Prepare("SELECT granted FROM keys WHERE id = ?");
    get_value_ = Prepare("SELECT name, type, data FROM value_data WHERE key = ? AND folded = ?");
    set_value_ = Prepare(
        "INSERT INTO value_data(key, folded, name, type, data) VALUES(?, ?, ?, ?, ?)"
        " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    root_ = Step1(Prepare("SELECT id FROM roots WHERE machine = x'' AND hkey = 2147483651"));
    path_ = {Stored("S-1-5-21-0-0-0-1000"), Stored("SOFTWARE"), Stored("QVBENCH"),
             Stored("VALUES")};
    user_key_ = FindSubkey(root_, path_[0]);  // what HKEY_CURRENT_USER stands for
    values_key_ = user_key_;
    for (std::size_t i = 1; i < path_.size(); ++i) values_key_ = FindSubkey(values_key_, path_[i]);
  }
  ~RawDatabase() {
    for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // RegSetValueExA on an open handle: the key must still be there.
  void SetValue(bool odd) {
    Run(begin_write_);
    Bind(key_exists_, 1, values_key_);
    Run(key_exists_);
    const std::string folded = Stored("TEXT");
    const std::string data = ValueData(odd, true);
    Bind(set_value_, 1, values_key_);
    BindBlob(set_value_, 2, folded);
    BindBlob(set_value_, 3, Stored("text"));
    Bind(set_value_, 4, p::kRegSz);
    BindBlob(set_value_, 5, data);
    Run(set_value_);
    Run(commit_);
  }

  // RegQueryValueExA on an open handle.
  void QueryValue() {
    Run(begin_read_);
    Bind(key_exists_, 1, values_key_);
    Run(key_exists_);
    const std::string folded = Stored("TEXT");
    Bind(get_value_, 1, values_key_);
    BindBlob(get_value_, 2, folded);
    // The row is read as a caller needs it: name, type and data.
    if (sqlite3_step(get_value_) == SQLITE_ROW) {
      name_.assign(static_cast<const char*>(sqlite3_column_blob(get_value_, 0)),
                   static_cast<std::size_t>(sqlite3_column_bytes(get_value_, 0)));
      type_ = static_cast<int>(sqlite3_column_int64(get_value_, 1));
      data_.assign(static_cast<const char*>(sqlite3_column_blob(get_value_, 2)),
                   static_cast<std::size_t>(sqlite3_column_bytes(get_value_, 2)));
    }
    sqlite3_reset(get_value_);
    Run(commit_);
  }

  // RegOpenKeyExA of HKCU\Software\QvBench\Values: the rights of the key
  // HKCU stands for, a step per name, the opened key's rights.
  void OpenKey() {
    Run(begin_read_);
    Bind(granted_, 1, user_key_);
    Run(granted_);
    KeyId key = user_key_;
    for (std::size_t i = 1; i < path_.size(); ++i) key = FindSubkey(key, path_[i]);
    Bind(granted_, 1, key);
    Run(granted_);
    Run(commit_);
  }

 private:
  using KeyId = sqlite3_int64;

  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    statements_.push_back(statement);
    return statement;
  }
  static void Bind(sqlite3_stmt* statement, int index, sqlite3_int64 value) {
    sqlite3_bind_int64(statement, index, value);
  }
  static void BindBlob(sqlite3_stmt* statement, int index, const std::string& bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_STATIC);
  }
  static void Run(sqlite3_stmt* statement) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
    }
    sqlite3_reset(statement);
  }
  static KeyId Step1(sqlite3_stmt* statement) {
    const KeyId id = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_reset(statement);
    return id;
  }
  KeyId FindSubkey(KeyId parent, const std::string& folded) {
    Bind(find_subkey_, 1, parent);
    BindBlob(find_subkey_, 2, folded);
    return Step1(find_subkey_);
  }

  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
  sqlite3_stmt* begin_read_ = nullptr;
  sqlite3_stmt* begin_write_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* key_exists_ = nullptr;
  sqlite3_stmt* find_subkey_ = nullptr;
  sqlite3_stmt* granted_ = nullptr;
  sqlite3_stmt* get_value_ = nullptr;
  sqlite3_stmt* set_value_ = nullptr;
  KeyId root_ = 0;
  KeyId user_key_ = 0;
  KeyId values_key_ = 0;
  std::vector<std::string> path_;
  std::string name_;
  int type_ = 0;
  std::string data_;
};

}  // namespace
}  // namespace quorvane::bench

int main(int argc, char** argv) {
  namespace b = quorvane::bench;
  namespace p = quorvane::platform;
  const char* tag_variable = std::getenv("QV_BENCH_TAG");
  const std::string tag = tag_variable == nullptr ? "db." : tag_variable;
  // QV_BENCH_DIR chooses the file system (a disk, or memory where a sync
  // costs nothing); /tmp otherwise.
  const char* folder = std::getenv("QV_BENCH_DIR");
  std::string scratch =
      std::string(folder == nullptr ? "/tmp" : folder) + "/qv-sqlite-bench-XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) return 1;
  const std::string database = scratch + "/registry.db";
  ::setenv("QV_REGISTRY", database.c_str(), 1);
  b::PrepareKeys();
  p::HKEY values = 0;
  (void)p::RegOpenKeyExA(p::kHkeyCurrentUser, b::kAnsiBranch, 0, p::kKeyAllAccess, &values);
  b::RawDatabase raw(database);

  using Call = std::function<void()>;
  bool odd_call = false;
  bool odd_raw = false;
  char buffer[64];
  const struct {
    const char* name;
    Call call;
    Call raw_statements;
  } calls[] = {
      {"RegSetValueExA",
       [&] {
         const std::string data = b::ValueData(odd_call = !odd_call, false);
         (void)p::RegSetValueExA(values, "text", 0, p::kRegSz,
                                 reinterpret_cast<const p::BYTE*>(data.data()),
                                 static_cast<p::DWORD>(data.size()));
       },
       [&] { raw.SetValue(odd_raw = !odd_raw); }},
      {"RegQueryValueExA",
       [&] {
         p::DWORD type = 0;
         p::DWORD size = sizeof buffer;
         (void)p::RegQueryValueExA(values, "text", nullptr, &type,
                                   reinterpret_cast<p::BYTE*>(buffer), &size);
       },
       [&] { raw.QueryValue(); }},
      {"RegOpenKeyExA",
       [] {
         p::HKEY key = 0;
         (void)p::RegOpenKeyExA(p::kHkeyCurrentUser, b::kAnsiBranch, 0, p::kKeyRead, &key);
         p::RegCloseKey(key);
       },
       [&] { raw.OpenKey(); }},
  };
  for (const auto& [name, call, raw_statements] : calls) {
    const std::string suffix = "/" + tag + name;
    benchmark::RegisterBenchmark(("Lib" + suffix).c_str(), [call = call](benchmark::State& state) {
      for (auto _ : state) call();
    });
    benchmark::RegisterBenchmark(("Base:sqlite" + suffix).c_str(),
                                 [raw_statements = raw_statements](benchmark::State& state) {
                                   for (auto _ : state) raw_statements();
                                 });
    benchmark::RegisterBenchmark(
        ("Pair" + suffix).c_str(),
        [call = call, raw_statements = raw_statements](benchmark::State& state) {
          b::Paired(state, call, raw_statements);
        });
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  p::RegCloseKey(values);
  b::RemoveKeys();
  std::filesystem::remove_all(scratch);
  return 0;
}
