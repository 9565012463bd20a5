// The platform layer: one function for each Win32 call the library makes, with
// the same arguments and result codes. The win32 backend passes them through to
// advapi32, kernel32 and oleaut32; the portable backend answers them itself.
#pragma once

#include <string>

#include <quorvane/platform/win_types.h>

namespace quorvane::platform {

// Registry (advapi32).
[[nodiscard]] LONG RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM sam,
                                 HKEY* result);
[[nodiscard]] LONG RegConnectRegistryA(const char* machine_name, HKEY key, HKEY* result);
[[nodiscard]] LONG RegCreateKeyA(HKEY key, const char* sub_key, HKEY* result);
[[nodiscard]] LONG RegDeleteKeyA(HKEY key, const char* sub_key);
[[nodiscard]] LONG RegSetValueExA(HKEY key, const char* value_name, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD size);
[[nodiscard]] LONG RegQueryValueExA(HKEY key, const char* value_name, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* size);
[[nodiscard]] LONG RegDeleteValueA(HKEY key, const char* value_name);
[[nodiscard]] LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD name_size);
// Values by index, for tools that copy whole trees (the library itself reads
// values by name). Sizes in and out as RegEnumValueA: name without its zero.
[[nodiscard]] LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size,
                                 DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size);
LONG RegCloseKey(HKEY key);
// Makes every change written through the key's registry durable before it
// returns (writes otherwise reach the disk lazily, as Windows writes hives).
[[nodiscard]] LONG RegFlushKey(HKEY key);

// The wide forms, for tools that must carry any name and text: names in
// UTF-16, sizes of names in characters, string data in UTF-16 as the
// registry keeps them. An ANSI and a wide view of one key agree.
[[nodiscard]] LONG RegOpenKeyExW(HKEY key, const char16_t* sub_key, DWORD options, REGSAM sam,
                                 HKEY* result);
// Class, options and security are not used: pass null and 0.
[[nodiscard]] LONG RegCreateKeyExW(HKEY key, const char16_t* sub_key, DWORD reserved,
                                   char16_t* class_name, DWORD options, REGSAM sam,
                                   const void* security, HKEY* result, DWORD* disposition);
[[nodiscard]] LONG RegDeleteKeyW(HKEY key, const char16_t* sub_key);
[[nodiscard]] LONG RegSetValueExW(HKEY key, const char16_t* value_name, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD size);
[[nodiscard]] LONG RegQueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved,
                                    DWORD* type, BYTE* data, DWORD* size);
[[nodiscard]] LONG RegDeleteValueW(HKEY key, const char16_t* value_name);
// Class and last-write time are not reported: pass null.
[[nodiscard]] LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size,
                                 DWORD* reserved, char16_t* class_name, DWORD* class_size,
                                 void* last_write_time);
[[nodiscard]] LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size,
                                 DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size);

// Hive files (advapi32), for tools: a key and its tree saved to a new file
// (REG_LATEST_FORMAT is 2), and a hive loaded as a key of HKLM or HKU and
// unloaded again. They need the backup and restore privileges, which
// EnableHivePrivileges turns on where the process holds them. The portable
// registry has no hive files of its own: 120 (not implemented).
[[nodiscard]] LONG RegSaveKeyExW(HKEY key, const char16_t* file, DWORD flags);
[[nodiscard]] LONG RegLoadKeyW(HKEY key, const char16_t* sub_key, const char16_t* file);
[[nodiscard]] LONG RegUnLoadKeyW(HKEY key, const char16_t* sub_key);
[[nodiscard]] LONG EnableHivePrivileges();

// A key's full name in the registry's own namespace, as ntdll's NtQueryKey
// gives it (KeyNameInformation): "\REGISTRY\Machine\Software\X",
// "\REGISTRY\User\<SID>\...". Predefined keys and views resolve to the keys
// they stand for, so two handles reach one key exactly when their names are
// equal without regard to case. A key of another machine has none: 6.
[[nodiscard]] LONG NtQueryKeyName(HKEY key, std::u16string* name);

// Beyond the Win32 calls, for tools that work on whole trees. Where the
// registry is a database of ours (the portable backend), the registry calls
// this thread makes between BeginRegistryBatch and EndRegistryBatch are one
// transaction: a consistent snapshot for readers, all or nothing for writers.
// Elsewhere they do nothing and succeed.
[[nodiscard]] LONG BeginRegistryBatch(bool writing);
// A batch that only reads, for a walk that reads each key once (an export, a
// comparison): nothing it reads is kept for later calls, so that memory stays
// small whatever the tree's size. Ended by EndRegistryBatch.
[[nodiscard]] LONG BeginRegistryScan();
LONG EndRegistryBatch(bool commit);
// A sentence on why the registry's store last failed, naming its file ("" when
// there is nothing to add to the result code).
[[nodiscard]] std::string RegistryStoreDiagnosis();
// The file the registry is kept in ("" when it is not one of ours).
[[nodiscard]] std::string RegistryStoreLocation();
// Makes the registry the one kept at `location` (named as QV_REGISTRY names
// it: a database file, ":memory:" or "wine:PREFIX"), closing every open key:
// for a tool that copies between registries. ERROR_CALL_NOT_IMPLEMENTED
// (120) where the registry is the system's own.
[[nodiscard]] LONG UseRegistryAt(const std::string& location);
// Checks the whole registry file where it is one of ours: 0 when it is sound,
// 1009 when it is damaged, else what kept the check from looking; `report`
// says what was found, in words.
[[nodiscard]] LONG CheckRegistryStore(std::string* report);

// System directories (kernel32): the size needed with its zero when the buffer
// is too small, else the length written; 0 on failure.
[[nodiscard]] UINT GetWindowsDirectoryA(char* buffer, UINT size);
[[nodiscard]] UINT GetSystemDirectoryA(char* buffer, UINT size);

// File system and environment (kernel32, wide functions).
using FindHandle = std::intptr_t;
constexpr FindHandle kInvalidFindHandle = -1;

struct FindData {
  DWORD attributes = 0;
  std::u16string file_name;
};

[[nodiscard]] FindHandle FindFirstFileW(const char16_t* file_name, FindData* data);
[[nodiscard]] BOOL FindNextFileW(FindHandle find, FindData* data);
BOOL FindClose(FindHandle find);
[[nodiscard]] BOOL CreateDirectoryW(const char16_t* path);
[[nodiscard]] DWORD GetFileAttributesW(const char16_t* path);
[[nodiscard]] DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buffer, DWORD size);
// A null value removes the variable.
BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value);
[[nodiscard]] DWORD GetLastError();

// Code pages (kernel32). Same contracts as the Win32 functions. The flags
// taken: WideCharToMultiByte's WC_NO_BEST_FIT_CHARS (not for UTF-8); else 0.
[[nodiscard]] UINT GetACP();
[[nodiscard]] int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length,
                                      char16_t* wide, int wide_length);
[[nodiscard]] int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* wide,
                                      int wide_length, char* text, int length,
                                      const char* default_char, BOOL* used_default_char);

// Locale-aware number conversions (oleaut32), in the user's locale.
[[nodiscard]] HRESULT VarI2FromStr(const char16_t* text, LCID locale, DWORD flags,
                                   std::int16_t* out);
[[nodiscard]] HRESULT VarI4FromStr(const char16_t* text, LCID locale, DWORD flags,
                                   std::int32_t* out);
[[nodiscard]] HRESULT VarR8FromStr(const char16_t* text, LCID locale, DWORD flags, double* out);
[[nodiscard]] HRESULT VarBstrFromR8(double value, LCID locale, DWORD flags, std::u16string* out);

}  // namespace quorvane::platform
