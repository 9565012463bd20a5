// What a process has read of a registry file, as the file stood at one
// moment: each key's row, the subkeys and values looked up by name (found or
// not), and a key's whole lists once something wanted them in order. It is
// filled as reads miss, never ahead of them, so a process that reads one
// value holds one value; past a size limit it is emptied and filled again.
// Deciding when it no longer matches the file is its owner's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <quorvane/platform/portable/store/registry_store.h>
#include <quorvane/platform/portable/store/sqlite/name_table.h>

namespace quorvane::platform::portable {

class ReadImage {
 public:
  // The size past which the image starts again: room for a few hundred
  // thousand values in a 32-bit process, about a million in a 64-bit one.
  static constexpr std::size_t kLimitBytes = sizeof(void*) >= 8 ? 256u << 20 : 64u << 20;

  ReadImage() = default;
  ReadImage(const ReadImage&) = delete;
  ReadImage& operator=(const ReadImage&) = delete;

  struct KeyRow {
    bool exists = false;
    KeyId parent = 0;
    std::u16string name;
    REGSAM granted = 0;
  };

  struct Key {
    std::optional<KeyRow> row;
    std::optional<bool> has_subkeys;
    // By folded name; null: no such subkey (or value).
    NameTable<std::optional<KeyId>> children;
    NameTable<std::optional<StoredValue>> values;
    // Every subkey (with its id) and every value, in folded order, once read.
    bool has_all_subkeys = false;
    std::shared_ptr<std::vector<SubkeyName>> subkeys;  // changed in place only while unshared
    std::vector<KeyId> subkey_ids;
    bool has_all_values = false;
    ValueList all_values;
  };

  // The key's entry, made empty when it is not there yet.
  Key& Of(KeyId key);
  const std::optional<KeyId>* FindRoot(const std::u16string& machine, HKEY root) const;
  void RememberRoot(const std::u16string& machine, HKEY root, KeyId id);

  // Accounts for what was just added, so that Full can tell.
  void Charge(std::size_t bytes) { bytes_ += bytes; }
  static std::size_t CostOf(const std::u16string& name) { return kEntryCost + name.size() * 2; }
  static std::size_t CostOf(const std::u16string& folded, const StoredValue& value) {
    return kEntryCost + (folded.size() + value.name.size()) * 2 + value.data.size();
  }
  [[nodiscard]] bool Full() const { return bytes_ > kLimitBytes; }
  // Drops what the image holds of one key (its row, lookups and lists), for
  // a write of this process that changed them.
  void Forget(KeyId key);
  // Keeps what the image holds of `parent` in step with a subkey this
  // process added or deleted: the lookup by name, and the whole list (in
  // place while no handle shares it, else dropped).
  void SubkeyAdded(KeyId parent, const std::u16string& name, const std::u16string& folded,
                   KeyId id);
  void SubkeyDeleted(KeyId parent, KeyId id);
  // Keeps what the image holds of `key` in step with a value this process
  // set (`value`) or deleted (null). A value set where the image does not
  // know whether it was there stays unknown: the name it keeps is the one
  // it was first written with.
  void ValueWritten(KeyId key, const std::u16string& folded, const StoredValue* value);
  void RightsSet(KeyId key, REGSAM rights);
  [[nodiscard]] std::size_t Bytes() const { return bytes_; }
  void Clear();

  // The position of the first name in folded order after `after` (0 when
  // null), in a list sorted by folded name.
  static std::size_t FirstAfter(const std::vector<SubkeyName>& subkeys,
                                const std::u16string* after);
  static std::size_t FirstAfter(const std::vector<std::pair<std::u16string, StoredValue>>& values,
                                const std::u16string* after);
  // The position of `folded` in such a list, or null.
  static std::optional<std::size_t> Position(const std::vector<SubkeyName>& subkeys,
                                             const std::u16string& folded);
  static std::optional<std::size_t> Position(
      const std::vector<std::pair<std::u16string, StoredValue>>& values,
      const std::u16string& folded);

 private:
  void DropSubkeyList(Key* entry);
  // Turns a key's whole value list into lookups by name, so that a write
  // changes one entry rather than the list a handle may share.
  void SpreadValueList(Key* entry);

  // What an entry costs beyond its texts: its node, hash slot and allocations.
  static constexpr std::size_t kEntryCost = 96;

  std::unordered_map<KeyId, Key> keys_;
  // Entries found lately, by the low bits of their id (ids are handed out in
  // sequence, so they spread evenly): one access to a small array instead of
  // the map's three dependent ones, which in a large image miss the caches.
  // The map's nodes never move, so the pointers hold until Forget or Clear.
  static constexpr std::size_t kMostRecentSlots = 4096;
  std::size_t RecentSlotOf(KeyId key) const {
    return static_cast<std::size_t>(key) & (recent_.size() - 1);
  }
  std::vector<std::pair<KeyId, Key*>> recent_;
  std::map<std::pair<std::u16string, HKEY>, std::optional<KeyId>> roots_;
  std::size_t bytes_ = 0;
};

}  // namespace quorvane::platform::portable
