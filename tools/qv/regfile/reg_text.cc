#include "tools/qv/regfile/reg_text.h"

#include "tools/qv/regfile/reg_text_internal.h"

namespace quorvane::qv {

int RegText::HexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return -1;
}

std::string RegText::Terminated(const std::string& utf16) {
  const std::size_t size = utf16.size();
  if (size % 2 != 0) return utf16;  // no whole characters to end
  if (size >= 2 && utf16[size - 1] == '\0' && utf16[size - 2] == '\0') return utf16;
  return utf16 + std::string(2, '\0');
}

}  // namespace quorvane::qv
