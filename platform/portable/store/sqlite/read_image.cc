#include <quorvane/platform/portable/store/sqlite/read_image.h>

#include <algorithm>

namespace quorvane::platform::portable {

ReadImage::Key& ReadImage::Of(KeyId key) {
  if (!recent_.empty()) {
    const auto& [recent_key, recent_entry] = recent_[RecentSlotOf(key)];
    if (recent_entry != nullptr && recent_key == key) return *recent_entry;
  }
  const auto [entry, added] = keys_.try_emplace(key);
  if (added) bytes_ += sizeof(Key) + kEntryCost;
  // As many slots as entries (up to a limit): a small image stays small.
  if (recent_.size() < std::min(keys_.size(), kMostRecentSlots)) {
    const std::size_t slots = recent_.empty() ? 64 : recent_.size() * 2;
    bytes_ += (slots - recent_.size()) * sizeof(recent_[0]);
    recent_.assign(slots, {0, nullptr});
  }
  auto& [recent_key, recent_entry] = recent_[RecentSlotOf(key)];
  recent_key = key;
  recent_entry = &entry->second;
  return entry->second;
}

const std::optional<KeyId>* ReadImage::FindRoot(const std::u16string& machine, HKEY root) const {
  const auto found = roots_.find({machine, root});
  return found == roots_.end() ? nullptr : &found->second;
}

void ReadImage::RememberRoot(const std::u16string& machine, HKEY root, KeyId id) {
  roots_[{machine, root}] = id;
  bytes_ += CostOf(machine);
}

void ReadImage::Forget(KeyId key) {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return;
  // What adding its parts charged, counted again.
  const Key& entry = found->second;
  std::size_t cost = sizeof(Key) + kEntryCost;
  if (entry.row) cost += CostOf(entry.row->name);
  entry.children.ForEach(
      [&](const std::u16string& folded, const std::optional<KeyId>&) { cost += CostOf(folded); });
  entry.values.ForEach([&](const std::u16string& folded, const std::optional<StoredValue>& value) {
    cost += value ? CostOf(folded, *value) : CostOf(folded);
  });
  if (entry.subkeys) {
    for (const SubkeyName& subkey : *entry.subkeys) cost += 2 * CostOf(subkey.name);
  }
  if (entry.all_values) {
    for (const auto& [folded, value] : *entry.all_values) cost += CostOf(folded, value);
  }
  bytes_ -= std::min(bytes_, cost);
  if (!recent_.empty() && recent_[RecentSlotOf(key)].first == key) {
    recent_[RecentSlotOf(key)].second = nullptr;
  }
  keys_.erase(found);
}

void ReadImage::DropSubkeyList(Key* entry) {
  if (entry->subkeys) {
    std::size_t cost = 0;
    for (const SubkeyName& subkey : *entry->subkeys) cost += 2 * CostOf(subkey.name);
    bytes_ -= std::min(bytes_, cost);
  }
  entry->has_all_subkeys = false;
  entry->subkeys.reset();
  entry->subkey_ids.clear();
}

void ReadImage::SubkeyAdded(KeyId parent, const std::u16string& name, const std::u16string& folded,
                            KeyId id) {
  const auto found = keys_.find(parent);
  if (found == keys_.end()) return;
  Key& entry = found->second;
  if (entry.children.Set(folded, id)) bytes_ += CostOf(folded);
  entry.has_subkeys = true;
  if (!entry.has_all_subkeys) return;
  if (entry.subkeys.use_count() > 1) {  // a handle still walks the old list
    DropSubkeyList(&entry);
    return;
  }
  std::vector<SubkeyName>& list = *entry.subkeys;
  const auto at = std::lower_bound(list.begin(), list.end(), folded,
                                   [](const SubkeyName& subkey, const std::u16string& key) {
                                     return subkey.folded < key;
                                   }) -
                  list.begin();
  list.insert(list.begin() + at, SubkeyName{name, folded});
  entry.subkey_ids.insert(entry.subkey_ids.begin() + at, id);
  bytes_ += 2 * CostOf(name);
}

void ReadImage::SubkeyDeleted(KeyId parent, KeyId id) {
  const auto found = keys_.find(parent);
  if (found == keys_.end()) return;
  Key& entry = found->second;
  entry.children.ForEach([id](const std::u16string&, std::optional<KeyId>& child) {
    if (child == id) child.reset();  // known to be gone
  });
  entry.has_subkeys.reset();
  if (!entry.has_all_subkeys) return;
  if (entry.subkeys.use_count() > 1) {
    DropSubkeyList(&entry);
    return;
  }
  const auto at = std::find(entry.subkey_ids.begin(), entry.subkey_ids.end(), id);
  if (at == entry.subkey_ids.end()) return;
  const auto index = at - entry.subkey_ids.begin();
  bytes_ -= std::min(bytes_, 2 * CostOf((*entry.subkeys)[static_cast<std::size_t>(index)].name));
  entry.subkeys->erase(entry.subkeys->begin() + index);
  entry.subkey_ids.erase(at);
}

void ReadImage::SpreadValueList(Key* entry) {
  for (const auto& [folded, value] : *entry->all_values) entry->values.Set(folded, value);
  entry->has_all_values = false;
  entry->all_values.reset();
}

void ReadImage::ValueWritten(KeyId key, const std::u16string& folded, const StoredValue* value) {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return;
  Key& entry = found->second;
  if (entry.has_all_values) SpreadValueList(&entry);
  std::optional<StoredValue>* known = entry.values.Find(folded);
  if (value == nullptr) {  // deleted: known to be gone
    if (known == nullptr) {
      entry.values.Add(folded, std::nullopt);
      bytes_ += CostOf(folded);
    } else if (*known) {
      bytes_ -= std::min(bytes_, (*known)->data.size());
      known->reset();
    }
    return;
  }
  if (known == nullptr) return;
  if (*known) {
    bytes_ -= std::min(bytes_, (*known)->data.size());
    (*known)->type = value->type;
    (*known)->data = value->data;
  } else {
    *known = *value;
  }
  bytes_ += value->data.size() + value->name.size() * 2;
}

void ReadImage::RightsSet(KeyId key, REGSAM rights) {
  const auto found = keys_.find(key);
  if (found != keys_.end() && found->second.row) found->second.row->granted = rights;
}

void ReadImage::Clear() {
  recent_.clear();
  keys_.clear();
  roots_.clear();
  bytes_ = 0;
}

std::size_t ReadImage::FirstAfter(const std::vector<SubkeyName>& subkeys,
                                  const std::u16string* after) {
  if (after == nullptr) return 0;
  return static_cast<std::size_t>(
      std::upper_bound(subkeys.begin(), subkeys.end(), *after,
                       [](const std::u16string& name, const SubkeyName& subkey) {
                         return name < subkey.folded;
                       }) -
      subkeys.begin());
}

std::size_t ReadImage::FirstAfter(const std::vector<std::pair<std::u16string, StoredValue>>& values,
                                  const std::u16string* after) {
  if (after == nullptr) return 0;
  return static_cast<std::size_t>(
      std::upper_bound(
          values.begin(), values.end(), *after,
          [](const std::u16string& name, const std::pair<std::u16string, StoredValue>& value) {
            return name < value.first;
          }) -
      values.begin());
}

std::optional<std::size_t> ReadImage::Position(const std::vector<SubkeyName>& subkeys,
                                               const std::u16string& folded) {
  const auto found = std::lower_bound(
      subkeys.begin(), subkeys.end(), folded,
      [](const SubkeyName& subkey, const std::u16string& name) { return subkey.folded < name; });
  if (found == subkeys.end() || found->folded != folded) return std::nullopt;
  return static_cast<std::size_t>(found - subkeys.begin());
}

std::optional<std::size_t> ReadImage::Position(
    const std::vector<std::pair<std::u16string, StoredValue>>& values,
    const std::u16string& folded) {
  const auto found =
      std::lower_bound(values.begin(), values.end(), folded,
                       [](const std::pair<std::u16string, StoredValue>& value,
                          const std::u16string& name) { return value.first < name; });
  if (found == values.end() || found->first != folded) return std::nullopt;
  return static_cast<std::size_t>(found - values.begin());
}

}  // namespace quorvane::platform::portable
