// Registry key names as the tool's user writes them:
//   [\\MACHINE\]ROOT[\Branch], ROOT one of HKLM, HKCU, HKCR, HKU, HKCC
//   or their long forms (HKEY_LOCAL_MACHINE, ...).
#pragma once

#include <string>

#include "registry/root_keys.h"

namespace quorvane::qv {

struct RegistryPath {
  std::u16string machine;  // "" for this machine
  HKeyValue root = 0;
  std::u16string branch;

  // Raises UsageError for a name without a known root.
  [[nodiscard]] static RegistryPath Parse(const std::u16string& text);
  [[nodiscard]] static std::u16string RootName(HKeyValue root);
  // ROOT\Branch with the long root name, as .reg files write it.
  [[nodiscard]] std::u16string FullName() const;
};

}  // namespace quorvane::qv
