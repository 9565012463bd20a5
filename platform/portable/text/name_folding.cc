#include <quorvane/platform/portable/text/name_folding.h>

#include <quorvane/platform/portable/text/upper_case_table.h>

namespace quorvane::platform::portable {

char16_t NameFolding::UpperCase(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit;
  return UpperCaseTable::Of(unit);
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
