// The win32 backend: a thin pass-through to the real Win32 API.
// Implementation here must contain only generic Windows code.
#include <windows.h>  // first: the other Windows headers build on it

#include <oleauto.h>

#include <cstdint>
#include <cstring>

#include <quorvane/platform/platform.h>

namespace quorvane::platform {
namespace {

// Predefined roots are negative 32-bit values that Windows sign-extends; other
// handle values are small and fit in 32 bits on both 32- and 64-bit Windows.
::HKEY ToNative(HKEY key) {
  return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(key)));
}

HKEY FromNative(::HKEY key) { return static_cast<HKEY>(reinterpret_cast<std::uintptr_t>(key)); }

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* WideOut(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM sam, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // Wine would write through it
  ::HKEY native = nullptr;
  const LONG status = ::RegOpenKeyExA(ToNative(key), sub_key, options, sam, &native);
  *result = FromNative(native);
  return status;
}

LONG RegConnectRegistryA(const char* machine_name, HKEY key, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // Wine would write through it
  ::HKEY native = nullptr;
  const LONG status = ::RegConnectRegistryA(machine_name, ToNative(key), &native);
  *result = FromNative(native);
  return status;
}

LONG RegCreateKeyA(HKEY key, const char* sub_key, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // Wine would write through it
  ::HKEY native = nullptr;
  const LONG status = ::RegCreateKeyA(ToNative(key), sub_key, &native);
  *result = FromNative(native);
  return status;
}

LONG RegDeleteKeyA(HKEY key, const char* sub_key) {
  return ::RegDeleteKeyA(ToNative(key), sub_key);
}

LONG RegSetValueExA(HKEY key, const char* value_name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
  return ::RegSetValueExA(ToNative(key), value_name, reserved, type, data, size);
}

LONG RegQueryValueExA(HKEY key, const char* value_name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
  return ::RegQueryValueExA(ToNative(key), value_name, reinterpret_cast<LPDWORD>(reserved),
                            reinterpret_cast<LPDWORD>(type), data, reinterpret_cast<LPDWORD>(size));
}

LONG RegDeleteValueA(HKEY key, const char* value_name) {
  return ::RegDeleteValueA(ToNative(key), value_name);
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD name_size) {
  return ::RegEnumKeyA(ToNative(key), index, name, name_size);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  return ::RegEnumValueA(ToNative(key), index, name, reinterpret_cast<LPDWORD>(name_size),
                         reinterpret_cast<LPDWORD>(reserved), reinterpret_cast<LPDWORD>(type), data,
                         reinterpret_cast<LPDWORD>(data_size));
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(ToNative(key)); }

LONG RegFlushKey(HKEY key) { return ::RegFlushKey(ToNative(key)); }

LONG RegOpenKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // Wine would write through it
  ::HKEY native = nullptr;
  const LONG status = ::RegOpenKeyExW(ToNative(key), Wide(sub_key), options, sam, &native);
  *result = FromNative(native);
  return status;
}

LONG RegCreateKeyExW(HKEY key, const char16_t* sub_key, DWORD reserved, char16_t* class_name,
                     DWORD options, REGSAM sam, const void* security, HKEY* result,
                     DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // Wine would write through it
  ::HKEY native = nullptr;
  const LONG status =
      ::RegCreateKeyExW(ToNative(key), Wide(sub_key), reserved, WideOut(class_name), options, sam,
                        static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(security)), &native,
                        reinterpret_cast<LPDWORD>(disposition));
  *result = FromNative(native);
  return status;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* sub_key) {
  return ::RegDeleteKeyW(ToNative(key), Wide(sub_key));
}

LONG RegSetValueExW(HKEY key, const char16_t* value_name, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD size) {
  return ::RegSetValueExW(ToNative(key), Wide(value_name), reserved, type, data, size);
}

LONG RegQueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* size) {
  return ::RegQueryValueExW(ToNative(key), Wide(value_name), reinterpret_cast<LPDWORD>(reserved),
                            reinterpret_cast<LPDWORD>(type), data, reinterpret_cast<LPDWORD>(size));
}

LONG RegDeleteValueW(HKEY key, const char16_t* value_name) {
  return ::RegDeleteValueW(ToNative(key), Wide(value_name));
}

LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved,
                   char16_t* class_name, DWORD* class_size, void* last_write_time) {
  return ::RegEnumKeyExW(ToNative(key), index, WideOut(name), reinterpret_cast<LPDWORD>(name_size),
                         reinterpret_cast<LPDWORD>(reserved), WideOut(class_name),
                         reinterpret_cast<LPDWORD>(class_size),
                         static_cast<FILETIME*>(last_write_time));
}

LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  return ::RegEnumValueW(ToNative(key), index, WideOut(name), reinterpret_cast<LPDWORD>(name_size),
                         reinterpret_cast<LPDWORD>(reserved), reinterpret_cast<LPDWORD>(type), data,
                         reinterpret_cast<LPDWORD>(data_size));
}

LONG NtQueryKeyName(HKEY key, std::u16string* name) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  using NtQueryKeyFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  using NtStatusToErrorFunction = ULONG(WINAPI*)(LONG);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  // Through a function type without arguments, which any function pointer
  // converts to and from without a warning.
  using AnyFunction = void (*)();
  const auto query = reinterpret_cast<NtQueryKeyFunction>(
      reinterpret_cast<AnyFunction>(::GetProcAddress(ntdll, "NtQueryKey")));
  const auto to_error = reinterpret_cast<NtStatusToErrorFunction>(
      reinterpret_cast<AnyFunction>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (query == nullptr || to_error == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  // A predefined key is a pseudo-handle that ntdll does not know: opening it
  // again with an empty path gives a real handle to the key it stands for.
  ::HKEY native = ToNative(key);
  const bool predefined = key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig;
  if (predefined) {
    const LONG opened =
        ::RegCreateKeyExW(native, L"", 0, nullptr, 0, KEY_QUERY_VALUE, nullptr, &native, nullptr);
    if (opened != ERROR_SUCCESS) return opened;
  }
  constexpr int kKeyNameInformation = 3;
  std::string buffer(sizeof(ULONG) + 2048, '\0');
  ULONG needed = 0;
  LONG status = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    status = query(native, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                   &needed);
    if (needed <= buffer.size()) break;
    buffer.resize(needed);
  }
  if (predefined) ::RegCloseKey(native);
  if (status != 0) return static_cast<LONG>(to_error(status));
  ULONG length = 0;
  std::memcpy(&length, buffer.data(), sizeof length);
  name->assign(reinterpret_cast<const char16_t*>(buffer.data() + sizeof length), length / 2);
  return ERROR_SUCCESS;
}

LONG RegSaveKeyExW(HKEY key, const char16_t* file, DWORD flags) {
  return ::RegSaveKeyExW(ToNative(key), Wide(file), nullptr, flags);
}

LONG RegLoadKeyW(HKEY key, const char16_t* sub_key, const char16_t* file) {
  return ::RegLoadKeyW(ToNative(key), Wide(sub_key), Wide(file));
}

LONG RegUnLoadKeyW(HKEY key, const char16_t* sub_key) {
  return ::RegUnLoadKeyW(ToNative(key), Wide(sub_key));
}

LONG EnableHivePrivileges() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return static_cast<LONG>(::GetLastError());
  }
  LONG result = ERROR_SUCCESS;
  for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) ||
        !::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) ||
        ::GetLastError() != ERROR_SUCCESS) {  // ERROR_NOT_ALL_ASSIGNED: not held
      result = static_cast<LONG>(::GetLastError());
    }
  }
  ::CloseHandle(token);
  return result;
}

// The Windows registry keeps its own consistency and reports its own failures.
LONG BeginRegistryBatch(bool) { return ERROR_SUCCESS; }
LONG BeginRegistryScan() { return ERROR_SUCCESS; }
LONG EndRegistryBatch(bool) { return ERROR_SUCCESS; }
std::string RegistryStoreDiagnosis() { return {}; }
std::string RegistryStoreLocation() { return {}; }
LONG UseRegistryAt(const std::string&) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG CheckRegistryStore(std::string* report) {
  if (report == nullptr) return ERROR_INVALID_PARAMETER;
  *report = "the registry is Windows' own, which keeps its files sound itself";
  return ERROR_SUCCESS;
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); }

UINT GetSystemDirectoryA(char* buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); }

namespace {

void CopyFindData(const WIN32_FIND_DATAW& native, FindData* data) {
  data->attributes = native.dwFileAttributes;
  data->file_name = reinterpret_cast<const char16_t*>(native.cFileName);
}

}  // namespace

FindHandle FindFirstFileW(const char16_t* file_name, FindData* data) {
  WIN32_FIND_DATAW native{};
  HANDLE find = ::FindFirstFileW(Wide(file_name), &native);
  if (find == INVALID_HANDLE_VALUE) return kInvalidFindHandle;
  CopyFindData(native, data);
  return reinterpret_cast<FindHandle>(find);
}

BOOL FindNextFileW(FindHandle find, FindData* data) {
  WIN32_FIND_DATAW native{};
  if (!::FindNextFileW(reinterpret_cast<HANDLE>(find), &native)) return FALSE;
  CopyFindData(native, data);
  return TRUE;
}

BOOL FindClose(FindHandle find) { return ::FindClose(reinterpret_cast<HANDLE>(find)); }

BOOL CreateDirectoryW(const char16_t* path) { return ::CreateDirectoryW(Wide(path), nullptr); }

DWORD GetFileAttributesW(const char16_t* path) { return ::GetFileAttributesW(Wide(path)); }

BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value) {
  return ::SetEnvironmentVariableW(Wide(name), Wide(value));
}

DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buffer, DWORD size) {
  return ::GetEnvironmentVariableW(Wide(name), reinterpret_cast<wchar_t*>(buffer), size);
}

DWORD GetLastError() { return ::GetLastError(); }

UINT GetACP() { return ::GetACP(); }

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length, char16_t* wide,
                        int wide_length) {
  return ::MultiByteToWideChar(code_page, flags, text, length, reinterpret_cast<wchar_t*>(wide),
                               wide_length);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* wide, int wide_length,
                        char* text, int length, const char* default_char, BOOL* used_default_char) {
  return ::WideCharToMultiByte(code_page, flags, Wide(wide), wide_length, text, length,
                               default_char, used_default_char);
}

namespace {

// oleaut32 wants a writable OLECHAR string; the text is never changed.
OLECHAR* OleText(const char16_t* text) {
  return const_cast<OLECHAR*>(reinterpret_cast<const OLECHAR*>(text));
}

}  // namespace

HRESULT VarI2FromStr(const char16_t* text, LCID locale, DWORD flags, std::int16_t* out) {
  return ::VarI2FromStr(OleText(text), locale, flags, out);
}

HRESULT VarI4FromStr(const char16_t* text, LCID locale, DWORD flags, std::int32_t* out) {
  ::LONG value = 0;
  HRESULT result = ::VarI4FromStr(OleText(text), locale, flags, &value);
  if (result == S_OK) *out = value;
  return result;
}

HRESULT VarR8FromStr(const char16_t* text, LCID locale, DWORD flags, double* out) {
  return ::VarR8FromStr(OleText(text), locale, flags, out);
}

HRESULT VarBstrFromR8(double value, LCID locale, DWORD flags, std::u16string* out) {
  BSTR text = nullptr;
  HRESULT result = ::VarBstrFromR8(value, locale, flags, &text);
  if (result == S_OK) {
    out->assign(reinterpret_cast<const char16_t*>(text), ::SysStringLen(text));
    ::SysFreeString(text);
  }
  return result;
}

}  // namespace quorvane::platform
