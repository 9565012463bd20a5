// Where the portable registry keeps its keys and values. The registry's Win32
// behaviour (handles, rights, result codes) lives above this interface; a store
// only holds the tree. Names are passed with their folded (upper-case) form,
// which is what they are compared and sorted by.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <quorvane/platform/win_types.h>

namespace quorvane::platform::portable {

using KeyId = std::int64_t;

struct StoredValue {
  std::u16string name;
  DWORD type = 0;
  std::string data;
};

struct SubkeyName {
  std::u16string name;
  std::u16string folded;
};

// A key's whole lists in enumeration order, values with their folded names.
using SubkeyList = std::shared_ptr<const std::vector<SubkeyName>>;
using ValueList = std::shared_ptr<const std::vector<std::pair<std::u16string, StoredValue>>>;

// Raised by a store that cannot read or write its medium; the registry answers
// the call with `code`.
struct StoreFailure {
  LONG code;
};

// Raised by a store that answers reads from an image of earlier ones, when
// the call that is running found its medium changed by another process after
// the image answered part of it: the call must run again from its start
// (the second time it reads the medium alone). Never raised inside a batch.
struct ImageOutdated {};

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Every platform call runs inside one of these; a store that shares its data
  // with other processes makes it one transaction.
  virtual void Begin(bool writing) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // Several calls as one transaction: readers see one consistent snapshot,
  // writers apply all or nothing. The calls inside nest within it. A store
  // without transactions (memory, which other processes never see) has no
  // use for batches.
  [[nodiscard]] virtual bool HasTransactions() const { return false; }
  virtual void BeginBatch(bool /*writing*/) {}
  // A batch that reads, keeping nothing of what it read for later calls.
  virtual void BeginScan() { BeginBatch(false); }
  virtual void EndBatch(bool /*commit*/) {}

  // Whether what a committed write changed reaches its medium only when
  // Flush runs (then the registry flushes lazily, within a second).
  [[nodiscard]] virtual bool FlushesLazily() const { return false; }
  // Makes every committed write durable.
  virtual void Flush() {}

  // Why the store last failed, naming its medium ("" when it has not), so
  // that a tool can tell its user more than a result code.
  [[nodiscard]] virtual std::string Diagnosis() const { return {}; }
  // The file the store keeps its data in ("" for none).
  [[nodiscard]] virtual std::string Location() const { return {}; }
  // Around the registry's making of the keys every Windows registry has: a
  // store that shares its files with another system may keep them from its
  // files until something else is written there.
  virtual void MakingStandardKeys(bool /*making*/) {}
  // Whether the registry has a 32-bit view apart from the 64-bit one (false
  // for a registry of 32-bit Windows, which redirects nothing).
  [[nodiscard]] virtual bool HasWow64() const { return true; }
  // Whether any key may be a symbolic link; when false, LinkTarget is never
  // asked, so that a walk of a path costs no more for links.
  [[nodiscard]] virtual bool HoldsLinks() const { return false; }
  // The path a symbolic link key stands for, as its SymbolicLinkValue names
  // it ("\REGISTRY\Machine\..."), or nothing for a key that is none.
  [[nodiscard]] virtual std::optional<std::u16string> LinkTarget(KeyId /*key*/) { return {}; }
  // Checks the whole store: 0 when it is sound, 1009 when damaged, or the
  // failure that kept it from looking; `report` says what was found.
  virtual LONG Check(std::string* report) {
    *report = "the registry is kept in memory";
    return kErrorSuccess;
  }

  // The root of a predefined key of a machine ("" for the local one), created
  // on first use.
  [[nodiscard]] virtual KeyId Root(const std::u16string& machine, HKEY root) = 0;
  [[nodiscard]] virtual bool Exists(KeyId key) = 0;
  // The key's parent: 0 for a root, null when the key does not exist.
  [[nodiscard]] virtual std::optional<KeyId> Parent(KeyId key) = 0;
  // The key's name as written ("" for a root or a key that does not exist).
  [[nodiscard]] virtual std::u16string Name(KeyId key) = 0;
  [[nodiscard]] virtual std::optional<KeyId> FindSubkey(KeyId parent,
                                                        const std::u16string& folded) = 0;
  [[nodiscard]] virtual KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                                           const std::u16string& folded) = 0;
  [[nodiscard]] virtual bool HasSubkeys(KeyId key) = 0;
  // Volatile keys (REG_OPTION_VOLATILE) last until the machine starts again:
  // a store in memory keeps them as long as any key; a file drops them at the
  // first open after the machine started again.
  [[nodiscard]] virtual bool IsVolatile(KeyId key) = 0;
  virtual void MarkVolatile(KeyId key) = 0;
  // Deletes a key without subkeys, with its values.
  virtual void DeleteKey(KeyId key) = 0;
  // The first subkey in folded order after `after` (from the start when null).
  [[nodiscard]] virtual std::optional<SubkeyName> NextSubkey(KeyId key,
                                                             const std::u16string* after) = 0;

  // The value, or null; it stays valid until the next call to the store (so
  // that reading a value need not copy it).
  [[nodiscard]] virtual const StoredValue* GetValue(KeyId key, const std::u16string& folded) = 0;
  virtual void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) = 0;
  [[nodiscard]] virtual bool DeleteValue(KeyId key, const std::u16string& folded) = 0;
  // The first value in folded-name order after `after` (from the start when
  // null); its folded name goes to `folded`.
  [[nodiscard]] virtual std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                                             std::u16string* folded) = 0;

  // Every subkey, and every value with its folded name, in that order: one
  // read where enumeration wants them all. The lists are shared and never
  // change: a store may hand out the same one again while the key's lists
  // stay as they are, so that a caller asking for them again copies nothing.
  [[nodiscard]] virtual SubkeyList Subkeys(KeyId key) {
    auto all = std::make_shared<std::vector<SubkeyName>>();
    for (auto next = NextSubkey(key, nullptr); next; next = NextSubkey(key, &all->back().folded)) {
      all->push_back(std::move(*next));
    }
    return all;
  }
  [[nodiscard]] virtual ValueList Values(KeyId key) {
    auto all = std::make_shared<std::vector<std::pair<std::u16string, StoredValue>>>();
    std::u16string folded;
    for (auto next = NextValue(key, nullptr, &folded); next;) {
      all->emplace_back(folded, std::move(*next));
      const std::u16string after = folded;
      next = NextValue(key, &after, &folded);
    }
    return all;
  }

  // Rights a key grants to whoever opens it; all rights unless restricted.
  [[nodiscard]] virtual REGSAM GrantedRights(KeyId key) = 0;
  virtual void SetGrantedRights(KeyId key, REGSAM rights) = 0;

  // Changes whenever the tree changes, so cached enumeration positions can tell
  // that they are stale.
  [[nodiscard]] virtual std::uint64_t Generation() = 0;
};

}  // namespace quorvane::platform::portable
