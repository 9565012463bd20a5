// The key calls: open, connect, create, delete and enumerate keys, in their
// ANSI and wide forms.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <algorithm>
#include <cstring>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/text/code_page.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {

LONG RegistryEmulator::OpenKeyExCore(HKEY key, const CallText& sub_key, REGSAM sam, HKEY* result) {
  return Run(RegCall::kOpenKeyEx, key, sub_key, sam, false, result, [&] {
    if (result == nullptr || AsksForBothViews(sam)) return kErrorInvalidParameter;
    *result = 0;
    Resolved from;
    if (LONG status = Resolve(key, 0, &from, sam)) return status;
    const std::u16string& given = TextOrEmpty(sub_key);
    // As Windows since NT: one leading separator is taken below
    // HKEY_CLASSES_ROOT ("\\" opens the root again), nowhere else.
    std::u16string stripped;
    const bool leading = key == kHkeyClassesRoot && !given.empty() && given.front() == u'\\';
    if (leading) stripped = given.substr(1);
    const std::u16string& path = leading ? stripped : given;
    KeyId target = 0;
    std::u16string classes_path;
    if (LONG status = Locate(key, from, path, false, &target, &classes_path)) return status;
    const REGSAM granted = store_->GrantedRights(target);
    if (!Grants(granted, MapGenericRights(sam, 0))) return kErrorAccessDenied;
    if (path.empty() && IsPredefined(key)) {
      *result = key;  // the root handle itself
    } else {
      *result = NewHandleBelow(target, MapGenericRights(sam, granted), from, classes_path);
    }
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::ConnectRegistry(const char* machine_name, HKEY key, HKEY* result) {
  // Writing: the first connection to a machine creates its roots.
  return Run(RegCall::kConnectRegistry, key, CallText{machine_name, nullptr, false}, 0, true,
             result, [&] {
               if (result == nullptr) return kErrorInvalidParameter;
               *result = 0;
               if (!IsPredefined(key)) return kErrorInvalidHandle;
               std::u16string name = Decode(machine_name);
               if (name.rfind(u"\\\\", 0) == 0) {
                 name.erase(0, 2);
                 if (name.empty()) return kErrorBadNetpath;  // "\\" names no machine
               }
               const std::u16string folded = NameFolding::Fold(name);
               if (name.empty() || folded == NameFolding::Fold(computer_name_)) {
                 *result = key;
                 return kErrorSuccess;
               }
               if (std::find(remote_machines_.begin(), remote_machines_.end(), folded) ==
                   remote_machines_.end()) {
                 return kErrorBadNetpath;
               }
               if (!IsRemoteRoot(key)) return kErrorInvalidHandle;
               *result = NewHandle(store_->Root(folded, key), 0xFFFFFFFFu, folded);
               handles_[*result].predefined = key;
               return kErrorSuccess;
             });
}

LONG RegistryEmulator::CreateKeyCore(HKEY key, const CallText& sub_key, DWORD options, REGSAM sam,
                                     HKEY* result, DWORD* disposition) {
  constexpr DWORD kRegOptionVolatile = 1;
  const NewKeys made = (options & kRegOptionVolatile) != 0 ? NewKeys::kVolatile : NewKeys::kStable;
  return Run(RegCall::kCreateKey, key, sub_key, sam, true, result, [&] {
    if (result == nullptr || AsksForBothViews(sam)) return kErrorInvalidParameter;
    Resolved from;
    if (LONG status = Resolve(key, 0, &from, sam)) return status;
    const std::u16string& path = TextOrEmpty(sub_key);
    if (disposition != nullptr) *disposition = kRegOpenedExistingKey;
    if (NamesNoKey(path) && (path.empty() || path[0] != u'\\')) {
      // An empty path opens the key itself again: a new handle, but a
      // predefined root is its own handle.
      if (from.entry == nullptr) {
        *result = key;
        return kErrorSuccess;
      }
      const REGSAM granted = store_->GrantedRights(from.key);
      if (!Grants(granted, MapGenericRights(sam, 0))) return kErrorAccessDenied;
      *result = NewHandleBelow(from.key, MapGenericRights(sam, granted), from, *from.classes_path);
      return kErrorSuccess;
    }
    // Creation is checked against the key's own security, not against the
    // rights the handle was opened with.
    if (!Grants(store_->GrantedRights(from.key), kKeyCreateSubKey)) return kErrorAccessDenied;
    KeyId target = 0;
    std::u16string classes_path;
    if (disposition != nullptr &&
        Locate(key, from, path, false, &target, &classes_path) != kErrorSuccess) {
      *disposition = kRegCreatedNewKey;
    }
    if (LONG status = Locate(key, from, path, true, &target, &classes_path, made)) return status;
    const REGSAM granted = store_->GrantedRights(target);
    if (!Grants(granted, MapGenericRights(sam, 0))) return kErrorAccessDenied;
    *result = NewHandleBelow(target, MapGenericRights(sam, granted), from, classes_path);
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::DeleteKeyCore(HKEY key, const CallText& sub_key) {
  return Run(RegCall::kDeleteKey, key, sub_key, 0, true, nullptr, [&] {
    const std::u16string* path = Text(sub_key);
    if (path == nullptr) return kErrorInvalidParameter;
    Resolved from;
    if (LONG status = Resolve(key, 0, &from)) return status;
    KeyId target = 0;
    std::u16string classes_path;
    if (LONG status = Locate(key, from, *path, false, &target, &classes_path)) return status;
    // A root, or the key a predefined key stands for, stays.
    if (store_->Parent(target) == KeyId{0} || IsViewKey(target)) {
      return kErrorAccessDenied;
    }
    if (store_->HasSubkeys(target)) return kErrorAccessDenied;
    if (!Grants(store_->GrantedRights(target), kDelete)) return kErrorAccessDenied;
    store_->DeleteKey(target);
    return kErrorSuccess;
  });
}

const SubkeyName* RegistryEmulator::SubkeyAt(HKEY key, const Resolved& from, DWORD index) {
  // Walking by consecutive indexes costs one step each: the handle remembers
  // where the previous call stopped, as long as the tree has not changed.
  Cursor& cursor = CursorsOf(key, from).subkeys;
  const std::uint64_t generation = store_->Generation();
  if (cursor.generation != generation) cursor = Cursor{};
  const bool next_in_order =
      index == 0 || (cursor.valid && (cursor.index == index || cursor.index + 1 == index));
  if (!cursor.all && !next_in_order) {
    // Out of order (a walk downward, or a jump): the whole list, once.
    cursor.all = from.merged ? MergedSubkeys(from, generation) : store_->Subkeys(from.key);
    cursor.generation = generation;
  }
  if (cursor.all) return index < cursor.all->size() ? &(*cursor.all)[index] : nullptr;
  if (!cursor.valid || cursor.index > index) cursor = Cursor{};
  while (!cursor.valid || cursor.index != index) {
    const std::u16string* after = cursor.valid ? &cursor.subkey.folded : nullptr;
    std::optional<SubkeyName> next =
        from.merged ? NextMergedSubkey(from, after) : store_->NextSubkey(from.key, after);
    if (!next) {
      cursor = Cursor{};
      return nullptr;
    }
    const DWORD next_index = cursor.valid ? cursor.index + 1 : 0;
    cursor = Cursor{generation, next_index, std::move(*next), true, {}};
  }
  return &cursor.subkey;
}

LONG RegistryEmulator::EnumKey(HKEY key, DWORD index, char* name, DWORD name_size) {
  return Run(RegCall::kEnumKey, key, kNoText, 0, false, nullptr, [&] {
    if (InFirst64KiB(name)) return kErrorNoAccess;
    Resolved from;
    if (LONG status = Resolve(key, kKeyEnumerateSubKeys, &from)) return status;
    const SubkeyName* found = SubkeyAt(key, from, index);
    if (found == nullptr) return kErrorNoMoreItems;
    bool used_default = false;
    CodePage::EncodeInto(code_page_(), found->name, CodePage::Fit::kBest, '?', &used_default,
                         &encode_scratch_);
    const std::string& bytes = encode_scratch_;
    if (name == nullptr || bytes.size() + 1 > name_size) return kErrorMoreData;
    std::memcpy(name, bytes.data(), bytes.size());
    name[bytes.size()] = '\0';
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::EnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size) {
  return Run(RegCall::kEnumKey, key, kNoText, 0, false, nullptr, [&] {
    if (AnyInFirst64KiB(name, name_size)) return kErrorNoAccess;
    if (name == nullptr || name_size == nullptr) return kErrorInvalidParameter;
    Resolved from;
    if (LONG status = Resolve(key, kKeyEnumerateSubKeys, &from)) return status;
    const SubkeyName* found = SubkeyAt(key, from, index);
    if (found == nullptr) return kErrorNoMoreItems;
    if (found->name.size() + 1 > *name_size) return kErrorMoreData;
    std::memcpy(name, found->name.data(), found->name.size() * sizeof(char16_t));
    name[found->name.size()] = u'\0';
    *name_size = static_cast<DWORD>(found->name.size());
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::OpenKeyEx(HKEY key, const char* sub_key, DWORD, REGSAM sam, HKEY* result) {
  return OpenKeyExCore(key, CallText{sub_key, nullptr, false}, sam, result);
}
LONG RegistryEmulator::OpenKeyExW(HKEY key, const char16_t* sub_key, DWORD, REGSAM sam,
                                  HKEY* result) {
  return OpenKeyExCore(key, CallText{nullptr, sub_key, true}, sam, result);
}
LONG RegistryEmulator::CreateKey(HKEY key, const char* sub_key, HKEY* result) {
  // RegCreateKeyA asks for whatever the key grants.
  return CreateKeyCore(key, CallText{sub_key, nullptr, false}, 0, kMaximumAllowed, result,
                       nullptr);
}
LONG RegistryEmulator::CreateKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam,
                                    HKEY* result,
                                    DWORD* disposition) {
  return CreateKeyCore(key, CallText{nullptr, sub_key, true}, options, sam, result, disposition);
}
LONG RegistryEmulator::DeleteKey(HKEY key, const char* sub_key) {
  return DeleteKeyCore(key, CallText{sub_key, nullptr, false});
}
LONG RegistryEmulator::DeleteKeyW(HKEY key, const char16_t* sub_key) {
  return DeleteKeyCore(key, CallText{nullptr, sub_key, true});
}

}  // namespace quorvane::platform::portable
