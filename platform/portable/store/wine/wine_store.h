// The registry of a Wine prefix: its system.reg (HKEY_LOCAL_MACHINE),
// user.reg (HKEY_USERS\S-1-5-21-0-0-0-1000, the current user) and
// userdef.reg (HKEY_USERS\.Default), read and written as Wine reads and
// writes them, so that a program's Linux build and its Windows build under
// Wine share one registry.
//
// The tree of keys is held in memory and follows the files: a call finds
// them changed (by Wine, or another process of ours) by their stamps and
// reads them again, keeping the ids of the keys that stay, so that open
// handles stay good. A key's values are read from its section when first
// used; where each section lies comes from an index beside the file, made
// by the first process that reads the file after a change (which checks the
// whole file then). A transaction that writes holds a lock of our own beside
// the files, and its commit replaces each file it changed whole (written
// beside, synced, renamed into place); a section nothing changed is written
// as it was read. While a wineserver serves the prefix it holds the
// registry in memory and will write the files over anything changed under
// it: then writes are refused (1013) and reads go on.
//
// What the files cannot hold lives in this process alone: volatile keys,
// and keys outside the three roots (other users, remote machines).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <quorvane/platform/portable/store/memory_store.h>
#include <quorvane/platform/portable/store/wine/folder_watch.h>
#include <quorvane/platform/portable/store/wine/shared_write_count.h>
#include <quorvane/platform/portable/store/wine/wine_file.h>

namespace quorvane::platform::portable {

class WineStore final : public RegistryStore {
 public:
  explicit WineStore(std::string prefix);
  ~WineStore() override;
  WineStore(const WineStore&) = delete;
  WineStore& operator=(const WineStore&) = delete;

  void Begin(bool writing) override;
  void Commit() override;
  void Rollback() override;
  [[nodiscard]] bool HasTransactions() const override { return true; }
  void BeginBatch(bool writing) override;
  void EndBatch(bool commit) override;
  std::string Diagnosis() const override { return diagnosis_; }
  std::string Location() const override { return prefix_; }
  LONG Check(std::string* report) override;
  // The standard keys Wine's files lack stay out of them until a write
  // there: a read of the prefix writes nothing.
  void MakingStandardKeys(bool making) override { making_standard_keys_ = making; }
  // A prefix made for 32-bit Windows (#arch=win32) has one view.
  [[nodiscard]] bool HasWow64() const override { return win64_; }
  // Wine's symbolic links (#link sections, such as CurrentControlSet).
  [[nodiscard]] bool HoldsLinks() const override { return !links_.empty(); }
  std::optional<std::u16string> LinkTarget(KeyId key) override;

  KeyId Root(const std::u16string& machine, HKEY root) override;
  bool Exists(KeyId key) override { return tree_.Exists(key); }
  std::optional<KeyId> Parent(KeyId key) override { return tree_.Parent(key); }
  std::u16string Name(KeyId key) override { return tree_.Name(key); }
  std::optional<KeyId> FindSubkey(KeyId parent, const std::u16string& folded) override {
    return tree_.FindSubkey(parent, folded);
  }
  KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                     const std::u16string& folded) override;
  bool HasSubkeys(KeyId key) override { return tree_.HasSubkeys(key); }
  bool IsVolatile(KeyId key) override { return tree_.IsVolatile(key); }
  void MarkVolatile(KeyId key) override { tree_.MarkVolatile(key); }
  void DeleteKey(KeyId key) override;
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override {
    return tree_.NextSubkey(key, after);
  }
  SubkeyList Subkeys(KeyId key) override { return tree_.Subkeys(key); }
  const StoredValue* GetValue(KeyId key, const std::u16string& folded) override {
    ReadValues(key);
    return tree_.GetValue(key, folded);
  }
  void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) override;
  bool DeleteValue(KeyId key, const std::u16string& folded) override;
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override {
    ReadValues(key);
    return tree_.NextValue(key, after, folded);
  }
  ValueList Values(KeyId key) override {
    ReadValues(key);
    return tree_.Values(key);
  }
  REGSAM GrantedRights(KeyId key) override { return tree_.GrantedRights(key); }
  void SetGrantedRights(KeyId key, REGSAM rights) override { tree_.SetGrantedRights(key, rights); }
  std::uint64_t Generation() override { return tree_.Generation(); }

 private:
  // A key's section in its file: where its lines lie (written back as they
  // are while the key is unchanged), and once read, its notes.
  struct Section {
    int file = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t line = 0;
    std::uint64_t hash = 0;  // of its bytes
    bool link = false;
    bool read = false;  // its values are in the tree
    std::vector<std::string> notes;
  };
  struct File {
    std::string name;         // "system.reg", ...
    std::string relative_to;  // the header's root, as Wine names it
    std::string header;       // as read, or the header of a new file
    std::string stamp;        // of the file as read ("" for none)
    KeyId root = 0;
    int descriptor = -1;  // the file as read, for its sections' lines
  };

  void BeginOuter(bool writing);
  void EndOuter(bool commit);
  // Makes the tree what the files hold, keeping the ids of keys that stay:
  // each file whose stamp changed, or every one.
  void Load(bool every_file);
  void LoadFile(int index);
  // The file's sections: from its index, else from the whole file, checked.
  void ReadSections(int index, std::vector<WineFile::Section>* sections);
  void ReadValues(KeyId key);
  [[nodiscard]] std::string ReadRange(const File& file, std::size_t offset, std::size_t length);
  void Save(int index);
  [[nodiscard]] std::string IndexPath(const File& file) const;
  // The file a key lies in, or null for one no file holds.
  File* FileOf(KeyId key);
  void Touched(KeyId key);
  [[nodiscard]] static std::string StampOf(int descriptor);
  [[nodiscard]] std::string StampOf(const File& file) const;
  [[nodiscard]] bool ServedByWineserver() const;
  [[noreturn]] void Fail(LONG code, const std::string& why);
  void Unlock();

  std::string prefix_;
  // Both before the first read, so that no change is missed: Wine's writes
  // (and anyone's) through the watch, our processes' through the count.
  FolderWatch watch_;
  SharedWriteCount writes_;
  std::uint64_t writes_seen_ = 0;
  MemoryStore tree_;
  File files_[3];
  std::map<KeyId, Section> sections_;
  std::set<KeyId> links_;    // keys whose section is a #link
  std::set<KeyId> touched_;  // keys written in this transaction
  std::set<int> files_touched_;
  int depth_ = 0;  // calls and batches open
  bool writing_ = false;
  int lock_ = -1;  // our lock file, held while a transaction writes
  std::string diagnosis_;
  LONG unusable_ = 0;  // nonzero: the files could not be read, and every call fails with it
  bool win64_ = true;
  bool making_standard_keys_ = false;
};

}  // namespace quorvane::platform::portable
