// Registry names compare without regard to case, beyond ASCII too, and sort by
// their upper-case form, as Windows compares them.
#pragma once

#include <string>

namespace quorvane::platform::portable {

class NameFolding {
 public:
  [[nodiscard]] static std::u16string Fold(const std::u16string& name);
  [[nodiscard]] static bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return Fold(a) == Fold(b);
  }
};

}  // namespace quorvane::platform::portable
