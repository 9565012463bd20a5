// The text of Wine's registry files (system.reg, user.reg, userdef.reg):
// strings with Wine's escapes, and value lines, written as Wine 8 writes
// them and read as it reads them.
//
// A string is ASCII: "\\" for a backslash, "\" before the characters the
// place escapes (the quote in a value, the brackets in a key path); \a \b \t
// \n \v \f \r \e for those controls and other controls in octal (three
// digits where an octal digit follows); units past 127 as \x and their hex
// digits (four where a hex digit follows). A value line is `@` or the quoted
// name, `=`, then a properly terminated string as "text", str(2):"text" or
// str(7):"text" for the other string types, a four-byte REG_DWORD as
// dword:%08x, and anything else as hex: (REG_BINARY) or hex(N): bytes, a
// line broken after the comma past column 76 and continued two blanks in.
#pragma once

#include <cstddef>
#include <string>

#include <quorvane/platform/portable/store/registry_store.h>

namespace quorvane::platform::portable {

class WineText {
 public:
  // `text` with Wine's escapes; `also` lists the characters escaped here
  // besides the backslash.
  [[nodiscard]] static std::string Escape(const std::u16string& text, const char* also);
  // Reads an escaped string from `line` at `*at` up to `end` (which is not
  // read); false on a string that ends before `end` or a broken escape.
  static bool Unescape(const std::string& line, std::size_t* at, char end, std::u16string* text);

  // The value's line or lines as Wine writes them, each ending in '\n'.
  [[nodiscard]] static std::string ValueLines(const StoredValue& value);
  // Reads a value line whose continuation lines are joined to it (the
  // backslash, line end and leading blanks removed); false, with what is
  // wrong in `error`, on a line Wine would not read either.
  static bool ParseValue(const std::string& line, StoredValue* value, std::string* error);
};

}  // namespace quorvane::platform::portable
