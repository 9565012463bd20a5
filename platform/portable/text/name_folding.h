// Registry names compare without regard to case, through the system's
// upper-case table (upper_case_table.h), and sort by their upper-case form,
// as Windows compares them.
#pragma once

#include <string>
#include <string_view>

namespace quorvane::platform::portable {

class NameFolding {
 public:
  [[nodiscard]] static std::u16string Fold(const std::u16string& name);
  // Folds into `folded`, reusing its storage.
  static void FoldInto(std::u16string_view name, std::u16string* folded);
  [[nodiscard]] static char16_t UpperCase(char16_t unit);
  // Whether `name` folds to `folded`.
  [[nodiscard]] static bool FoldsTo(std::u16string_view name, std::u16string_view folded);
  [[nodiscard]] static bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return Fold(a) == Fold(b);
  }
};

}  // namespace quorvane::platform::portable
