// SelfRegisterClasses: per-application settings with defaults, kept as string
// values below HKEY_LOCAL_MACHINE\Software\Quorvane\<AppName>\<Section>.
#pragma once

#include <memory>
#include <string>

#include <quorvane/core/variant.h>
#include <quorvane/registry/registry.h>

namespace quorvane {

class SelfRegisterClasses {
 public:
  SelfRegisterClasses();
  ~SelfRegisterClasses();
  SelfRegisterClasses(const SelfRegisterClasses&) = delete;
  SelfRegisterClasses& operator=(const SelfRegisterClasses&) = delete;

  // Stores Setting's text as a REG_SZ value named Key, creating the keys it
  // needs. Registry errors reach the caller unchanged (for example
  // "The registry key could not be written." when HKEY_LOCAL_MACHINE refuses
  // writing); a Setting without a text form raises 94 after the keys exist.
  void QvSaveSetting(const std::u16string& AppName, const std::u16string& Section,
                     const std::u16string& Key, const Variant& Setting);

  // The stored text, or Default when there is none or it is empty. Never
  // raises. An omitted Default answers the missing-argument marker itself.
  [[nodiscard]] Variant QvGetSetting(const std::u16string& AppName, const std::u16string& Section,
                                     const std::u16string& Key,
                                     const Variant& Default = Variant::Missing());

 private:
  std::unique_ptr<Registry> registry_;
};

}  // namespace quorvane
