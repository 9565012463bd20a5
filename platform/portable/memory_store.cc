#include "platform/portable/memory_store.h"

namespace quorvane::platform::portable {

MemoryStore::Node* MemoryStore::Find(KeyId key) {
  auto found = nodes_.find(key);
  return found == nodes_.end() ? nullptr : &found->second;
}

KeyId MemoryStore::NewNode(KeyId parent) {
  const KeyId id = next_id_++;
  nodes_[id].parent = parent;
  ++generation_;
  return id;
}

KeyId MemoryStore::Root(const std::u16string& machine, HKEY root) {
  auto [slot, inserted] = roots_.try_emplace({machine, root}, 0);
  if (inserted) slot->second = NewNode(0);
  return slot->second;
}

bool MemoryStore::Exists(KeyId key) { return Find(key) != nullptr; }

std::optional<KeyId> MemoryStore::Parent(KeyId key) {
  const Node* node = Find(key);
  if (node == nullptr) return std::nullopt;
  return node->parent;
}

std::u16string MemoryStore::Name(KeyId key) {
  // Names live in the parent's map only; this rare question pays a search.
  const Node* node = Find(key);
  const Node* parent = node == nullptr ? nullptr : Find(node->parent);
  if (parent == nullptr) return {};
  for (const auto& [folded, subkey] : parent->subkeys) {
    if (subkey.first == key) return subkey.second;
  }
  return {};
}

std::optional<KeyId> MemoryStore::FindSubkey(KeyId parent, const std::u16string& folded) {
  Node* node = Find(parent);
  if (node == nullptr) return std::nullopt;
  auto found = node->subkeys.find(folded);
  if (found == node->subkeys.end()) return std::nullopt;
  return found->second.first;
}

KeyId MemoryStore::CreateSubkey(KeyId parent, const std::u16string& name,
                                const std::u16string& folded) {
  const KeyId id = NewNode(parent);
  nodes_[parent].subkeys[folded] = {id, name};
  return id;
}

bool MemoryStore::HasSubkeys(KeyId key) {
  Node* node = Find(key);
  return node != nullptr && !node->subkeys.empty();
}

void MemoryStore::DeleteKey(KeyId key) {
  Node* node = Find(key);
  if (node == nullptr) return;
  if (Node* parent = Find(node->parent)) {
    for (auto entry = parent->subkeys.begin(); entry != parent->subkeys.end(); ++entry) {
      if (entry->second.first == key) {
        parent->subkeys.erase(entry);
        break;
      }
    }
  }
  nodes_.erase(key);
  ++generation_;
}

std::optional<SubkeyName> MemoryStore::NextSubkey(KeyId key, const std::u16string* after) {
  Node* node = Find(key);
  if (node == nullptr) return std::nullopt;
  auto next = after == nullptr ? node->subkeys.begin() : node->subkeys.upper_bound(*after);
  if (next == node->subkeys.end()) return std::nullopt;
  return SubkeyName{next->second.second, next->first};
}

const StoredValue* MemoryStore::GetValue(KeyId key, const std::u16string& folded) {
  Node* node = Find(key);
  if (node == nullptr) return nullptr;
  auto found = node->values.find(folded);
  return found == node->values.end() ? nullptr : &found->second;
}

void MemoryStore::SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) {
  if (Node* node = Find(key)) {
    auto [slot, inserted] = node->values.try_emplace(folded, value);
    if (!inserted) {
      // The name keeps the case it was first written with, as on Windows.
      slot->second.type = value.type;
      slot->second.data = value.data;
    }
    ++generation_;
  }
}

bool MemoryStore::DeleteValue(KeyId key, const std::u16string& folded) {
  Node* node = Find(key);
  if (node == nullptr || node->values.erase(folded) == 0) return false;
  ++generation_;
  return true;
}

std::optional<StoredValue> MemoryStore::NextValue(KeyId key, const std::u16string* after,
                                                  std::u16string* folded) {
  Node* node = Find(key);
  if (node == nullptr) return std::nullopt;
  auto next = after == nullptr ? node->values.begin() : node->values.upper_bound(*after);
  if (next == node->values.end()) return std::nullopt;
  *folded = next->first;
  return next->second;
}

REGSAM MemoryStore::GrantedRights(KeyId key) {
  Node* node = Find(key);
  return node == nullptr ? 0 : node->granted;
}

void MemoryStore::SetGrantedRights(KeyId key, REGSAM rights) {
  if (Node* node = Find(key)) node->granted = rights;
}

}  // namespace quorvane::platform::portable
