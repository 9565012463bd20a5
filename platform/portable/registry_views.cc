#include "platform/portable/registry_views.h"

#include "platform/portable/name_folding.h"

namespace quorvane::platform::portable {
namespace {

constexpr const char16_t* kMachineClasses = u"Software\\Classes";
constexpr const char16_t* kMachineClasses32 = u"Software\\Classes\\Wow6432Node";
constexpr const char16_t* kUserClasses = u"S-1-5-21-0-0-0-1000\\Software\\Classes";
constexpr const char16_t* kCurrentConfig = u"System\\CurrentControlSet\\Hardware Profiles\\Current";

// The first name of a key path from `from` (doubled separators skipped), and
// where it ends.
std::u16string_view FirstComponent(std::u16string_view path, std::size_t from, std::size_t* end) {
  while (from < path.size() && path[from] == u'\\') ++from;
  std::size_t stop = path.find(u'\\', from);
  if (stop == std::u16string_view::npos) stop = path.size();
  *end = stop;
  return path.substr(from, stop - from);
}

}  // namespace

RegistryViews::Place RegistryViews::Of(HKEY predefined, bool view_32) {
  switch (predefined) {
    case kHkeyClassesRoot:
      return {kHkeyLocalMachine, view_32 ? kMachineClasses32 : kMachineClasses};
    case kHkeyCurrentUser:
      return {kHkeyUsers, kUserSid};
    case kHkeyCurrentConfig:
      return {kHkeyLocalMachine, kCurrentConfig};
    default:
      return {predefined, u""};
  }
}

RegistryViews::Place RegistryViews::UserClasses() { return {kHkeyUsers, kUserClasses}; }

bool RegistryViews::IsThirtyTwoBitView(REGSAM sam, bool process_is_32_bit) {
  constexpr REGSAM kWow64_64Key = 0x0100;
  constexpr REGSAM kWow64_32Key = 0x0200;
  return (sam & kWow64_32Key) != 0 || ((sam & kWow64_64Key) == 0 && process_is_32_bit);
}

bool RegistryViews::MachinePath(std::u16string_view path, bool view_32, std::u16string* stored) {
  std::size_t first_end = 0;
  if (!NameFolding::FoldsTo(FirstComponent(path, 0, &first_end), u"SOFTWARE")) return false;
  std::size_t second_end = 0;
  const std::u16string_view second = FirstComponent(path, first_end, &second_end);
  std::size_t third_end = 0;
  const std::u16string_view third = FirstComponent(path, second_end, &third_end);
  if (NameFolding::FoldsTo(second, u"WOW6432NODE")) {
    // Software\Wow6432Node\Classes is another name of the 32-bit classes, in
    // either view.
    if (!NameFolding::FoldsTo(third, u"CLASSES")) return false;
    stored->assign(kMachineClasses32).append(path.substr(third_end));
    return true;
  }
  if (!view_32) return false;
  if (NameFolding::FoldsTo(second, u"CLASSES")) {
    if (NameFolding::FoldsTo(third, u"WOW6432NODE")) return false;
    stored->assign(kMachineClasses32).append(path.substr(second_end));
    return true;
  }
  stored->assign(path.substr(0, first_end)).append(u"\\Wow6432Node").append(path.substr(first_end));
  return true;
}

const RegistryViews::Place* RegistryViews::StandardKeys(std::size_t* count) {
  static constexpr Place kStandardKeys[] = {
      {kHkeyLocalMachine, kMachineClasses},
      {kHkeyLocalMachine, kMachineClasses32},
      {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes"},
      {kHkeyLocalMachine, kCurrentConfig},
      {kHkeyUsers, u".DEFAULT"},
      {kHkeyUsers, kUserClasses},
  };
  *count = sizeof kStandardKeys / sizeof kStandardKeys[0];
  return kStandardKeys;
}

}  // namespace quorvane::platform::portable
