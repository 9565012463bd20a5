#include "platform/portable/registry_emulator.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/portable/code_page.h"
#include "platform/portable/memory_store.h"
#include "platform/portable/name_folding.h"
#include "platform/portable/registry_views.h"
#include "platform/unicode_text.h"

namespace quorvane::platform::portable {
namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
// Windows keeps a key at most 512 levels below the root of its tree (HKLM or
// HKU); its kernel refuses a deeper key as a shortage of resources.
constexpr std::size_t kMaxTreeDepth = 512;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr REGSAM kSpecificRights = 0xFFFFu;
const std::u16string kNoName;

bool IsPredefined(HKEY key) { return key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig; }

bool IsStringType(DWORD type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Windows only lets these roots be opened on another machine.
bool IsRemoteRoot(HKEY key) {
  return key == kHkeyLocalMachine || key == kHkeyUsers || key == kHkeyPerformanceData;
}

// Whether a key path names no key at all: empty, or separators only.
bool NamesNoKey(const std::u16string& path) {
  return path.find_first_not_of(u'\\') == std::u16string::npos;
}

// Calls `visit(begin, length)` for each name of a key path; doubled and
// trailing separators are ignored. Stops early when `visit` returns false.
template <typename Visit>
bool ForEachName(std::u16string_view path, Visit visit) {
  std::size_t begin = 0;
  while (begin < path.size()) {
    std::size_t end = path.find(u'\\', begin);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > begin && !visit(begin, end - begin)) return false;
    begin = end + 1;
  }
  return true;
}

std::size_t NameCount(std::u16string_view path) {
  std::size_t count = 0;
  ForEachName(path, [&](std::size_t, std::size_t) {
    ++count;
    return true;
  });
  return count;
}

// Reading a string adds one uncounted zero after data that do not already end
// in one, when the buffer has room for it.
// (A zero of the wide calls is two bytes.)
void TerminateString(DWORD type, const std::string& bytes, bool wide, BYTE* data,
                     DWORD buffer_size) {
  const std::size_t stored = bytes.size();
  const std::size_t zero = wide ? 2 : 1;
  if (!IsStringType(type) || stored == 0 || buffer_size < stored + zero) return;
  const bool ends_in_zero =
      wide ? stored >= 2 && bytes[stored - 1] == '\0' && bytes[stored - 2] == '\0'
           : bytes.back() == '\0';
  if (ends_in_zero) return;
  for (std::size_t i = 0; i < zero; ++i) data[stored + i] = 0;
}

// Generic rights become the key rights they stand for when a key is opened;
// MAXIMUM_ALLOWED becomes whatever the key grants. The view flags are no
// rights.
REGSAM MapGenericRights(REGSAM asked, REGSAM granted) {
  constexpr REGSAM kGenericRead = 0x80000000u;
  constexpr REGSAM kGenericWrite = 0x40000000u;
  constexpr REGSAM kGenericExecute = 0x20000000u;
  constexpr REGSAM kGenericAll = 0x10000000u;
  constexpr REGSAM kMaximumAllowed = 0x02000000u;
  constexpr REGSAM kViewFlags = 0x0300u;
  constexpr REGSAM kKeyWrite = 0x00020006u;
  REGSAM mapped = asked & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll |
                            kMaximumAllowed | kViewFlags);
  if ((asked & (kGenericRead | kGenericExecute)) != 0) mapped |= kKeyRead;
  if ((asked & kGenericWrite) != 0) mapped |= kKeyWrite;
  if ((asked & kGenericAll) != 0) mapped |= kKeyAllAccess;
  if ((asked & kMaximumAllowed) != 0) mapped |= granted & kKeyAllAccess;
  return mapped;
}

// Windows 7 and later refuse a call that asks for both registry views.
bool AsksForBothViews(REGSAM sam) {
  constexpr REGSAM kViewFlags = 0x0300u;
  return (sam & kViewFlags) == kViewFlags;
}

// Rights that name a right (not MAXIMUM_ALLOWED or generic bits) must all be granted.
bool Grants(REGSAM granted, REGSAM asked) {
  const REGSAM named = asked & (kSpecificRights | 0x001F0000u);
  return (named & ~granted) == 0;
}

// The emulated machine's name: the host's, as COMPUTERNAME or the host name
// (without its domain) gives it.
std::u16string HostName() {
  if (const char* chosen = std::getenv("COMPUTERNAME"); chosen != nullptr && *chosen != '\0') {
    return CodePage::Decode(kCpUtf8, chosen);
  }
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return u"localhost";
  std::string host = name;
  host = host.substr(0, host.find('.'));
  return CodePage::Decode(kCpUtf8, host);
}

}  // namespace

RegistryEmulator::RegistryEmulator(CodePageSource code_page, bool process_is_32_bit)
    : code_page_(std::move(code_page)),
      store_(std::make_unique<MemoryStore>()),
      computer_name_(HostName()),
      process_is_32_bit_(process_is_32_bit),
      default_process_is_32_bit_(process_is_32_bit) {
  SeedStandardKeys();
}

void RegistryEmulator::SeedStandardKeys() {
  // The keys every Windows registry holds from the start. They are looked for
  // in a read transaction, so that a registry that has them is not written.
  std::size_t count = 0;
  const RegistryViews::Place* standard = RegistryViews::StandardKeys(&count);
  const auto walk_all = [&](bool create) {
    bool all_there = true;
    for (std::size_t i = 0; i < count; ++i) {
      KeyId target = 0;
      all_there &= Walk(store_->Root(u"", standard[i].root), standard[i].path, create, &target) ==
                   kErrorSuccess;
    }
    return all_there;
  };
  view_keys_.clear();
  try {
    store_->Begin(false);
    const bool settled = walk_all(false) && !AdoptSeparateTrees(false);
    store_->Commit();
    if (settled) return;
    store_->Begin(true);
    walk_all(true);
    AdoptSeparateTrees(true);
    store_->Commit();
  } catch (const StoreFailure&) {
    view_keys_.clear();
    try {
      store_->Rollback();
    } catch (const StoreFailure&) {
      // An unusable store answers every call with its failure anyway.
    }
  }
}

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

std::u16string RegistryEmulator::Decode(const char* text) const {
  return text == nullptr ? std::u16string() : CodePage::Decode(code_page_(), text);
}

std::string RegistryEmulator::Encode(const std::u16string& text) const {
  bool used_default = false;
  return CodePage::Encode(code_page_(), text, '?', &used_default);
}

void RegistryEmulator::Log(const CallRecord& record) {
  // Bounded, so that a long-running host does not grow it without end.
  constexpr std::size_t kCallLogLimit = 4096;
  if (call_log_.size() >= kCallLogLimit) {
    call_log_.erase(call_log_.begin(), call_log_.begin() + kCallLogLimit / 2);
  }
  call_log_.push_back(record);
}

bool RegistryEmulator::TakeInjectedFailure(RegCall call, LONG* code) {
  for (auto failure = failures_.begin(); failure != failures_.end(); ++failure) {
    const bool counts =
        failure->call == call || (failure->call == RegCall::kAny && call != RegCall::kCloseKey);
    if (counts && --failure->remaining == 0) {
      *code = failure->code;
      failures_.erase(failure);
      return true;
    }
  }
  return false;
}

template <typename Body>
LONG RegistryEmulator::Run(RegCall call, HKEY key, const CallText& text, REGSAM sam, bool writing,
                           HKEY* clear_on_failure, Body&& body) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (log_calls_) Log({call, key, LogText(text), sam});
  LONG result = kErrorSuccess;
  if (!failures_.empty() && TakeInjectedFailure(call, &result)) {
    if (clear_on_failure != nullptr) *clear_on_failure = 0;
    return result;
  }
  try {
    store_->Begin(writing);
    result = body();
    if (result == kErrorSuccess) {
      store_->Commit();
    } else {
      store_->Rollback();
    }
  } catch (const StoreFailure& failure) {
    try {
      store_->Rollback();
    } catch (const StoreFailure&) {
      // The store is unusable; the call's own failure is what the caller sees.
    }
    result = failure.code;
  }
  if (result != kErrorSuccess && clear_on_failure != nullptr) *clear_on_failure = 0;
  return result;
}

LONG RegistryEmulator::Resolve(HKEY key, REGSAM needed, Resolved* resolved, REGSAM sam) {
  // The performance data are no stored tree: Windows answers them itself.
  if (key == kHkeyPerformanceData) return kErrorInvalidHandle;
  const bool view_32 = RegistryViews::IsThirtyTwoBitView(sam, process_is_32_bit_);
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
  resolved->view_32 = entry.predefined != 0 ? view_32 : entry.view_32;
  return kErrorSuccess;
}

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
                              bool create, KeyId* target, std::u16string* classes_path) {
  if (!path.empty() && path[0] == u'\\') return kErrorBadPathname;
  if (!from.merged) {
    const bool machine_root =
        key == kHkeyLocalMachine ||
        (from.entry != nullptr && from.entry->predefined == kHkeyLocalMachine);
    if (machine_root && RegistryViews::MachinePath(path, from.view_32, &path_scratch_)) {
      return Walk(from.key, path_scratch_, create, target);
    }
    return Walk(from.key, path, create, target);
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
  return Walk(in_user ? user_root : machine_root, stored, true, target);
}

std::optional<SubkeyName> RegistryEmulator::NextMergedSubkey(const Resolved& from,
                                                             const std::u16string* after) {
  // The union of both parts in name order, each name once (the user's).
  std::optional<SubkeyName> first;
  std::u16string redirected;
  const std::u16string& path =
      RegistryViews::ClassesPath(*from.classes_path, from.view_32, &redirected)
          ? redirected
          : *from.classes_path;
  for (const KeyId root :
       {PlaceKey(RegistryViews::UserClasses()), PlaceKey(RegistryViews::Of(kHkeyClassesRoot))}) {
    KeyId part = 0;
    if (root == 0 || Walk(root, path, false, &part) != kErrorSuccess) continue;
    std::optional<SubkeyName> next = store_->NextSubkey(part, after);
    if (next && (!first || next->folded < first->folded)) first = std::move(next);
  }
  return first;
}

LONG RegistryEmulator::Walk(KeyId from, std::u16string_view path, bool create, KeyId* result) {
  if (!path.empty() && path[0] == u'\\') return kErrorBadPathname;
  // A name too long fails the call before anything is created.
  if (!ForEachName(path,
                   [](std::size_t, std::size_t length) { return length <= kMaxKeyNameLength; })) {
    return kErrorInvalidParameter;
  }
  KeyId current = from;
  LONG status = kErrorSuccess;
  bool depth_checked = false;
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
      depth_checked = true;
      next =
          store_->CreateSubkey(current, std::u16string(path.substr(begin, length)), fold_scratch_);
    }
    current = *next;
    return true;
  });
  if (status == kErrorSuccess) *result = current;
  return status;
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

const std::u16string* RegistryEmulator::Text(const CallText& text) {
  if (text.is_wide) {
    if (text.wide == nullptr) return nullptr;
    name_scratch_.assign(text.wide);
  } else {
    if (text.ansi == nullptr) return nullptr;
    CodePage::DecodeInto(code_page_(), text.ansi, &name_scratch_);
  }
  return &name_scratch_;
}

const std::u16string& RegistryEmulator::TextOrEmpty(const CallText& text) {
  if (const std::u16string* found = Text(text)) return *found;
  name_scratch_.clear();
  return name_scratch_;
}

std::string RegistryEmulator::LogText(const CallText& text) const {
  if (!text.is_wide) return text.ansi != nullptr ? text.ansi : "";
  bool used_default = false;
  return text.wide != nullptr ? CodePage::Encode(kCpUtf8, text.wide, '?', &used_default) : "";
}

// String data are kept as Windows keeps them, in UTF-16; the ANSI calls
// convert them in the ANSI code page on the way in and out.
namespace {

// ASCII is the same in every code page: these convert it without a detour.
bool AsciiToUtf16Le(const char* bytes, std::size_t size, std::string* utf16) {
  utf16->assign(size * 2, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
    (*utf16)[2 * i] = bytes[i];
  }
  return true;
}

bool Utf16LeToAscii(const std::string& utf16, std::string* bytes) {
  if (utf16.size() % 2 != 0) return false;
  bytes->resize(utf16.size() / 2);
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    if (utf16[2 * i + 1] != '\0' || static_cast<unsigned char>(utf16[2 * i]) >= 0x80) return false;
    (*bytes)[i] = utf16[2 * i];
  }
  return true;
}

}  // namespace

std::string RegistryEmulator::ToStored(DWORD type, const BYTE* data, DWORD size, bool wide) const {
  const char* bytes = reinterpret_cast<const char*>(data);
  if (data == nullptr) size = 0;
  if (size == 0) return std::string();
  if (wide || !IsStringType(type)) return std::string(bytes, size);
  std::string utf16;
  if (AsciiToUtf16Le(bytes, size, &utf16)) return utf16;
  return UnicodeText::Utf16Le(CodePage::Decode(code_page_(), std::string(bytes, size)));
}

const std::string& RegistryEmulator::ToCaller(const StoredValue& value, bool wide) {
  if (wide || !IsStringType(value.type)) return value.data;
  if (!Utf16LeToAscii(value.data, &caller_scratch_)) {
    caller_scratch_ = Encode(UnicodeText::FromUtf16Le(value.data));
  }
  return caller_scratch_;
}

LONG RegistryEmulator::OpenKeyExCore(HKEY key, const CallText& sub_key, REGSAM sam, HKEY* result) {
  return Run(RegCall::kOpenKeyEx, key, sub_key, sam, false, result, [&] {
    if (result == nullptr || AsksForBothViews(sam)) return kErrorInvalidParameter;
    *result = 0;
    Resolved from;
    if (LONG status = Resolve(key, 0, &from, sam)) return status;
    const std::u16string& path = TextOrEmpty(sub_key);
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

LONG RegistryEmulator::CreateKeyCore(HKEY key, const CallText& sub_key, REGSAM sam, HKEY* result,
                                     DWORD* disposition) {
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
      if (sam != 0 && !Grants(granted, MapGenericRights(sam, 0))) return kErrorAccessDenied;
      *result = NewHandleBelow(from.key, sam == 0 ? granted : MapGenericRights(sam, granted), from,
                               *from.classes_path);
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
    if (LONG status = Locate(key, from, path, true, &target, &classes_path)) return status;
    const REGSAM granted = store_->GrantedRights(target);
    if (sam != 0 && !Grants(granted, MapGenericRights(sam, 0))) return kErrorAccessDenied;
    *result = NewHandleBelow(target, sam == 0 ? granted : MapGenericRights(sam, granted), from,
                             classes_path);
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

LONG RegistryEmulator::SetValueExCore(HKEY key, const CallText& value_name, DWORD type,
                                      const BYTE* data, DWORD size) {
  return Run(RegCall::kSetValueEx, key, value_name, 0, true, nullptr, [&] {
    Resolved from;
    if (LONG status = Resolve(key, kKeySetValue, &from)) return status;
    if (data == nullptr && size > 0) return kErrorInvalidParameter;
    const std::u16string& name = TextOrEmpty(value_name);
    if (name.size() > kMaxValueNameLength) return kErrorInvalidParameter;
    const StoredValue value{name, type, ToStored(type, data, size, value_name.is_wide)};
    NameFolding::FoldInto(name, &value_fold_scratch_);
    store_->SetValue(from.key, value_fold_scratch_, value);
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::QueryValueExCore(HKEY key, const CallText& value_name, DWORD* reserved,
                                        DWORD* type, BYTE* data, DWORD* size) {
  return Run(RegCall::kQueryValueEx, key, value_name, 0, false, nullptr, [&] {
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return kErrorInvalidParameter;
    if (key == kHkeyPerformanceData) {
      // No stored value: the data Windows gathers do not fit any buffer.
      if (size != nullptr) *size = 0;
      return kErrorMoreData;
    }
    Resolved from;
    if (LONG status = Resolve(key, kKeyQueryValue, &from)) return status;
    NameFolding::FoldInto(TextOrEmpty(value_name), &value_fold_scratch_);
    const StoredValue* value = store_->GetValue(from.key, value_fold_scratch_);
    if (value == nullptr) {
      if (type != nullptr) *type = 0;
      return kErrorFileNotFound;
    }
    if (type != nullptr) *type = value->type;
    const std::string& bytes = ToCaller(*value, value_name.is_wide);
    const auto stored = static_cast<DWORD>(bytes.size());
    if (data != nullptr) {
      if (*size < stored) {
        *size = stored;
        return kErrorMoreData;
      }
      std::memcpy(data, bytes.data(), stored);
      TerminateString(value->type, bytes, value_name.is_wide, data, *size);
    }
    if (size != nullptr) *size = stored;
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::DeleteValueCore(HKEY key, const CallText& value_name) {
  return Run(RegCall::kDeleteValue, key, value_name, 0, true, nullptr, [&] {
    Resolved from;
    if (LONG status = Resolve(key, kKeySetValue, &from)) return status;
    NameFolding::FoldInto(TextOrEmpty(value_name), &value_fold_scratch_);
    if (!store_->DeleteValue(from.key, value_fold_scratch_)) {
      return kErrorFileNotFound;
    }
    return kErrorSuccess;
  });
}

const SubkeyName* RegistryEmulator::SubkeyAt(HKEY key, const Resolved& from, DWORD index) {
  // Walking by consecutive indexes costs one step each: the handle remembers
  // where the previous call stopped, as long as the tree has not changed.
  Cursor& cursor = CursorsOf(key, from).subkeys;
  const std::uint64_t generation = store_->Generation();
  if (!cursor.valid || cursor.generation != generation || cursor.index > index) {
    cursor = Cursor{};
  }
  while (!cursor.valid || cursor.index != index) {
    const std::u16string* after = cursor.valid ? &cursor.subkey.folded : nullptr;
    std::optional<SubkeyName> next =
        from.merged ? NextMergedSubkey(from, after) : store_->NextSubkey(from.key, after);
    if (!next) {
      cursor = Cursor{};
      return nullptr;
    }
    const DWORD next_index = cursor.valid ? cursor.index + 1 : 0;
    cursor = Cursor{generation, next_index, std::move(*next), true};
  }
  return &cursor.subkey;
}

const StoredValue* RegistryEmulator::ValueAt(HKEY key, const Resolved& from, DWORD index) {
  // As for subkeys, consecutive indexes cost one step each.
  ValueCursor& cursor = CursorsOf(key, from).values;
  const std::uint64_t generation = store_->Generation();
  if (!cursor.valid || cursor.generation != generation || cursor.index > index) {
    cursor = ValueCursor{};
  }
  while (!cursor.valid || cursor.index != index) {
    std::u16string folded;
    std::optional<StoredValue> next =
        store_->NextValue(from.key, cursor.valid ? &cursor.folded : nullptr, &folded);
    if (!next) {
      cursor = ValueCursor{};
      return nullptr;
    }
    const DWORD next_index = cursor.valid ? cursor.index + 1 : 0;
    cursor = ValueCursor{generation, next_index, std::move(folded), std::move(*next), true};
  }
  return &cursor.value;
}

LONG RegistryEmulator::EnumKey(HKEY key, DWORD index, char* name, DWORD name_size) {
  return Run(RegCall::kEnumKey, key, kNoText, 0, false, nullptr, [&] {
    Resolved from;
    if (LONG status = Resolve(key, kKeyEnumerateSubKeys, &from)) return status;
    const SubkeyName* found = SubkeyAt(key, from, index);
    if (found == nullptr) return kErrorNoMoreItems;
    bool used_default = false;
    CodePage::EncodeInto(code_page_(), found->name, '?', &used_default, &encode_scratch_);
    const std::string& bytes = encode_scratch_;
    if (name == nullptr || bytes.size() + 1 > name_size) return kErrorMoreData;
    std::memcpy(name, bytes.data(), bytes.size());
    name[bytes.size()] = '\0';
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::EnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size) {
  return Run(RegCall::kEnumKey, key, kNoText, 0, false, nullptr, [&] {
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

LONG RegistryEmulator::EnumValueCore(HKEY key, DWORD index, void* name, DWORD* name_size, bool wide,
                                     DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return Run(RegCall::kEnumValue, key, kNoText, 0, false, nullptr, [&] {
    if (name == nullptr || name_size == nullptr || reserved != nullptr ||
        (data != nullptr && data_size == nullptr)) {
      return kErrorInvalidParameter;
    }
    Resolved from;
    if (LONG status = Resolve(key, kKeyQueryValue, &from)) return status;
    const StoredValue* value = ValueAt(key, from, index);
    if (value == nullptr) return kErrorNoMoreItems;
    const std::string& bytes = ToCaller(*value, wide);
    const std::string ansi_name = wide ? std::string() : Encode(value->name);
    const std::size_t name_length = wide ? value->name.size() : ansi_name.size();
    if (name_length + 1 > *name_size) {
      // The data's size is reported all the same.
      if (data_size != nullptr) *data_size = static_cast<DWORD>(bytes.size());
      return kErrorMoreData;
    }
    if (data != nullptr && *data_size < bytes.size()) {
      *data_size = static_cast<DWORD>(bytes.size());
      return kErrorMoreData;
    }
    if (wide) {
      auto* out = static_cast<char16_t*>(name);
      std::memcpy(out, value->name.data(), name_length * sizeof(char16_t));
      out[name_length] = u'\0';
    } else {
      auto* out = static_cast<char*>(name);
      std::memcpy(out, ansi_name.data(), name_length);
      out[name_length] = '\0';
    }
    *name_size = static_cast<DWORD>(name_length);
    if (type != nullptr) *type = value->type;
    if (data != nullptr) {
      std::memcpy(data, bytes.data(), bytes.size());  // NOLINT: size checked above
      TerminateString(value->type, bytes, wide, data, *data_size);
    }
    if (data_size != nullptr) *data_size = static_cast<DWORD>(bytes.size());
    return kErrorSuccess;
  });
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

LONG RegistryEmulator::OpenKeyEx(HKEY key, const char* sub_key, DWORD, REGSAM sam, HKEY* result) {
  return OpenKeyExCore(key, CallText{sub_key, nullptr, false}, sam, result);
}
LONG RegistryEmulator::OpenKeyExW(HKEY key, const char16_t* sub_key, DWORD, REGSAM sam,
                                  HKEY* result) {
  return OpenKeyExCore(key, CallText{nullptr, sub_key, true}, sam, result);
}
LONG RegistryEmulator::CreateKey(HKEY key, const char* sub_key, HKEY* result) {
  return CreateKeyCore(key, CallText{sub_key, nullptr, false}, 0, result, nullptr);
}
LONG RegistryEmulator::CreateKeyExW(HKEY key, const char16_t* sub_key, REGSAM sam, HKEY* result,
                                    DWORD* disposition) {
  return CreateKeyCore(key, CallText{nullptr, sub_key, true}, sam, result, disposition);
}
LONG RegistryEmulator::DeleteKey(HKEY key, const char* sub_key) {
  return DeleteKeyCore(key, CallText{sub_key, nullptr, false});
}
LONG RegistryEmulator::DeleteKeyW(HKEY key, const char16_t* sub_key) {
  return DeleteKeyCore(key, CallText{nullptr, sub_key, true});
}
LONG RegistryEmulator::SetValueEx(HKEY key, const char* value_name, DWORD, DWORD type,
                                  const BYTE* data, DWORD size) {
  return SetValueExCore(key, CallText{value_name, nullptr, false}, type, data, size);
}
LONG RegistryEmulator::SetValueExW(HKEY key, const char16_t* value_name, DWORD, DWORD type,
                                   const BYTE* data, DWORD size) {
  return SetValueExCore(key, CallText{nullptr, value_name, true}, type, data, size);
}
LONG RegistryEmulator::QueryValueEx(HKEY key, const char* value_name, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* size) {
  return QueryValueExCore(key, CallText{value_name, nullptr, false}, reserved, type, data, size);
}
LONG RegistryEmulator::QueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved,
                                     DWORD* type, BYTE* data, DWORD* size) {
  return QueryValueExCore(key, CallText{nullptr, value_name, true}, reserved, type, data, size);
}
LONG RegistryEmulator::DeleteValue(HKEY key, const char* value_name) {
  return DeleteValueCore(key, CallText{value_name, nullptr, false});
}
LONG RegistryEmulator::DeleteValueW(HKEY key, const char16_t* value_name) {
  return DeleteValueCore(key, CallText{nullptr, value_name, true});
}
LONG RegistryEmulator::EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size,
                                 DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return EnumValueCore(key, index, name, name_size, false, reserved, type, data, data_size);
}
LONG RegistryEmulator::EnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size,
                                  DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return EnumValueCore(key, index, name, name_size, true, reserved, type, data, data_size);
}

LONG RegistryEmulator::CloseKey(HKEY key) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Log({RegCall::kCloseKey, key, "", 0});
  if (IsPredefined(key)) return kErrorSuccess;
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

LONG RegistryEmulator::BeginBatch(bool writing) {
  if (!batches_apply_.load(std::memory_order_acquire)) return kErrorSuccess;
  mutex_.lock();
  try {
    store_->BeginBatch(writing);
  } catch (const StoreFailure& failure) {
    mutex_.unlock();
    return failure.code;
  }
  ++batch_depth_;
  return kErrorSuccess;  // the mutex stays held until EndBatch
}

LONG RegistryEmulator::EndBatch(bool commit) {
  if (!batches_apply_.load(std::memory_order_acquire)) return kErrorSuccess;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (batch_depth_ == 0) return kErrorInvalidParameter;
  --batch_depth_;
  LONG result = kErrorSuccess;
  try {
    store_->EndBatch(commit);
  } catch (const StoreFailure& failure) {
    result = failure.code;
  }
  mutex_.unlock();  // the hold taken by BeginBatch
  return result;
}

std::string RegistryEmulator::StoreDiagnosis() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Diagnosis();
}

LONG RegistryEmulator::CheckStore(std::string* report) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Check(report);
}

std::string RegistryEmulator::StoreLocation() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Location();
}

void RegistryEmulator::UseStore(std::unique_ptr<RegistryStore> store) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  store_ = std::move(store);
  batches_apply_.store(store_->HasTransactions(), std::memory_order_release);
  handles_.clear();
  root_cursors_.clear();
  SeedStandardKeys();
}

void RegistryEmulator::Reset() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  store_ = std::make_unique<MemoryStore>();
  batches_apply_.store(false, std::memory_order_release);
  handles_.clear();
  root_cursors_.clear();
  remote_machines_.clear();
  failures_.clear();
  call_log_.clear();
  log_calls_ = false;
  process_is_32_bit_ = default_process_is_32_bit_;
  SeedStandardKeys();
}

void RegistryEmulator::SetComputerName(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  computer_name_ = name;
}

void RegistryEmulator::SetProcessIs32Bit(bool is_32_bit) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  process_is_32_bit_ = is_32_bit;
}

bool RegistryEmulator::ProcessIs32Bit() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return process_is_32_bit_;
}

void RegistryEmulator::DeclareRemoteMachine(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  remote_machines_.push_back(NameFolding::Fold(name));
}

void RegistryEmulator::RestrictRights(const std::u16string& machine, HKEY root,
                                      const std::u16string& path, REGSAM granted) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  try {
    store_->Begin(true);
    KeyId target = 0;
    LONG status = kErrorFileNotFound;
    if (machine.empty() && IsPredefined(root)) {
      Resolved from;
      std::u16string classes_path;
      status = Resolve(root, 0, &from);
      if (status == kErrorSuccess) status = Locate(root, from, path, false, &target, &classes_path);
    } else {
      status = Walk(store_->Root(NameFolding::Fold(machine), root), path, false, &target);
    }
    if (status == kErrorSuccess) store_->SetGrantedRights(target, granted);
    store_->Commit();
  } catch (const StoreFailure&) {
    store_->Rollback();
  }
}

void RegistryEmulator::FailCall(RegCall call, int nth, LONG code) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  failures_.push_back({call, nth, code});
}

void RegistryEmulator::ClearFailures() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  failures_.clear();
}

int RegistryEmulator::PendingFailureCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return static_cast<int>(failures_.size());
}

int RegistryEmulator::OpenHandleCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return static_cast<int>(handles_.size());
}

std::vector<CallRecord> RegistryEmulator::CallLog() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return call_log_;
}

void RegistryEmulator::ClearCallLog() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.clear();
  log_calls_ = true;
}

}  // namespace quorvane::platform::portable
