// Schema step 3: names folded through the system's whole upper-case table.
// Registry files of schema 2 folded a few scripts only, so names that Windows
// holds for one (ǆ and Ǆ, ａ and Ａ) could be two keys or two values there.
// The step folds every name again, in the one transaction of the schema
// steps. Keys that now fold alike become one: the oldest keeps its name and
// rights and takes the others' values (its own where both have one) and
// subkeys, which may merge in turn; values of one key that now fold alike
// keep the oldest.
#include <sqlite3.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {
namespace {

// An ad-hoc statement of the schema step, finalized when it goes.
class StepStatement {
 public:
  StepStatement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~StepStatement() { sqlite3_finalize(statement_); }
  StepStatement(const StepStatement&) = delete;
  StepStatement& operator=(const StepStatement&) = delete;
  [[nodiscard]] bool Prepared() const { return statement_ != nullptr; }
  void Bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  // SQLITE_ROW, SQLITE_DONE or a failure.
  int Step() { return sqlite3_step(statement_); }
  void Reset() { sqlite3_reset(statement_); }
  [[nodiscard]] std::int64_t Integer(int column) {
    return sqlite3_column_int64(statement_, column);
  }
  [[nodiscard]] std::u16string Name(int column) {
    return Text(sqlite3_column_blob(statement_, column), sqlite3_column_bytes(statement_, column));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// qv_fold(name): a stored name (big-endian UTF-16) folded as Windows folds it.
void FoldFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const std::u16string name =
      Text(sqlite3_value_blob(arguments[0]), sqlite3_value_bytes(arguments[0]));
  const std::string folded = Bytes(NameFolding::Fold(name));
  sqlite3_result_blob(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

}  // namespace

void SqliteStore::RefoldNames() {
  const auto run = [this](const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      Fail(sqlite3_extended_errcode(db_));
    }
  };
  const auto check = [this](int result) {
    if (result != SQLITE_ROW && result != SQLITE_DONE) Fail(sqlite3_extended_errcode(db_));
    return result == SQLITE_ROW;
  };
  if (sqlite3_create_function_v2(db_, "qv_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 FoldFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(sqlite3_extended_errcode(db_));
  }
  // Folded names unique per row for now, so that keys and values can move
  // freely; the new ones are set at the end, once nothing folds alike.
  run("UPDATE keys SET folded = x'ffff' || CAST(id AS TEXT) WHERE parent != 0;"
      "UPDATE value_data SET folded = x'ffff' || CAST(rowid AS TEXT);");
  StepStatement keys(db_, "SELECT id FROM keys WHERE id > ? ORDER BY id LIMIT 1");
  StepStatement children(db_, "SELECT id, name FROM keys WHERE parent = ? ORDER BY id");
  StepStatement adopt(db_, "UPDATE keys SET parent = ?1 WHERE parent = ?2");
  StepStatement values(db_, "SELECT rowid, name FROM value_data WHERE key = ? ORDER BY rowid");
  StepStatement move_value(db_, "UPDATE value_data SET key = ?1 WHERE rowid = ?2");
  StepStatement drop_value(db_, "DELETE FROM value_data WHERE rowid = ?");
  StepStatement drop_key(db_, "DELETE FROM keys WHERE id = ?");
  for (StepStatement* statement :
       {&keys, &children, &adopt, &values, &move_value, &drop_value, &drop_key}) {
    if (!statement->Prepared()) Fail(sqlite3_extended_errcode(db_));
  }
  const auto value_names = [&](KeyId key) {
    std::vector<std::pair<std::int64_t, std::u16string>> found;
    values.Bind(1, key);
    while (check(values.Step()))
      found.emplace_back(values.Integer(0), NameFolding::Fold(values.Name(1)));
    values.Reset();
    return found;
  };
  const auto run_on = [&](StepStatement& statement, std::int64_t first, std::int64_t second = 0) {
    statement.Bind(1, first);
    if (second != 0) statement.Bind(2, second);
    check(statement.Step());
    statement.Reset();
  };
  // Keys in the order they were made: a parent always before its subkeys, so
  // subkeys merged into a key are there by the time its turn comes.
  for (KeyId key = 0;;) {
    keys.Bind(1, key);
    if (!check(keys.Step())) break;
    key = keys.Integer(0);
    keys.Reset();
    // Its subkeys by new folded name: the oldest of each name stays.
    std::vector<std::pair<KeyId, std::u16string>> kept;
    std::vector<std::pair<KeyId, KeyId>> merged;  // (older, younger)
    children.Bind(1, key);
    while (check(children.Step())) {
      const KeyId child = children.Integer(0);
      const std::u16string folded = NameFolding::Fold(children.Name(1));
      bool matched = false;
      for (const auto& [older, name] : kept) {
        if (name == folded) {
          merged.emplace_back(older, child);
          matched = true;
          break;
        }
      }
      if (!matched) kept.emplace_back(child, folded);
    }
    children.Reset();
    for (const auto& [older, younger] : merged) {
      run_on(adopt, older, younger);
      std::set<std::u16string> present;
      for (const auto& value : value_names(older)) present.insert(value.second);
      for (const auto& [rowid, folded] : value_names(younger)) {
        if (present.count(folded) != 0) {
          run_on(drop_value, rowid);
        } else {
          run_on(move_value, older, rowid);
        }
      }
      run_on(drop_key, younger);
    }
    // Its own values: the oldest of each new folded name stays.
    std::set<std::u16string> seen;
    for (const auto& [rowid, folded] : value_names(key)) {
      if (!seen.insert(folded).second) run_on(drop_value, rowid);
    }
  }
  run("UPDATE keys SET folded = qv_fold(name) WHERE parent != 0;"
      "UPDATE value_data SET folded = qv_fold(name);");
}

}  // namespace quorvane::platform::portable
