#include <quorvane/settings/self_register_classes.h>

#include <algorithm>
#include <array>
#include <string_view>

#include <quorvane/core/error_object.h>

namespace quorvane {
namespace {

// The key below HKEY_LOCAL_MACHINE that holds an application's section:
// "Software\Quorvane\<AppName>\<Section>". It is built on the stack when it fits,
// as nearly every one does: settings are read often, and a heap allocation
// would be most of what a call adds to the registry calls it makes.
class SettingsBranch {
 public:
  SettingsBranch(const std::u16string& app_name, const std::u16string& section)
      : size_(kPrefix.size() + app_name.size() + 1 + section.size()) {
    char16_t* out = inline_.data();
    if (size_ > inline_.size()) {
      heap_.resize(size_);
      out = heap_.data();
    }
    out = Append(out, kPrefix);
    out = Append(out, app_name);
    *out++ = u'\\';
    Append(out, section);
  }

  [[nodiscard]] std::u16string_view View() const {
    return {size_ > inline_.size() ? heap_.data() : inline_.data(), size_};
  }

 private:
  static constexpr std::u16string_view kPrefix = u"Software\\Quorvane\\";

  static char16_t* Append(char16_t* out, std::u16string_view text) {
    std::copy(text.begin(), text.end(), out);
    return out + text.size();
  }

  std::size_t size_;
  std::array<char16_t, 128> inline_;
  std::u16string heap_;
};

}  // namespace

SelfRegisterClasses::SelfRegisterClasses() : registry_(std::make_unique<Registry>()) {}

SelfRegisterClasses::~SelfRegisterClasses() = default;

void SelfRegisterClasses::QvSaveSetting(const std::u16string& AppName,
                                        const std::u16string& Section, const std::u16string& Key,
                                        const Variant& Setting) {
  const SettingsBranch branch(AppName, Section);
  registry_->CreateKey(kHkeyLocalMachine, branch.View(), u"");
  registry_->SetValue(kHkeyLocalMachine, branch.View(), Key, kRegSz, Setting, u"");
}

Variant SelfRegisterClasses::QvGetSetting(const std::u16string& AppName,
                                          const std::u16string& Section, const std::u16string& Key,
                                          const Variant& Default) {
  Variant result;
  try {
    const SettingsBranch branch(AppName, Section);
    result = registry_->QueryValue(kHkeyLocalMachine, branch.View(), Key, u"");
  } catch (const std::exception&) {
    result = Default;
  }
  // Only empty and empty text have "" for their text form; null and the
  // missing marker, which have none, stay as they are.
  if (result.HasEmptyText()) result = Default;
  return result;
}

}  // namespace quorvane
