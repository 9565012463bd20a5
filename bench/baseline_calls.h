// The bare platform calls that each registry and settings operation makes,
// with the same arguments: the baseline the benchmarks measure the library
// against, on either backend.
#pragma once

#include <string>

#include <quorvane/platform/platform.h>

namespace quorvane::bench {

namespace p = platform;

constexpr p::REGSAM kOpenBranchRights = 0x3F;

inline void CreateKeyCalls(p::HKEY root_key, const char* branch) {
  p::HKEY root = 0;
  p::HKEY created = 0;
  (void)p::RegOpenKeyExA(root_key, "", 0, kOpenBranchRights, &root);
  (void)p::RegCreateKeyA(root, branch, &created);
  p::RegCloseKey(created);
  p::RegCloseKey(root);
}

inline void DeleteKeyCalls(p::HKEY root_key, const char* branch) {
  p::HKEY root = 0;
  (void)p::RegOpenKeyExA(root_key, "", 0, kOpenBranchRights, &root);
  (void)p::RegDeleteKeyA(root, branch);
  p::RegCloseKey(root);
}

// A REG_SZ value as SetValue writes it: the text and one zero byte.
inline void SetStringCalls(p::HKEY root_key, const char* branch, const char* name,
                           const std::string& text) {
  p::HKEY key = 0;
  (void)p::RegOpenKeyExA(root_key, branch, 0, kOpenBranchRights, &key);
  (void)p::RegSetValueExA(key, name, 0, p::kRegSz, reinterpret_cast<const p::BYTE*>(text.c_str()),
                          static_cast<p::DWORD>(text.size() + 1));
  p::RegCloseKey(key);
}

inline void DeleteValueCalls(p::HKEY root_key, const char* branch, const char* name) {
  p::HKEY key = 0;
  (void)p::RegOpenKeyExA(root_key, branch, 0, kOpenBranchRights, &key);
  (void)p::RegDeleteValueA(key, name);
  p::RegCloseKey(key);
}

// QueryValue of a string: the type and size first, then the data.
inline void QueryStringCalls(p::HKEY root_key, const char* branch, const char* name) {
  p::HKEY key = 0;
  p::DWORD type = 0;
  p::DWORD size = 0;
  char buffer[256];
  (void)p::RegOpenKeyExA(root_key, branch, 0, p::kKeyQueryValue, &key);
  (void)p::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  size = sizeof buffer;
  (void)p::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<p::BYTE*>(buffer), &size);
  p::RegCloseKey(key);
}

inline void QueryTypeCalls(p::HKEY root_key, const char* branch, const char* name) {
  p::HKEY key = 0;
  p::DWORD type = 0;
  p::DWORD size = 0;
  (void)p::RegOpenKeyExA(root_key, branch, 0, p::kKeyRead, &key);
  (void)p::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  p::RegCloseKey(key);
}

inline void EnumerateCalls(p::HKEY root_key, const char* branch) {
  p::HKEY key = 0;
  char name[300];
  (void)p::RegOpenKeyExA(root_key, branch, 0, p::kKeyRead, &key);
  for (p::DWORD index = 0; p::RegEnumKeyA(key, index, name, sizeof name) == 0; ++index) {
  }
  p::RegCloseKey(key);
}

}  // namespace quorvane::bench
