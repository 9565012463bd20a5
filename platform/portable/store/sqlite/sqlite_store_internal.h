// What the parts of the SQLite store (the sqlite_store*.cc files) share: how
// names are kept, and the cached statement in use. Not for use outside them.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>

namespace quorvane::platform::portable {

// Names are kept as big-endian UTF-16 so that SQLite's byte order is the
// code-unit order the in-memory registry sorts by.
inline std::string Bytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit >> 8));
    bytes.push_back(static_cast<char>(unit & 0xFF));
  }
  return bytes;
}

inline std::u16string Text(const void* data, int size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::u16string text;
  text.reserve(static_cast<std::size_t>(size / 2));
  for (int i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
  }
  return text;
}

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

}  // namespace quorvane::platform::portable
