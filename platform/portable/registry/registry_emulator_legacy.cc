// Registry files written before the predefined keys became views: their
// separate HKCU, HKCR and HKCC trees move to where the views lead, once, when
// such a file is first opened (the store's own schema steps are in
// sqlite_store_schema.cc).
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <utility>
#include <vector>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/registry/registry_views.h>

namespace quorvane::platform::portable {

bool RegistryEmulator::AdoptSeparateTrees(bool move) {
  // Registries written before the predefined keys became views kept HKCU,
  // HKCR and HKCC as trees of their own; their keys belong where the views
  // lead now.
  static constexpr HKEY kViews[] = {kHkeyCurrentUser, kHkeyClassesRoot, kHkeyCurrentConfig};
  bool found = false;
  for (HKEY view : kViews) {
    const KeyId old_root = store_->Root(u"", view);
    std::u16string folded;
    if (!store_->HasSubkeys(old_root) && !store_->NextValue(old_root, nullptr, &folded)) continue;
    found = true;
    if (move) MoveTree(old_root, PlaceKey(RegistryViews::Of(view)));
  }
  return found;
}

void RegistryEmulator::MoveTree(KeyId from, KeyId to) {
  // A list of pending keys rather than recursion, so that a tree of any depth
  // moves. The keys emptied are deleted at the end, each after its subkeys
  // (they were found after it).
  std::vector<std::pair<KeyId, KeyId>> pending{{from, to}};
  std::vector<KeyId> emptied;
  while (!pending.empty()) {
    const auto [source, target] = pending.back();
    pending.pop_back();
    // Values and subkeys are collected first: the store's "next" walks must
    // not see the tree change under them.
    std::vector<std::pair<std::u16string, StoredValue>> values;
    std::u16string folded;
    for (auto value = store_->NextValue(source, nullptr, &folded); value;) {
      values.emplace_back(folded, std::move(*value));
      const std::u16string after = folded;
      value = store_->NextValue(source, &after, &folded);
    }
    for (const auto& [name, value] : values) {
      store_->SetValue(target, name, value);
      (void)store_->DeleteValue(source, name);
    }
    std::vector<SubkeyName> subkeys;
    for (auto subkey = store_->NextSubkey(source, nullptr); subkey;
         subkey = store_->NextSubkey(source, &subkeys.back().folded)) {
      subkeys.push_back(std::move(*subkey));
    }
    for (const SubkeyName& subkey : subkeys) {
      const std::optional<KeyId> child = store_->FindSubkey(source, subkey.folded);
      if (!child) continue;
      std::optional<KeyId> moved_to = store_->FindSubkey(target, subkey.folded);
      if (!moved_to) {
        moved_to = store_->CreateSubkey(target, subkey.name, subkey.folded);
        store_->SetGrantedRights(*moved_to, store_->GrantedRights(*child));
      }
      pending.emplace_back(*child, *moved_to);
      emptied.push_back(*child);
    }
  }
  for (auto key = emptied.rbegin(); key != emptied.rend(); ++key) store_->DeleteKey(*key);
}

}  // namespace quorvane::platform::portable
