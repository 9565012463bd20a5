// What the .reg reader and writer share: type codes, the two headers, and
// text for messages. Not for use outside reg_text.cc, reg_reader.cc and
// reg_writer.cc.
#pragma once

#include <cstdint>
#include <string>

#include "tools/qv/cli/cli.h"

namespace quorvane::qv {

inline constexpr std::uint32_t kRegSzType = 1;
inline constexpr std::uint32_t kRegExpandSzType = 2;
inline constexpr std::uint32_t kRegBinaryType = 3;
inline constexpr std::uint32_t kRegDwordType = 4;
inline constexpr std::uint32_t kRegMultiSzType = 7;

inline constexpr char16_t kVersion5Header[] = u"Windows Registry Editor Version 5.00";
inline constexpr char16_t kRegedit4Header[] = u"REGEDIT4";

inline bool IsStringType(std::uint32_t type) {
  return type == kRegSzType || type == kRegExpandSzType || type == kRegMultiSzType;
}

inline std::string Narrow(const std::u16string& text) { return Cli::Utf8(text); }

}  // namespace quorvane::qv
