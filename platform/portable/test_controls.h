// Test support of the portable backend: controls that a test (or a host's own
// unit tests) uses to shape what the platform answers. The library never uses
// them. Only available when the portable backend is built.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <quorvane/platform/win_types.h>

namespace quorvane::platform::portable {

// The registry calls, for failure injection and the call log.
enum class RegCall {
  kAny,  // any registry call but RegCloseKey
  kOpenKeyEx,
  kConnectRegistry,
  kCreateKey,
  kDeleteKey,
  kSetValueEx,
  kQueryValueEx,
  kDeleteValue,
  kEnumKey,
  kEnumValue,
  kCloseKey,
  kQueryKeyName,  // NtQueryKeyName
  kFlushKey,
};

struct CallRecord {
  RegCall call;
  HKEY key;              // the key handle the call was made on
  std::string argument;  // sub key, value or machine name as passed (ANSI bytes)
  REGSAM sam;  // rights asked for by an open or create (RegCreateKeyA: MAXIMUM_ALLOWED), else 0
};

class RegistryStore;

class TestControls {
 public:
  // Replaces the registry with an empty in-memory one and forgets handles,
  // remote machines, injected failures and the call log; the process's
  // bitness goes back to its default.
  static void ResetRegistry();
  // Puts the registry on another store (for example a database file).
  static void UseRegistryStore(std::unique_ptr<RegistryStore> store);

  // The name RegConnectRegistryA treats as this machine.
  static void SetComputerName(const std::u16string& name);
  // Makes the emulated process a 32-bit one on 64-bit Windows: its default
  // registry view is then the 32-bit one (HKLM\Software\X is found at
  // HKLM\Software\Wow6432Node\X), as the i686 build gets on real Windows.
  static void SetProcessIs32Bit(bool is_32_bit);
  // Whether the emulated process is a 32-bit one: by default when the program
  // is built for 32 bits or QV_PROCESS_BITS=32 says so.
  [[nodiscard]] static bool ProcessIs32Bit();
  // A machine RegConnectRegistryA can reach, with registry trees of its own.
  static void DeclareRemoteMachine(const std::u16string& name);
  // The rights a key grants to an open (the key must exist); `machine` empty
  // for the local registry. Opening with more gives 5.
  static void RestrictRights(HKEY root, const std::u16string& path, REGSAM granted,
                             const std::u16string& machine = u"");
  // The `nth` call (from 1, counted from now) of `call` fails with `code`
  // without doing anything.
  static void FailCall(RegCall call, int nth, LONG code);
  static void ClearFailures();
  // Injected failures that have not happened yet.
  [[nodiscard]] static int PendingFailureCount();
  // Key handles open now, predefined roots not counted.
  [[nodiscard]] static int OpenHandleCount();
  // The registry calls made since the last ClearCallLog (the most recent
  // thousands). Nothing is recorded before the first ClearCallLog, so that
  // the log costs nothing when no test reads it.
  [[nodiscard]] static std::vector<CallRecord> CallLog();
  static void ClearCallLog();

  // The lazy flush of a registry database (a sync at most a second after a
  // write returned) on a clock that moves only when advanced; AdvanceFlushClock
  // returns once the flushes then due have run.
  static void UseManualFlushClock();
  static void AdvanceFlushClock(int milliseconds);

  // The ANSI code page: 1252 (default) or 65001.
  static void SetAnsiCodePage(UINT code_page);

  // File system: drive letter to host directory ("" removes the drive).
  static void SetDrive(char16_t letter, const std::string& host_directory);
  // What GetWindowsDirectoryA and GetSystemDirectoryA answer ("" for failure).
  static void SetWindowsDirectory(const std::u16string& path);
  static void SetSystemDirectory(const std::u16string& path);
};

}  // namespace quorvane::platform::portable
