// The portable backend's registry: answers every registry call of the platform
// layer as Windows does, over a RegistryStore. Thread-safe.
//
// One class, its definitions split by concern:
//   registry_emulator.cc             construction, standard keys, batches, the store
//   registry_emulator_handles.cc     handles, predefined roots and their rights
//   registry_emulator_navigation.cc  paths, the views (32-bit redirection, the
//                                    HKCR merge), the depth limit, full names
//   registry_emulator_keys.cc        the key calls
//   registry_emulator_values.cc      the value calls
//   registry_emulator_text.cc        ANSI and wide names, string data's forms
//   registry_emulator_controls.cc    test controls: call log, injected failures
//   registry_emulator_legacy.cc      moving the trees of older registry files
// with what they share in registry_emulator_internal.h.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <quorvane/platform/portable/registry/registry_views.h>
#include <quorvane/platform/portable/store/lazy_flusher.h>
#include <quorvane/platform/portable/store/registry_store.h>
#include <quorvane/platform/portable/test_controls.h>

namespace quorvane::platform::portable {

class RegistryEmulator {
 public:
  using CodePageSource = std::function<UINT()>;

  // `process_is_32_bit`: the process's bitness until a test control changes it.
  RegistryEmulator(CodePageSource code_page, bool process_is_32_bit);
  // Flushes what is still due.
  ~RegistryEmulator();
  RegistryEmulator(const RegistryEmulator&) = delete;
  RegistryEmulator& operator=(const RegistryEmulator&) = delete;

  LONG OpenKeyEx(HKEY key, const char* sub_key, DWORD options, REGSAM sam, HKEY* result);
  LONG ConnectRegistry(const char* machine_name, HKEY key, HKEY* result);
  LONG CreateKey(HKEY key, const char* sub_key, HKEY* result);
  LONG DeleteKey(HKEY key, const char* sub_key);
  LONG SetValueEx(HKEY key, const char* value_name, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD size);
  LONG QueryValueEx(HKEY key, const char* value_name, DWORD* reserved, DWORD* type, BYTE* data,
                    DWORD* size);
  LONG DeleteValue(HKEY key, const char* value_name);
  LONG EnumKey(HKEY key, DWORD index, char* name, DWORD name_size);
  LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved, DWORD* type,
                 BYTE* data, DWORD* data_size);
  LONG CloseKey(HKEY key);
  LONG FlushKey(HKEY key);

  // The wide forms: names in UTF-16, string data as the registry keeps them.
  LONG OpenKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam, HKEY* result);
  // `options`: REG_OPTION_VOLATILE makes the keys it creates volatile.
  LONG CreateKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam, HKEY* result,
                    DWORD* disposition);
  LONG DeleteKeyW(HKEY key, const char16_t* sub_key);
  LONG SetValueExW(HKEY key, const char16_t* value_name, DWORD reserved, DWORD type,
                   const BYTE* data, DWORD size);
  LONG QueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* size);
  LONG DeleteValueW(HKEY key, const char16_t* value_name);
  LONG EnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size);
  LONG EnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved,
                  DWORD* type, BYTE* data, DWORD* data_size);
  // NtQueryKey's KeyNameInformation: "\REGISTRY\Machine\..." or "\REGISTRY\User\...".
  LONG QueryKeyName(HKEY key, std::u16string* name);

  // The calls this thread makes until EndBatch run as one store transaction;
  // other threads wait for it to end. With a store that has no transactions
  // both do nothing (and cost nothing: the library batches every operation).
  // A scan reads without keeping what it read for later calls.
  LONG BeginBatch(bool writing, bool scan = false);
  LONG EndBatch(bool commit);
  [[nodiscard]] std::string StoreDiagnosis();
  [[nodiscard]] std::string StoreLocation();
  LONG CheckStore(std::string* report);

  // Test controls (see test_controls.h).
  void UseStore(std::unique_ptr<RegistryStore> store);
  void Reset();
  void SetComputerName(const std::u16string& name);
  void SetProcessIs32Bit(bool is_32_bit);
  bool ProcessIs32Bit();
  void DeclareRemoteMachine(const std::u16string& name);
  void RestrictRights(const std::u16string& machine, HKEY root, const std::u16string& path,
                      REGSAM granted);
  void FailCall(RegCall call, int nth, LONG code);
  void ClearFailures();
  [[nodiscard]] int PendingFailureCount();
  [[nodiscard]] int OpenHandleCount();
  // Around a fork (pthread_atfork): the registry's locks are held by the
  // forking thread, so that neither process starts with a lock that a thread
  // of the other holds (the lazy flush runs on a thread of its own).
  void LockForFork();
  void UnlockInParent();
  void RestartInChild();
  void UseManualFlushClock();
  void AdvanceFlushClock(int milliseconds);
  [[nodiscard]] std::vector<CallRecord> CallLog();
  void ClearCallLog();

 private:
  struct Cursor {
    std::uint64_t generation = 0;
    DWORD index = 0;
    SubkeyName subkey;
    bool valid = false;
    // Every subkey, once a call asked out of order (and the tree was then
    // as it was at `generation`).
    SubkeyList all;
  };
  struct ValueCursor {
    std::uint64_t generation = 0;
    DWORD index = 0;
    std::u16string folded;
    StoredValue value;
    bool valid = false;
    ValueList all;
  };
  // Where enumeration of a key stopped, so that listing it by consecutive
  // indexes costs one step each; a call at any other index reads the whole
  // list once, and then any index costs one step while nothing changes.
  struct Cursors {
    Cursor subkeys;
    ValueCursor values;
  };
  struct HandleEntry {
    KeyId key = 0;
    REGSAM rights = 0;
    std::u16string machine;
    Cursors cursors;
    HKEY predefined = 0;  // the root a remote connection stands for, else 0
    // A key opened through HKEY_CLASSES_ROOT stays a merged one: its path
    // below the classes roots, and the view it was opened in.
    bool merged = false;
    std::u16string classes_path;
    bool view_32 = false;
  };
  // Names point into the handle entry (or at an empty name for a root), so
  // that resolving a handle copies nothing.
  struct Resolved {
    KeyId key = 0;
    REGSAM rights = 0;
    const std::u16string* machine = nullptr;
    HandleEntry* entry = nullptr;  // null for a predefined root
    bool merged = false;           // as in HandleEntry
    const std::u16string* classes_path = nullptr;
    bool view_32 = false;
  };
  // What a walk that creates makes of the keys it creates: volatile ones
  // lie only below keys of their kind or stable ones, stable ones never below
  // a volatile key (1021).
  enum class NewKeys { kStable, kVolatile };
  struct Failure {
    RegCall call;
    int remaining;
    LONG code;
  };

  // A name as the caller passed it: ANSI bytes or UTF-16, null when missing.
  struct CallText {
    const char* ansi;
    const char16_t* wide;
    bool is_wide;
  };
  static constexpr CallText kNoText{nullptr, nullptr, false};

  // Runs `body` as one call: logged when the log is on, subject to injected
  // failures, inside one store transaction, with store failures turned into
  // their result codes.
  template <typename Body>
  LONG Run(RegCall call, HKEY key, const CallText& text, REGSAM sam, bool writing,
           HKEY* clear_on_failure, Body&& body);
  bool TakeInjectedFailure(RegCall call, LONG* code);
  void Log(const CallRecord& record);

  // The key behind a handle or predefined root (in the view `sam` chooses),
  // after checking that the handle grants `needed` and (then) that its key
  // still exists.
  LONG Resolve(HKEY key, REGSAM needed, Resolved* resolved, REGSAM sam = 0);
  // The stored key at a place of the views; 0 when it is missing.
  KeyId PlaceKey(const RegistryViews::Place& place);
  // Whether `key` is one a predefined key stands for (those are never deleted).
  bool IsViewKey(KeyId key);
  // The key `path` names below `from`: through the view of a predefined root
  // or of a handle below HKLM\Software, and for HKEY_CLASSES_ROOT the user's
  // key over the machine's. Creates what is missing when `create` is set.
  // `classes_path` receives the merged path.
  LONG Locate(HKEY key, const Resolved& from, const std::u16string& path, bool create,
              KeyId* target, std::u16string* classes_path, NewKeys made = NewKeys::kStable);
  // The path of a handle's key below HKEY_LOCAL_MACHINE's root, and that root,
  // when its key lies below HKLM\Software (on this machine or another); false
  // for any other key.
  bool BelowMachineSoftware(KeyId key, const std::u16string& machine, KeyId* machine_root,
                            std::u16string* path);
  // A merged key's two parts: the user's key and the machine's (0 where
  // there is none).
  std::array<KeyId, 2> MergedParts(const Resolved& from);
  // The subkey after `after` of a merged key: the union of both parts.
  std::optional<SubkeyName> NextMergedSubkey(const Resolved& from, const std::u16string* after);
  // A merged key's whole list, the union of both parts' lists in name order
  // (the user's name where both have one), kept for every handle while the
  // registry stays at `generation`.
  SubkeyList MergedSubkeys(const Resolved& from, std::uint64_t generation);
  // Moves what an older registry kept under a separate HKCU, HKCR or HKCC tree
  // to the place the view now leads to. Returns whether there was any.
  bool AdoptSeparateTrees(bool move);
  void MoveTree(KeyId from, KeyId to);

  // The caller's name in UTF-16 (null when missing), in a buffer reused by
  // every call, so that a call needs no allocation for it.
  const std::u16string* Text(const CallText& text);
  const std::u16string& TextOrEmpty(const CallText& text);
  [[nodiscard]] std::string LogText(const CallText& text) const;
  [[nodiscard]] std::string ToStored(DWORD type, const BYTE* data, DWORD size, bool wide) const;
  // The data as the caller reads them: the stored bytes themselves, or their
  // ANSI form in a buffer reused by every call.
  [[nodiscard]] const std::string& ToCaller(const StoredValue& value, bool wide);
  const SubkeyName* SubkeyAt(HKEY key, const Resolved& from, DWORD index);
  const StoredValue* ValueAt(HKEY key, const Resolved& from, DWORD index);

  LONG OpenKeyExCore(HKEY key, const CallText& sub_key, REGSAM sam, HKEY* result);
  LONG CreateKeyCore(HKEY key, const CallText& sub_key, DWORD options, REGSAM sam, HKEY* result,
                     DWORD* disposition);
  LONG DeleteKeyCore(HKEY key, const CallText& sub_key);
  LONG SetValueExCore(HKEY key, const CallText& value_name, DWORD type, const BYTE* data,
                      DWORD size);
  LONG QueryValueExCore(HKEY key, const CallText& value_name, DWORD* reserved, DWORD* type,
                        BYTE* data, DWORD* size);
  LONG DeleteValueCore(HKEY key, const CallText& value_name);
  LONG EnumValueCore(HKEY key, DWORD index, void* name, DWORD* name_size, bool wide,
                     DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size);
  LONG Walk(KeyId from, std::u16string_view path, bool create, KeyId* result,
            NewKeys made = NewKeys::kStable);
  // The key a symbolic link key stands for, itself found by a walk; false
  // for a target that is missing, outside the local machine's two roots, or
  // too many links deep.
  bool FollowLink(KeyId link, KeyId* target);
  // How many levels `key` lies below the root of its tree.
  std::size_t Depth(KeyId key);
  // How many leading names of `path` exist below `from`.
  std::size_t ExistingDepth(KeyId from, std::u16string_view path);
  Cursors& CursorsOf(HKEY key, const Resolved& resolved);
  void SeedStandardKeys();
  // A write committed: the store flushes it lazily where it does not at once.
  void Written();
  void FlushStore();
  // Ends the store's transaction after a failure; a store too broken to do
  // even that answers every later call with its failure anyway.
  void RollbackQuietly();
  HKEY NewHandle(KeyId key, REGSAM rights, const std::u16string& machine);
  // A handle to a key found below `from`, merged when `from` is.
  HKEY NewHandleBelow(KeyId key, REGSAM rights, const Resolved& from,
                      const std::u16string& classes_path);
  std::u16string Decode(const char* text) const;
  std::string Encode(const std::u16string& text) const;

  CodePageSource code_page_;
  std::recursive_mutex mutex_;  // a batch holds it across calls
  int batch_depth_ = 0;
  std::unique_ptr<RegistryStore> store_;
  // Whether store_ has transactions, readable without the mutex.
  std::atomic<bool> batches_apply_{false};
  std::map<HKEY, HandleEntry> handles_;
  // Predefined roots have no handle entry; their cursors are kept here.
  std::map<HKEY, Cursors> root_cursors_;
  // Stored keys of the predefined keys, by key and view; dropped with the store.
  std::map<std::pair<HKEY, const void*>, KeyId> view_keys_;
  // Merged lists by the keys of their two parts (0: a part that is missing),
  // all of one generation; a few dozen at most.
  struct MergedLists {
    std::uint64_t generation = 0;
    std::map<std::pair<KeyId, KeyId>, SubkeyList> lists;
  };
  MergedLists merged_lists_;
  HKEY next_handle_ = 0x100;
  std::u16string computer_name_;
  bool process_is_32_bit_;
  const bool default_process_is_32_bit_;
  std::vector<std::u16string> remote_machines_;  // folded
  bool batch_writes_ = false;                    // the outermost batch takes the write lock
  // After the store, so that it stops (running a flush that is due) first.
  LazyFlusher flusher_;
  std::vector<Failure> failures_;
  bool log_calls_ = false;  // from the first ClearCallLog on
  std::vector<CallRecord> call_log_;
  // Reused by every call (under the mutex), so that calls do not allocate.
  std::u16string name_scratch_;
  std::u16string fold_scratch_;
  std::u16string value_fold_scratch_;
  std::u16string path_scratch_;
  int links_followed_ = 0;  // in the walk that runs
  std::string encode_scratch_;
  std::string caller_scratch_;
};

}  // namespace quorvane::platform::portable
