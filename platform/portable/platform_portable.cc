// The portable backend: the platform layer answered by our own emulation of the
// Win32 registry, file system, environment and conversions.
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/files/environment_emulator.h>
#include <quorvane/platform/portable/files/file_system_emulator.h>
#include <quorvane/platform/portable/registry/registry_emulator.h>
#include <quorvane/platform/portable/store/memory_store.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/store/wine/wine_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/platform/portable/text/code_page.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include <quorvane/platform/portable/text/number_text.h>

namespace quorvane::platform {
namespace portable {
namespace {

// The per-user folder of the emulated machine: $XDG_DATA_HOME/quorvane, else
// ~/.local/share/quorvane ("" with neither).
std::string DataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    return std::string(xdg) + "/quorvane";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.local/share/quorvane";
  }
  return "";
}

// $QV_REGISTRY, else registry.db in the data folder; ":memory:" keeps the
// registry in memory for the life of the process. With neither a choice nor a
// data folder there is no place to keep it: "" (every call then fails rather
// than keeping writes in memory that the user believes were saved).
std::string RegistryLocation() {
  if (const char* chosen = std::getenv("QV_REGISTRY"); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  const std::string folder = DataFolder();
  if (folder.empty()) return "";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/registry.db";
}

// The host folder of the emulated C: drive: $QV_DRIVE_C, else drive_c in the
// data folder, beside the registry.
std::string DefaultDriveC() {
  if (const char* chosen = std::getenv("QV_DRIVE_C"); chosen != nullptr && *chosen == '/') {
    return chosen;
  }
  const std::string folder = DataFolder();
  return folder.empty() ? "" : folder + "/drive_c";
}

// A 32-bit build is a 32-bit program on 64-bit Windows, as the i686 build of
// the product is; QV_PROCESS_BITS=32 or =64 says otherwise.
bool ProcessIs32Bit() {
  if (const char* bits = std::getenv("QV_PROCESS_BITS"); bits != nullptr) {
    if (std::strcmp(bits, "32") == 0) return true;
    if (std::strcmp(bits, "64") == 0) return false;
  }
  return sizeof(void*) == 4;
}

// The emulated machine: the platform's own state, shared by every caller in the
// process like the real system's. Each part guards itself.
class System {
 public:
  static System& Instance() {
    static System system;
    return system;
  }

  System() {
    // A process that forks keeps its registry usable on both sides.
    ::pthread_atfork([] { Instance().registry.LockForFork(); },
                     [] { Instance().registry.UnlockInParent(); },
                     [] { Instance().registry.RestartInChild(); });
    // QV_ANSI_CODE_PAGE=65001 makes UTF-8 the ANSI code page of a host program.
    if (const char* chosen = std::getenv("QV_ANSI_CODE_PAGE"); chosen != nullptr) {
      const auto requested = static_cast<UINT>(std::strtoul(chosen, nullptr, 10));
      if (CodePage::IsSupported(requested)) code_page = requested;
    }
    const std::string location = RegistryLocation();
    if (location != ":memory:") registry.UseStore(StoreAt(location));
  }

  // The store kept at `location`, as RegistryLocation names it.
  std::unique_ptr<RegistryStore> StoreAt(const std::string& location) const {
    if (location.empty()) {
      return SqliteStore::Unusable(
          kErrorCantOpen,
          "no place for the registry: set QV_REGISTRY to a database file (or :memory: for a "
          "registry that lasts as long as the process), or set XDG_DATA_HOME or HOME");
    }
    if (location == ":memory:") return std::make_unique<MemoryStore>();
    if (location.compare(0, 5, "wine:") == 0)
      return std::make_unique<WineStore>(location.substr(5));
    SqliteStore::Options options;
    options.ansi_code_page = code_page.load();
    // QV_REGISTRY_SYNC=full: every commit synced before it returns.
    const char* sync = std::getenv("QV_REGISTRY_SYNC");
    options.sync_every_commit = sync != nullptr && std::strcmp(sync, "full") == 0;
    return std::make_unique<SqliteStore>(location, options);
  }

  std::atomic<UINT> code_page{kCp1252};
  RegistryEmulator registry{[this] { return code_page.load(); }, ProcessIs32Bit()};
  FileSystemEmulator files{DefaultDriveC()};
  EnvironmentEmulator environment{files.UserTempDirectory()};
};

thread_local DWORD last_error = 0;

std::u16string Text(const char16_t* text) { return text == nullptr ? u"" : text; }

// The buffer protocol of GetWindowsDirectoryA and GetSystemDirectoryA.
UINT CopyDirectory(const std::u16string& path, char* buffer, UINT size) {
  if (path.empty()) return 0;
  bool used_default = false;
  const std::string bytes = CodePage::Encode(System::Instance().code_page.load(), path,
                                             CodePage::Fit::kBest, '?', &used_default);
  if (buffer == nullptr || size < bytes.size() + 1) return static_cast<UINT>(bytes.size() + 1);
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return static_cast<UINT>(bytes.size());
}

}  // namespace

void TestControls::ResetRegistry() { System::Instance().registry.Reset(); }
void TestControls::UseRegistryStore(std::unique_ptr<RegistryStore> store) {
  System::Instance().registry.UseStore(std::move(store));
}
void TestControls::SetComputerName(const std::u16string& name) {
  System::Instance().registry.SetComputerName(name);
}
void TestControls::SetProcessIs32Bit(bool is_32_bit) {
  System::Instance().registry.SetProcessIs32Bit(is_32_bit);
}
bool TestControls::ProcessIs32Bit() { return System::Instance().registry.ProcessIs32Bit(); }
void TestControls::UseManualFlushClock() { System::Instance().registry.UseManualFlushClock(); }
void TestControls::AdvanceFlushClock(int milliseconds) {
  System::Instance().registry.AdvanceFlushClock(milliseconds);
}
void TestControls::DeclareRemoteMachine(const std::u16string& name) {
  System::Instance().registry.DeclareRemoteMachine(name);
}
void TestControls::RestrictRights(HKEY root, const std::u16string& path, REGSAM granted,
                                  const std::u16string& machine) {
  System::Instance().registry.RestrictRights(machine, root, path, granted);
}
void TestControls::FailCall(RegCall call, int nth, LONG code) {
  System::Instance().registry.FailCall(call, nth, code);
}
void TestControls::ClearFailures() { System::Instance().registry.ClearFailures(); }
int TestControls::PendingFailureCount() {
  return System::Instance().registry.PendingFailureCount();
}
int TestControls::OpenHandleCount() { return System::Instance().registry.OpenHandleCount(); }
std::vector<CallRecord> TestControls::CallLog() { return System::Instance().registry.CallLog(); }
void TestControls::ClearCallLog() { System::Instance().registry.ClearCallLog(); }
void TestControls::SetAnsiCodePage(UINT code_page) {
  if (CodePage::IsSupported(code_page)) System::Instance().code_page = code_page;
}
void TestControls::SetDrive(char16_t letter, const std::string& host_directory) {
  System::Instance().files.SetDrive(letter, host_directory);
}
void TestControls::SetWindowsDirectory(const std::u16string& path) {
  System::Instance().files.SetWindowsDirectory(path);
}
void TestControls::SetSystemDirectory(const std::u16string& path) {
  System::Instance().files.SetSystemDirectory(path);
}

}  // namespace portable

using portable::CodePage;
using portable::NumberText;
using portable::System;

LONG RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM sam, HKEY* result) {
  return System::Instance().registry.OpenKeyEx(key, sub_key, options, sam, result);
}
LONG RegConnectRegistryA(const char* machine_name, HKEY key, HKEY* result) {
  return System::Instance().registry.ConnectRegistry(machine_name, key, result);
}
LONG RegCreateKeyA(HKEY key, const char* sub_key, HKEY* result) {
  return System::Instance().registry.CreateKey(key, sub_key, result);
}
LONG RegDeleteKeyA(HKEY key, const char* sub_key) {
  return System::Instance().registry.DeleteKey(key, sub_key);
}
LONG RegSetValueExA(HKEY key, const char* value_name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
  return System::Instance().registry.SetValueEx(key, value_name, reserved, type, data, size);
}
LONG RegQueryValueExA(HKEY key, const char* value_name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
  return System::Instance().registry.QueryValueEx(key, value_name, reserved, type, data, size);
}
LONG RegDeleteValueA(HKEY key, const char* value_name) {
  return System::Instance().registry.DeleteValue(key, value_name);
}
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD name_size) {
  return System::Instance().registry.EnumKey(key, index, name, name_size);
}
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  return System::Instance().registry.EnumValue(key, index, name, name_size, reserved, type, data,
                                               data_size);
}
LONG RegCloseKey(HKEY key) { return System::Instance().registry.CloseKey(key); }
LONG RegFlushKey(HKEY key) { return System::Instance().registry.FlushKey(key); }

LONG RegOpenKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam, HKEY* result) {
  return System::Instance().registry.OpenKeyExW(key, sub_key, options, sam, result);
}
LONG RegCreateKeyExW(HKEY key, const char16_t* sub_key, DWORD, char16_t*, DWORD options, REGSAM sam,
                     const void*, HKEY* result, DWORD* disposition) {
  return System::Instance().registry.CreateKeyExW(key, sub_key, options, sam, result, disposition);
}
LONG RegDeleteKeyW(HKEY key, const char16_t* sub_key) {
  return System::Instance().registry.DeleteKeyW(key, sub_key);
}
LONG RegSetValueExW(HKEY key, const char16_t* value_name, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD size) {
  return System::Instance().registry.SetValueExW(key, value_name, reserved, type, data, size);
}
LONG RegQueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* size) {
  return System::Instance().registry.QueryValueExW(key, value_name, reserved, type, data, size);
}
LONG RegDeleteValueW(HKEY key, const char16_t* value_name) {
  return System::Instance().registry.DeleteValueW(key, value_name);
}
LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved,
                   char16_t*, DWORD*, void*) {
  if (reserved != nullptr) return kErrorInvalidParameter;
  return System::Instance().registry.EnumKeyExW(key, index, name, name_size);
}
LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  return System::Instance().registry.EnumValueW(key, index, name, name_size, reserved, type, data,
                                                data_size);
}

LONG NtQueryKeyName(HKEY key, std::u16string* name) {
  return System::Instance().registry.QueryKeyName(key, name);
}

LONG BeginRegistryBatch(bool writing) { return System::Instance().registry.BeginBatch(writing); }
// The portable registry keeps no hive files (qv reads and writes them with a
// library of its own).
LONG RegSaveKeyExW(HKEY, const char16_t*, DWORD) { return kErrorCallNotImplemented; }
LONG RegLoadKeyW(HKEY, const char16_t*, const char16_t*) { return kErrorCallNotImplemented; }
LONG RegUnLoadKeyW(HKEY, const char16_t*) { return kErrorCallNotImplemented; }
LONG EnableHivePrivileges() { return kErrorCallNotImplemented; }
LONG BeginRegistryScan() { return System::Instance().registry.BeginBatch(false, true); }
LONG EndRegistryBatch(bool commit) { return System::Instance().registry.EndBatch(commit); }
std::string RegistryStoreDiagnosis() { return System::Instance().registry.StoreDiagnosis(); }
std::string RegistryStoreLocation() { return System::Instance().registry.StoreLocation(); }
LONG UseRegistryAt(const std::string& location) {
  System& system = System::Instance();
  system.registry.UseStore(system.StoreAt(location));
  return kErrorSuccess;
}
LONG CheckRegistryStore(std::string* report) {
  return System::Instance().registry.CheckStore(report);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  return portable::CopyDirectory(System::Instance().files.WindowsDirectory(), buffer, size);
}
UINT GetSystemDirectoryA(char* buffer, UINT size) {
  return portable::CopyDirectory(System::Instance().files.SystemDirectory(), buffer, size);
}

FindHandle FindFirstFileW(const char16_t* file_name, FindData* data) {
  DWORD error = 0;
  const FindHandle find =
      System::Instance().files.FindFirst(portable::Text(file_name), data, &error);
  if (find == kInvalidFindHandle) portable::last_error = error;
  return find;
}
BOOL FindNextFileW(FindHandle find, FindData* data) {
  DWORD error = 0;
  if (System::Instance().files.FindNext(find, data, &error)) return 1;
  portable::last_error = error;
  return 0;
}
BOOL FindClose(FindHandle find) { return System::Instance().files.FindClose(find) ? 1 : 0; }
BOOL CreateDirectoryW(const char16_t* path) {
  DWORD error = 0;
  if (System::Instance().files.CreateDirectory(portable::Text(path), &error)) return 1;
  portable::last_error = error;
  return 0;
}
DWORD GetFileAttributesW(const char16_t* path) {
  DWORD error = 0;
  const DWORD attributes = System::Instance().files.GetAttributes(portable::Text(path), &error);
  if (attributes == kInvalidFileAttributes) portable::last_error = error;
  return attributes;
}

DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buffer, DWORD size) {
  const std::optional<std::u16string> value =
      System::Instance().environment.Get(portable::Text(name));
  if (!value) {
    portable::last_error = kErrorEnvVarNotFound;
    return 0;
  }
  if (buffer == nullptr || size < value->size() + 1) return static_cast<DWORD>(value->size() + 1);
  std::memcpy(buffer, value->data(), value->size() * sizeof(char16_t));
  buffer[value->size()] = u'\0';
  return static_cast<DWORD>(value->size());
}

BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value) {
  if (name == nullptr || *name == u'\0') {
    portable::last_error = kErrorInvalidParameter;
    return 0;
  }
  const std::u16string text = portable::Text(value);
  System::Instance().environment.Set(portable::Text(name), value == nullptr ? nullptr : &text);
  return 1;
}

DWORD GetLastError() { return portable::last_error; }

UINT GetACP() { return System::Instance().code_page.load(); }

namespace {

UINT Resolve(UINT code_page) {
  return code_page == kCpAcp ? System::Instance().code_page.load() : code_page;
}

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD, const char* text, int length, char16_t* wide,
                        int wide_length) {
  if (text == nullptr || !CodePage::IsSupported(Resolve(code_page))) {
    portable::last_error = kErrorInvalidParameter;
    return 0;
  }
  const std::size_t byte_count =
      length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
  const std::u16string decoded =
      CodePage::Decode(Resolve(code_page), std::string(text, byte_count));
  if (wide_length == 0) return static_cast<int>(decoded.size());
  if (wide == nullptr || static_cast<std::size_t>(wide_length) < decoded.size()) {
    portable::last_error = kErrorInsufficientBuffer;
    return 0;
  }
  // Like the Win32 call, a counted conversion writes no terminator.
  std::memcpy(wide, decoded.data(), decoded.size() * sizeof(char16_t));  // NOLINT

  return static_cast<int>(decoded.size());
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* wide, int wide_length,
                        char* text, int length, const char* default_char, BOOL* used_default_char) {
  if (wide == nullptr || !CodePage::IsSupported(Resolve(code_page))) {
    portable::last_error = kErrorInvalidParameter;
    return 0;
  }
  // UTF-8 takes no flags but WC_ERR_INVALID_CHARS; Windows-1252 takes best
  // fit unless told not to.
  constexpr DWORD kErrInvalidChars = 0x80;
  if ((Resolve(code_page) == kCpUtf8 && (flags & ~kErrInvalidChars) != 0) ||
      (flags & ~(kWcNoBestFitChars | kErrInvalidChars)) != 0) {
    portable::last_error = kErrorInvalidFlags;
    return 0;
  }
  const CodePage::Fit fit =
      (flags & kWcNoBestFitChars) != 0 ? CodePage::Fit::kExact : CodePage::Fit::kBest;
  std::size_t unit_count = 0;
  if (wide_length < 0) {
    while (wide[unit_count] != 0) ++unit_count;
    ++unit_count;
  } else {
    unit_count = static_cast<std::size_t>(wide_length);
  }
  bool used_default = false;
  const std::string encoded =
      CodePage::Encode(Resolve(code_page), std::u16string(wide, unit_count), fit,
                       default_char != nullptr ? *default_char : '?', &used_default);
  if (used_default_char != nullptr) *used_default_char = used_default ? 1 : 0;
  if (length == 0) return static_cast<int>(encoded.size());
  if (text == nullptr || static_cast<std::size_t>(length) < encoded.size()) {
    portable::last_error = kErrorInsufficientBuffer;
    return 0;
  }
  std::memcpy(text, encoded.data(), encoded.size());  // NOLINT: counted, as above
  return static_cast<int>(encoded.size());
}

HRESULT VarI2FromStr(const char16_t* text, LCID, DWORD, std::int16_t* out) {
  std::int32_t value = 0;
  const HRESULT result = NumberText::ParseInteger(portable::Text(text), 16, &value);
  if (result == kSOk) *out = static_cast<std::int16_t>(value);
  return result;
}

HRESULT VarI4FromStr(const char16_t* text, LCID, DWORD, std::int32_t* out) {
  return NumberText::ParseInteger(portable::Text(text), 32, out);
}

HRESULT VarR8FromStr(const char16_t* text, LCID, DWORD, double* out) {
  return NumberText::ParseDouble(portable::Text(text), out);
}

HRESULT VarBstrFromR8(double value, LCID, DWORD, std::u16string* out) {
  *out = NumberText::FormatDouble(value);
  return kSOk;
}

}  // namespace quorvane::platform
