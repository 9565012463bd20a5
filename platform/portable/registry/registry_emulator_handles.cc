// Handles and rights: what a handle or predefined root stands for, the rights
// it was opened with, and the handle table.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/registry/registry_views.h>

namespace quorvane::platform::portable {

LONG RegistryEmulator::Resolve(HKEY key, REGSAM needed, Resolved* resolved, REGSAM sam) {
  // The performance data are no stored tree: Windows answers them itself.
  if (key == kHkeyPerformanceData) return kErrorInvalidHandle;
  // A registry of 32-bit Windows has one view, which nothing redirects.
  const bool view_32 =
      store_->HasWow64() && RegistryViews::IsThirtyTwoBitView(sam, process_is_32_bit_);
  if (IsPredefined(key)) {
    resolved->key = PlaceKey(RegistryViews::Of(key));
    if (resolved->key == 0) return kErrorFileNotFound;
    resolved->rights = store_->GrantedRights(resolved->key);
    resolved->machine = &kNoName;
    resolved->entry = nullptr;
    resolved->merged = key == kHkeyClassesRoot;
    resolved->classes_path = &kNoName;
    resolved->view_32 = view_32;
    return Grants(resolved->rights, needed) ? kErrorSuccess : kErrorAccessDenied;
  }
  auto found = handles_.find(key);
  if (found == handles_.end()) return kErrorInvalidHandle;
  HandleEntry& entry = found->second;
  // The handle's access is checked before whether its key still exists.
  if (!Grants(entry.rights, needed)) return kErrorAccessDenied;
  if (!store_->Exists(entry.key)) return kErrorKeyDeleted;
  resolved->key = entry.key;
  resolved->rights = entry.rights;
  resolved->machine = &entry.machine;
  resolved->entry = &entry;
  resolved->merged = entry.merged;
  resolved->classes_path = &entry.classes_path;
  // A remote machine's root chooses its view per call, as the local one does.
  // Below another handle a 32-bit process's call that names a view takes it,
  // as WOW64 takes it; a 64-bit process's stays in the handle's.
  const bool names_view = (sam & (kKeyWow64_32Key | kKeyWow64_64Key)) != 0;
  resolved->view_32 =
      entry.predefined != 0 || (process_is_32_bit_ && names_view) ? view_32 : entry.view_32;
  return kErrorSuccess;
}

RegistryEmulator::Cursors& RegistryEmulator::CursorsOf(HKEY key, const Resolved& resolved) {
  return resolved.entry != nullptr ? resolved.entry->cursors : root_cursors_[key];
}

HKEY RegistryEmulator::NewHandle(KeyId key, REGSAM rights, const std::u16string& machine) {
  while (handles_.count(next_handle_) != 0 || next_handle_ == 0 || IsPredefined(next_handle_)) {
    next_handle_ += 4;
  }
  const HKEY handle = next_handle_;
  next_handle_ += 4;
  HandleEntry& entry = handles_[handle];
  entry.key = key;
  entry.rights = rights;
  entry.machine = machine;
  return handle;
}

HKEY RegistryEmulator::NewHandleBelow(KeyId key, REGSAM rights, const Resolved& from,
                                      const std::u16string& classes_path) {
  const HKEY handle = NewHandle(key, rights, *from.machine);
  HandleEntry& entry = handles_[handle];
  entry.merged = from.merged;
  entry.classes_path = classes_path;
  entry.view_32 = from.view_32;
  // The root a connection stands for, opened again, stands for it too: its
  // view is still chosen per call.
  if (from.entry != nullptr && from.entry->predefined != 0 && key == from.key) {
    entry.predefined = from.entry->predefined;
  }
  return handle;
}

LONG RegistryEmulator::FlushKey(HKEY key) {
  return Run(RegCall::kFlushKey, key, kNoText, 0, false, nullptr, [&] {
    Resolved from;
    if (LONG status = Resolve(key, 0, &from)) return status;
    store_->Flush();
    flusher_.Cancel();  // nothing written so far is left to flush
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::CloseKey(HKEY key) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Log({RegCall::kCloseKey, key, "", 0});
  if (IsPredefined(key)) return kErrorSuccess;
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace quorvane::platform::portable
