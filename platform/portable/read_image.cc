#include "platform/portable/read_image.h"

#include <algorithm>

namespace quorvane::platform::portable {

ReadImage::Key& ReadImage::Of(KeyId key) {
  const auto [entry, added] = keys_.try_emplace(key);
  if (added) bytes_ += sizeof(Key) + kEntryCost;
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
  for (const auto& child : entry.children) cost += CostOf(child.first);
  for (const auto& [folded, value] : entry.values) {
    cost += value ? CostOf(folded, *value) : CostOf(folded);
  }
  if (entry.subkeys) {
    for (const SubkeyName& subkey : *entry.subkeys) cost += 2 * CostOf(subkey.name);
  }
  if (entry.all_values) {
    for (const auto& [folded, value] : *entry.all_values) cost += CostOf(folded, value);
  }
  bytes_ -= std::min(bytes_, cost);
  keys_.erase(found);
}

void ReadImage::Clear() {
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
