// Registry key names as the tool's user writes them:
//   [\\MACHINE\]ROOT[\Branch], ROOT one of HKLM, HKCU, HKCR, HKU, HKCC
//   or their long forms (HKEY_LOCAL_MACHINE, ...).
#pragma once

#include <cstdint>
#include <string>

#include <quorvane/registry/root_keys.h>

namespace quorvane::qv {

// The registry view flags of the open calls (KEY_WOW64_32KEY, _64KEY).
constexpr std::uint32_t kKeyWow6432Key = 0x0200;
constexpr std::uint32_t kKeyWow6464Key = 0x0100;

struct RegistryPath {
  std::u16string machine;  // "" for this machine
  HKeyValue root = 0;
  std::u16string branch;
  std::uint32_t view = 0;  // 0 for the process's own view

  // Raises UsageError for a name without a known root.
  [[nodiscard]] static RegistryPath Parse(const std::u16string& text);
  [[nodiscard]] static std::u16string RootName(HKeyValue root);
  // ROOT\Branch with the long root name, as .reg files write it.
  [[nodiscard]] std::u16string FullName() const;
};

}  // namespace quorvane::qv
