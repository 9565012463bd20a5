// The registry tree in an SQLite database, shared by every process that opens
// the same file: each platform call is one transaction (WAL mode), so writers
// never lose each other's changes and a killed process loses only its own
// unfinished call. A database that cannot be opened or read answers every call
// with 1009 (the registry is corrupt).
#pragma once

#include <memory>
#include <string>

#include "platform/portable/registry_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quorvane::platform::portable {

class SqliteStore final : public RegistryStore {
 public:
  explicit SqliteStore(const std::string& path);
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  void Begin(bool writing) override;
  void Commit() override;
  void Rollback() override;

  KeyId Root(const std::u16string& machine, HKEY root) override;
  bool Exists(KeyId key) override;
  std::optional<KeyId> FindSubkey(KeyId parent, const std::u16string& folded) override;
  KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                     const std::u16string& folded) override;
  bool HasSubkeys(KeyId key) override;
  void DeleteKey(KeyId key) override;
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override;

  std::optional<StoredValue> GetValue(KeyId key, const std::u16string& folded) override;
  void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) override;
  bool DeleteValue(KeyId key, const std::u16string& folded) override;
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override;

  REGSAM GrantedRights(KeyId key) override;
  void SetGrantedRights(KeyId key, REGSAM rights) override;
  std::uint64_t Generation() override;

 private:
  class Statement;

  void Execute(const char* sql);
  [[noreturn]] void Fail() const;

  sqlite3* db_ = nullptr;
  bool usable_ = false;
  bool in_transaction_ = false;
  std::uint64_t own_changes_ = 0;
};

}  // namespace quorvane::platform::portable
