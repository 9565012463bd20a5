#include "platform/portable/name_folding.h"

namespace quorvane::platform::portable {
char16_t NameFolding::UpperCase(char16_t unit) {
  if (unit >= u'a' && unit <= u'z') return unit - 0x20;
  if (unit < 0x80) return unit;
  if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return unit - 0x20;  // Latin-1
  if (unit == 0xFF) return 0x178;
  if (unit >= 0x100 && unit <= 0x17F && unit != 0x131 && unit != 0x138 && unit != 0x149) {
    // Latin Extended-A pairs: even upper, odd lower, except the 0x139-0x148 and
    // 0x179-0x17E runs, which pair odd upper with even lower.
    const bool odd_upper = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
    const bool is_lower = odd_upper ? (unit % 2 == 0) : (unit % 2 == 1);
    return is_lower ? unit - 1 : unit;
  }
  if (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) return unit - 0x20;  // Greek
  if (unit >= 0x430 && unit <= 0x44F) return unit - 0x20;                   // Cyrillic
  if (unit >= 0x450 && unit <= 0x45F) return unit - 0x50;
  return unit;
}

std::u16string NameFolding::Fold(const std::u16string& name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = UpperCase(unit);
  return folded;
}

void NameFolding::FoldInto(std::u16string_view name, std::u16string* folded) {
  folded->resize(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) (*folded)[i] = UpperCase(name[i]);
}

bool NameFolding::FoldsTo(std::u16string_view name, std::u16string_view folded) {
  if (name.size() != folded.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (UpperCase(name[i]) != folded[i]) return false;
  }
  return true;
}

}  // namespace quorvane::platform::portable
