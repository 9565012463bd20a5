// The registry tree in memory: the portable backend's default store.
#pragma once

#include <map>
#include <unordered_map>
#include <utility>

#include <quorvane/platform/portable/store/registry_store.h>

namespace quorvane::platform::portable {

class MemoryStore final : public RegistryStore {
 public:
  void Begin(bool) override {}
  void Commit() override {}
  void Rollback() override {}

  KeyId Root(const std::u16string& machine, HKEY root) override;
  bool Exists(KeyId key) override;
  std::optional<KeyId> Parent(KeyId key) override;
  std::u16string Name(KeyId key) override;
  std::optional<KeyId> FindSubkey(KeyId parent, const std::u16string& folded) override;
  KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                     const std::u16string& folded) override;
  bool HasSubkeys(KeyId key) override;
  void DeleteKey(KeyId key) override;
  [[nodiscard]] bool IsVolatile(KeyId key) override;
  void MarkVolatile(KeyId key) override;
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override;
  SubkeyList Subkeys(KeyId key) override;

  const StoredValue* GetValue(KeyId key, const std::u16string& folded) override;
  void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) override;
  bool DeleteValue(KeyId key, const std::u16string& folded) override;
  // Every value of `key` gone at once.
  void ClearValues(KeyId key);
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override;
  ValueList Values(KeyId key) override;

  REGSAM GrantedRights(KeyId key) override;
  void SetGrantedRights(KeyId key, REGSAM rights) override;
  std::uint64_t Generation() override { return generation_; }

 private:
  struct Node {
    KeyId parent = 0;
    // By folded name; the name as written is kept beside the id, so that
    // listing needs no second lookup.
    std::map<std::u16string, std::pair<KeyId, std::u16string>> subkeys;
    std::map<std::u16string, StoredValue> values;
    REGSAM granted = 0xFFFFFFFFu;
    bool is_volatile = false;
    // The whole lists, made when enumeration first wants them. A change of
    // the key's subkeys updates the list in place while no one else holds
    // it (else drops it); a change of its values drops theirs.
    std::shared_ptr<std::vector<SubkeyName>> subkey_list;
    ValueList value_list;
  };

  Node* Find(KeyId key);
  // Keeps a node's list of subkeys in step with one added or removed.
  static void ListAdded(Node* node, const std::u16string& folded, const std::u16string& name);
  static void ListRemoved(Node* node, const std::u16string& folded);
  KeyId NewNode(KeyId parent);

  std::unordered_map<KeyId, Node> nodes_;
  std::map<std::pair<std::u16string, HKEY>, KeyId> roots_;
  KeyId next_id_ = 1;
  std::uint64_t generation_ = 0;
};

}  // namespace quorvane::platform::portable
