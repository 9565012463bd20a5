#include "settings/self_register_classes.h"

#include <string_view>

#include "core/error_object.h"

namespace quorvane {

SelfRegisterClasses::SelfRegisterClasses() : registry_(std::make_unique<Registry>()) {}

SelfRegisterClasses::~SelfRegisterClasses() = default;

std::u16string SelfRegisterClasses::BranchFor(const std::u16string& AppName,
                                              const std::u16string& Section) {
  static constexpr std::u16string_view kPrefix = u"Software\\Quorvane\\";
  std::u16string branch;
  branch.reserve(kPrefix.size() + AppName.size() + 1 + Section.size());
  return branch.append(kPrefix).append(AppName).append(1, u'\\').append(Section);
}

void SelfRegisterClasses::QvSaveSetting(const std::u16string& AppName,
                                        const std::u16string& Section, const std::u16string& Key,
                                        const Variant& Setting) {
  const std::u16string branch = BranchFor(AppName, Section);
  registry_->CreateKey(kHkeyLocalMachine, branch, u"");
  registry_->SetValue(kHkeyLocalMachine, branch, Key, kRegSz, Setting, u"");
}

Variant SelfRegisterClasses::QvGetSetting(const std::u16string& AppName,
                                          const std::u16string& Section, const std::u16string& Key,
                                          const Variant& Default) {
  Variant result;
  try {
    result = registry_->QueryValue(kHkeyLocalMachine, BranchFor(AppName, Section), Key, u"");
  } catch (const std::exception&) {
    result = Default;
  }
  // Only empty and empty text have "" for their text form; null and the
  // missing marker, which have none, stay as they are.
  if (result.HasEmptyText()) result = Default;
  return result;
}

}  // namespace quorvane
