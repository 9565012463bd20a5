// The text of .reg files, both ways, without touching the registry or the disk.
//
// Two formats: "Windows Registry Editor Version 5.00" (UTF-16LE with a BOM,
// what the Windows tools write; read also as UTF-8), which carries any name
// and any data, and "REGEDIT4" (the ANSI code page), which carries what that
// code page can hold and refuses the rest. Values are held as the wide
// registry calls take them: string types in UTF-16LE, everything else raw.
//
// Nothing is ever changed on the way: a string that the quoted form cannot
// carry (CR, LF, a zero inside, no terminator) is written in the hex form of
// its type, a key name that a .reg file cannot carry (CR, LF) is an error,
// and the reader refuses, line by line, anything it cannot read exactly.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/qv/cli/registry_path.h"

namespace quorvane::qv {

enum class RegFormat { kVersion5, kRegedit4 };

struct RegValue {
  std::u16string name;  // "" for the default value
  std::uint32_t type = 0;
  std::string data;  // as RegSetValueExW takes it
};

class RegText {
 public:
  // The value of a hex digit, or -1.
  [[nodiscard]] static int HexDigit(char16_t unit);
  // UTF-16LE text ending in its zero (added when missing; odd data are left).
  [[nodiscard]] static std::string Terminated(const std::string& utf16);
};

// A tree or a value that cannot be written to a .reg file exactly.
struct RegTextError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace quorvane::qv
