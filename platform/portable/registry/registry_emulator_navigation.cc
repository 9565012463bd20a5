// Key navigation: paths walked below a handle, the predefined keys' views
// (the 32-bit view's redirection with them), the HKEY_CLASSES_ROOT merge of
// the user's classes over the machine's, the depth limit, and a key's full
// name.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/registry/registry_views.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {

KeyId RegistryEmulator::PlaceKey(const RegistryViews::Place& place) {
  // Places are static texts, so their address names them.
  const auto cache_key = std::make_pair(place.root, static_cast<const void*>(place.path));
  const auto cached = view_keys_.find(cache_key);
  if (cached != view_keys_.end()) return cached->second;
  KeyId key = 0;
  if (Walk(store_->Root(u"", place.root), place.path, false, &key) != kErrorSuccess) return 0;
  view_keys_[cache_key] = key;
  return key;
}

bool RegistryEmulator::IsViewKey(KeyId key) {
  static constexpr HKEY kViews[] = {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyCurrentConfig};
  for (HKEY view : kViews) {
    if (PlaceKey(RegistryViews::Of(view)) == key) return true;
  }
  return PlaceKey(RegistryViews::UserClasses()) == key ||
         PlaceKey(RegistryViews::MachineClasses32()) == key;
}

LONG RegistryEmulator::Locate(HKEY key, const Resolved& from, const std::u16string& path,
                              bool create, KeyId* target, std::u16string* classes_path,
                              NewKeys made) {
  if (!path.empty() && path[0] == u'\\') return kErrorBadPathname;
  if (!from.merged) {
    const bool machine_root =
        key == kHkeyLocalMachine ||
        (from.entry != nullptr && from.entry->predefined == kHkeyLocalMachine);
    if (machine_root && RegistryViews::MachinePath(path, from.view_32, &path_scratch_)) {
      return Walk(from.key, path_scratch_, create, target, made);
    }
    // Below a handle to a key of HKLM\Software the view applies to the
    // whole path, as if it were named from the root: the 32-bit classes
    // below a 32-bit Software handle are the 32-bit classes. A 32-bit
    // process's 32-bit handle to Software\Wow6432Node stands for Software
    // as that process sees it (as WOW64 takes it: its shared keys are the
    // shared ones); a 64-bit process's is the key of that name.
    KeyId root = 0;
    std::u16string below;
    if (!path.empty() && from.entry != nullptr && from.entry->predefined == 0 &&
        BelowMachineSoftware(from.key, *from.machine, &root, &below)) {
      below += u'\\';
      below += path;
      const bool seen_as_software =
          process_is_32_bit_ && from.view_32 && RegistryViews::DropWow6432Node(&below);
      if (RegistryViews::MachinePath(below, from.view_32, &path_scratch_)) {
        return Walk(root, path_scratch_, create, target, made);
      }
      if (seen_as_software) return Walk(root, below, create, target, made);
    }
    return Walk(from.key, path, create, target, made);
  }
  // HKEY_CLASSES_ROOT: the user's key when there is one, else the machine's.
  std::u16string merged = *from.classes_path;
  if (!merged.empty() && !path.empty()) merged += u'\\';
  merged += path;
  const KeyId user_root = PlaceKey(RegistryViews::UserClasses());
  const KeyId machine_root = PlaceKey(RegistryViews::Of(kHkeyClassesRoot));
  *classes_path = merged;
  const std::u16string& stored =
      RegistryViews::ClassesPath(merged, from.view_32, &path_scratch_) ? path_scratch_ : merged;
  if (user_root != 0 && Walk(user_root, stored, false, target) == kErrorSuccess) {
    return kErrorSuccess;
  }
  const LONG status = Walk(machine_root, stored, false, target);
  if (status != kErrorFileNotFound || !create) return status;
  // A new key goes to the machine's part, as Windows documents it, unless the
  // user's part holds more of its path (its nearest existing ancestor is the
  // user's alone): then beside that ancestor.
  const std::size_t user_depth = user_root != 0 ? ExistingDepth(user_root, stored) : 0;
  const bool in_user = user_depth > ExistingDepth(machine_root, stored);
  return Walk(in_user ? user_root : machine_root, stored, true, target, made);
}

bool RegistryEmulator::BelowMachineSoftware(KeyId key, const std::u16string& machine,
                                            KeyId* machine_root, std::u16string* path) {
  // The views decide by the first levels below Software alone (the deepest
  // key they share lies 7 below the root): a key deeper than that is where
  // its handle says, and a walk of a deep tree does not climb to the root at
  // every step.
  constexpr std::size_t kDeepestDecidingLevel = 10;
  std::vector<KeyId> chain;  // from the key up to the root's child
  KeyId current = key;
  for (std::optional<KeyId> parent = store_->Parent(current); parent && *parent != 0;
       parent = store_->Parent(current)) {
    if (chain.size() == kDeepestDecidingLevel) return false;
    chain.push_back(current);
    current = *parent;
  }
  if (chain.empty() || NameFolding::Fold(store_->Name(chain.back())) != u"SOFTWARE") return false;
  if (current != store_->Root(NameFolding::Fold(machine), kHkeyLocalMachine)) return false;
  path->clear();
  for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
    if (!path->empty()) *path += u'\\';
    *path += store_->Name(*level);
  }
  *machine_root = current;
  return true;
}

std::array<KeyId, 2> RegistryEmulator::MergedParts(const Resolved& from) {
  std::u16string redirected;
  const std::u16string& path =
      RegistryViews::ClassesPath(*from.classes_path, from.view_32, &redirected)
          ? redirected
          : *from.classes_path;
  std::array<KeyId, 2> parts = {PlaceKey(RegistryViews::UserClasses()),
                                PlaceKey(RegistryViews::Of(kHkeyClassesRoot))};
  for (KeyId& part : parts) {
    if (part != 0 && Walk(part, path, false, &part) != kErrorSuccess) part = 0;
  }
  return parts;
}

std::optional<SubkeyName> RegistryEmulator::NextMergedSubkey(const Resolved& from,
                                                             const std::u16string* after) {
  // The union of both parts in name order, each name once (the user's).
  std::optional<SubkeyName> first;
  for (const KeyId part : MergedParts(from)) {
    if (part == 0) continue;
    std::optional<SubkeyName> next = store_->NextSubkey(part, after);
    if (next && (!first || next->folded < first->folded)) first = std::move(next);
  }
  return first;
}

SubkeyList RegistryEmulator::MergedSubkeys(const Resolved& from, std::uint64_t generation) {
  constexpr std::size_t kMostMergedLists = 32;
  const std::array<KeyId, 2> parts = MergedParts(from);
  if (merged_lists_.generation != generation || merged_lists_.lists.size() >= kMostMergedLists) {
    merged_lists_.lists.clear();
    merged_lists_.generation = generation;
  }
  SubkeyList& kept = merged_lists_.lists[{parts[0], parts[1]}];
  if (kept) return kept;
  const SubkeyList none = std::make_shared<const std::vector<SubkeyName>>();
  const SubkeyList user = parts[0] != 0 ? store_->Subkeys(parts[0]) : none;
  const SubkeyList machine = parts[1] != 0 ? store_->Subkeys(parts[1]) : none;
  auto all = std::make_shared<std::vector<SubkeyName>>();
  all->reserve(user->size() + machine->size());
  auto from_user = user->begin();
  auto from_machine = machine->begin();
  while (from_user != user->end() || from_machine != machine->end()) {
    if (from_machine == machine->end() ||
        (from_user != user->end() && from_user->folded <= from_machine->folded)) {
      if (from_machine != machine->end() && from_machine->folded == from_user->folded) {
        ++from_machine;  // the user's key hides the machine's
      }
      all->push_back(*from_user++);
    } else {
      all->push_back(*from_machine++);
    }
  }
  kept = std::move(all);
  return kept;
}

LONG RegistryEmulator::Walk(KeyId from, std::u16string_view path, bool create, KeyId* result,
                            NewKeys made) {
  if (!path.empty() && path[0] == u'\\') return kErrorBadPathname;
  // A name too long fails the call before anything is created.
  if (!ForEachName(path,
                   [](std::size_t, std::size_t length) { return length <= kMaxKeyNameLength; })) {
    return kErrorInvalidParameter;
  }
  KeyId current = from;
  LONG status = kErrorSuccess;
  bool depth_checked = false;
  const bool links = store_->HoldsLinks();
  ForEachName(path, [&](std::size_t begin, std::size_t length) {
    NameFolding::FoldInto(path.substr(begin, length), &fold_scratch_);
    std::optional<KeyId> next = store_->FindSubkey(current, fold_scratch_);
    if (!next) {
      if (!create) {
        status = kErrorFileNotFound;
        return false;
      }
      // The whole rest of the path is measured before its first key is made.
      if (!depth_checked && Depth(current) + NameCount(path.substr(begin)) > kMaxTreeDepth) {
        status = kErrorNoSystemResources;
        return false;
      }
      // A stable key never lies below a volatile one.
      if (!depth_checked && made == NewKeys::kStable && store_->IsVolatile(current)) {
        status = kErrorChildMustBeVolatile;
        return false;
      }
      depth_checked = true;
      next =
          store_->CreateSubkey(current, std::u16string(path.substr(begin, length)), fold_scratch_);
      if (made == NewKeys::kVolatile) store_->MarkVolatile(*next);
    }
    current = *next;
    // A link key is the key it names, for the names below it as for itself.
    if (links && !FollowLink(current, &current)) {
      status = kErrorFileNotFound;
      return false;
    }
    return true;
  });
  if (status == kErrorSuccess) *result = current;
  return status;
}

bool RegistryEmulator::FollowLink(KeyId link, KeyId* target) {
  constexpr int kMostLinksFollowed = 16;
  std::optional<std::u16string> path = store_->LinkTarget(link);
  if (!path) {
    *target = link;
    return true;
  }
  while (!path->empty() && path->back() == u'\0') path->pop_back();
  const std::u16string folded = NameFolding::Fold(*path);
  static constexpr std::pair<std::u16string_view, HKEY> kRoots[] = {
      {u"\\REGISTRY\\MACHINE", kHkeyLocalMachine}, {u"\\REGISTRY\\USER", kHkeyUsers}};
  for (const auto& [prefix, root] : kRoots) {
    if (folded.compare(0, prefix.size(), prefix) != 0) continue;
    if (folded.size() > prefix.size() && folded[prefix.size()] != u'\\') continue;
    if (links_followed_ == kMostLinksFollowed) return false;
    const std::size_t below = std::min(folded.size(), prefix.size() + 1);
    ++links_followed_;
    const LONG status = Walk(store_->Root(u"", root), path->substr(below), false, target);
    --links_followed_;
    return status == kErrorSuccess;
  }
  return false;
}

std::size_t RegistryEmulator::Depth(KeyId key) {
  std::size_t depth = 0;
  for (std::optional<KeyId> parent = store_->Parent(key); parent && *parent != 0;
       parent = store_->Parent(*parent)) {
    ++depth;
  }
  return depth;
}

std::size_t RegistryEmulator::ExistingDepth(KeyId from, std::u16string_view path) {
  std::size_t depth = 0;
  ForEachName(path, [&](std::size_t begin, std::size_t length) {
    NameFolding::FoldInto(path.substr(begin, length), &fold_scratch_);
    const std::optional<KeyId> next = store_->FindSubkey(from, fold_scratch_);
    if (!next) return false;
    from = *next;
    ++depth;
    return true;
  });
  return depth;
}

LONG RegistryEmulator::QueryKeyName(HKEY key, std::u16string* name) {
  return Run(RegCall::kQueryKeyName, key, kNoText, 0, false, nullptr, [&] {
    if (name == nullptr) return kErrorInvalidParameter;
    Resolved from;
    if (LONG status = Resolve(key, 0, &from)) return status;
    if (!from.machine->empty()) return kErrorInvalidHandle;
    std::vector<std::u16string> names;  // from the key up to its root
    KeyId current = from.key;
    for (std::optional<KeyId> parent = store_->Parent(current); parent && *parent != 0;
         parent = store_->Parent(current)) {
      names.push_back(store_->Name(current));
      current = *parent;
    }
    if (current == store_->Root(u"", kHkeyLocalMachine)) {
      *name = u"\\REGISTRY\\Machine";
    } else if (current == store_->Root(u"", kHkeyUsers)) {
      *name = u"\\REGISTRY\\User";
    } else {
      return kErrorInvalidHandle;
    }
    for (auto level = names.rbegin(); level != names.rend(); ++level) *name += u'\\' + *level;
    return kErrorSuccess;
  });
}

}  // namespace quorvane::platform::portable
