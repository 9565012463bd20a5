// What the parts of the portable registry (the registry_emulator*.cc files)
// share: the limits Windows keeps, the rules for names, rights and string
// data, and the one way every call runs. Not for use outside those files.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include <quorvane/platform/portable/registry/registry_emulator.h>

namespace quorvane::platform::portable {

inline constexpr std::size_t kMaxKeyNameLength = 255;
// Windows keeps a key at most 512 levels below the root of its tree (HKLM or
// HKU); its kernel refuses a deeper key as a shortage of resources.
inline constexpr std::size_t kMaxTreeDepth = 512;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr REGSAM kSpecificRights = 0xFFFFu;
inline const std::u16string kNoName;

// No address in the first 64 KiB is ever valid on Windows, which answers a
// call given one with 998 rather than reading or writing there.
inline bool InFirst64KiB(const void* pointer) {
  return pointer != nullptr && reinterpret_cast<std::uintptr_t>(pointer) < 0x10000;
}
template <typename... Pointers>
inline bool AnyInFirst64KiB(const Pointers*... pointers) {
  return (InFirst64KiB(pointers) || ...);
}

inline bool IsPredefined(HKEY key) { return key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig; }

inline bool IsStringType(DWORD type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Windows only lets these roots be opened on another machine.
inline bool IsRemoteRoot(HKEY key) {
  return key == kHkeyLocalMachine || key == kHkeyUsers || key == kHkeyPerformanceData;
}

// Whether a key path names no key at all: empty, or separators only.
inline bool NamesNoKey(const std::u16string& path) {
  return path.find_first_not_of(u'\\') == std::u16string::npos;
}

// Calls `visit(begin, length)` for each name of a key path; doubled and
// trailing separators are ignored. Stops early when `visit` returns false.
template <typename Visit>
inline bool ForEachName(std::u16string_view path, Visit visit) {
  std::size_t begin = 0;
  while (begin < path.size()) {
    std::size_t end = path.find(u'\\', begin);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > begin && !visit(begin, end - begin)) return false;
    begin = end + 1;
  }
  return true;
}

inline std::size_t NameCount(std::u16string_view path) {
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
inline void TerminateString(DWORD type, const std::string& bytes, bool wide, BYTE* data,
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
inline constexpr REGSAM kMaximumAllowed = 0x02000000u;

inline REGSAM MapGenericRights(REGSAM asked, REGSAM granted) {
  constexpr REGSAM kGenericRead = 0x80000000u;
  constexpr REGSAM kGenericWrite = 0x40000000u;
  constexpr REGSAM kGenericExecute = 0x20000000u;
  constexpr REGSAM kGenericAll = 0x10000000u;
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
inline bool AsksForBothViews(REGSAM sam) {
  constexpr REGSAM kViewFlags = 0x0300u;
  return (sam & kViewFlags) == kViewFlags;
}

// Rights that name a right (not MAXIMUM_ALLOWED or generic bits) must all be granted.
inline bool Grants(REGSAM granted, REGSAM asked) {
  const REGSAM named = asked & (kSpecificRights | 0x001F0000u);
  return (named & ~granted) == 0;
}

// Runs `body` as one call: logged when the log is on, subject to injected
// failures, inside one store transaction, with store failures turned into
// their result codes.
template <typename Body>
LONG RegistryEmulator::Run(RegCall call, HKEY key, const CallText& text, REGSAM sam, bool writing,
                           HKEY* clear_on_failure, Body&& body) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (AnyInFirst64KiB(text.ansi, text.wide, clear_on_failure)) return kErrorNoAccess;
  if (log_calls_) Log({call, key, LogText(text), sam});
  LONG result = kErrorSuccess;
  if (!failures_.empty() && TakeInjectedFailure(call, &result)) {
    if (clear_on_failure != nullptr) *clear_on_failure = 0;
    return result;
  }
  // A call that found the store changed under what its image had answered
  // runs once more; the second time nothing is answered from the image.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      store_->Begin(writing);
      result = body();
      if (result == kErrorSuccess) {
        store_->Commit();
        if (writing && batch_depth_ == 0) Written();
      } else {
        store_->Rollback();
      }
      break;
    } catch (const ImageOutdated&) {
      RollbackQuietly();
      result = kErrorBusy;  // stands only if the second attempt met it too
    } catch (const StoreFailure& failure) {
      RollbackQuietly();
      result = failure.code;
      break;
    }
  }
  if (result != kErrorSuccess && clear_on_failure != nullptr) *clear_on_failure = 0;
  return result;
}

}  // namespace quorvane::platform::portable
