#include "settings/self_register_classes.h"

#include "core/error_object.h"

namespace quorvane {

SelfRegisterClasses::SelfRegisterClasses() : registry_(std::make_unique<Registry>()) {}

SelfRegisterClasses::~SelfRegisterClasses() = default;

std::u16string SelfRegisterClasses::BranchFor(const std::u16string& AppName,
                                              const std::u16string& Section) {
  return u"Software\\Quorvane\\" + AppName + u"\\" + Section;
}

void SelfRegisterClasses::QvSaveSetting(const std::u16string& AppName,
                                        const std::u16string& Section, const std::u16string& Key,
                                        const Variant& Setting) {
  registry_->CreateKey(kHkeyLocalMachine, BranchFor(AppName, Section), u"");
  registry_->SetValue(kHkeyLocalMachine, BranchFor(AppName, Section), Key, kRegSz, Setting, u"");
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
  try {
    if (result.ToText().empty()) result = Default;
  } catch (const ErrorObject&) {
    // No text form (null, the missing marker): the result stays as it is.
  }
  return result;
}

}  // namespace quorvane
