#include <quorvane/platform/portable/store/memory_store.h>

#include <algorithm>

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
  Node& node = nodes_[parent];
  node.subkeys[folded] = {id, name};
  ListAdded(&node, folded, name);
  return id;
}

bool MemoryStore::IsVolatile(KeyId key) {
  const Node* node = Find(key);
  return node != nullptr && node->is_volatile;
}

void MemoryStore::MarkVolatile(KeyId key) {
  if (Node* node = Find(key)) node->is_volatile = true;
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
        ListRemoved(parent, entry->first);
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
    node->value_list.reset();
    ++generation_;
  }
}

bool MemoryStore::DeleteValue(KeyId key, const std::u16string& folded) {
  Node* node = Find(key);
  if (node == nullptr || node->values.erase(folded) == 0) return false;
  node->value_list.reset();
  ++generation_;
  return true;
}

void MemoryStore::ClearValues(KeyId key) {
  Node* node = Find(key);
  if (node == nullptr || node->values.empty()) return;
  node->values.clear();
  node->value_list.reset();
  ++generation_;
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

namespace {

bool FoldedBefore(const SubkeyName& subkey, const std::u16string& folded) {
  return subkey.folded < folded;
}

}  // namespace

void MemoryStore::ListAdded(Node* node, const std::u16string& folded, const std::u16string& name) {
  if (!node->subkey_list) return;
  if (node->subkey_list.use_count() > 1) {  // a handle still walks the old one
    node->subkey_list.reset();
    return;
  }
  std::vector<SubkeyName>& list = *node->subkey_list;
  const auto at = std::lower_bound(list.begin(), list.end(), folded, FoldedBefore);
  if (at != list.end() && at->folded == folded) {
    at->name = name;
  } else {
    list.insert(at, SubkeyName{name, folded});
  }
}

void MemoryStore::ListRemoved(Node* node, const std::u16string& folded) {
  if (!node->subkey_list) return;
  if (node->subkey_list.use_count() > 1) {
    node->subkey_list.reset();
    return;
  }
  std::vector<SubkeyName>& list = *node->subkey_list;
  const auto found = std::lower_bound(list.begin(), list.end(), folded, FoldedBefore);
  if (found != list.end() && found->folded == folded) list.erase(found);
}

SubkeyList MemoryStore::Subkeys(KeyId key) {
  Node* node = Find(key);
  if (node == nullptr) return std::make_shared<std::vector<SubkeyName>>();
  if (!node->subkey_list) {
    auto all = std::make_shared<std::vector<SubkeyName>>();
    all->reserve(node->subkeys.size());
    for (const auto& [folded, subkey] : node->subkeys) all->push_back({subkey.second, folded});
    node->subkey_list = std::move(all);
  }
  return node->subkey_list;
}

ValueList MemoryStore::Values(KeyId key) {
  Node* node = Find(key);
  if (node == nullptr) {
    return std::make_shared<std::vector<std::pair<std::u16string, StoredValue>>>();
  }
  if (!node->value_list) {
    node->value_list = std::make_shared<std::vector<std::pair<std::u16string, StoredValue>>>(
        node->values.begin(), node->values.end());
  }
  return node->value_list;
}

REGSAM MemoryStore::GrantedRights(KeyId key) {
  Node* node = Find(key);
  return node == nullptr ? 0 : node->granted;
}

void MemoryStore::SetGrantedRights(KeyId key, REGSAM rights) {
  if (Node* node = Find(key)) node->granted = rights;
}

}  // namespace quorvane::platform::portable
