// The .reg reader: a .reg file of either format read back into keys and
// values (see reg_text.h), as a stream.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

struct RegEntry {
  enum class Kind { kKey, kDeleteKey, kValue, kDeleteValue };
  Kind kind = Kind::kKey;
  int line = 0;  // where it starts, from 1
  RegistryPath key;
  RegValue value;
};

// Reads a .reg file as a stream, each line once: time grows with the file's
// size, and memory stays a small multiple of its longest value, whose
// (continued) line may hold at most kMaxLineUnits characters. Reads what
// Windows' editors read: comments after a key or a value (";"), comment
// lines ("#" too) and blank lines, also inside a continued hex list, blanks
// after "dword:", lines ended by CR LF, LF or CR alone, a key line ending in
// one "\", and either header in either encoding.
class RegReader {
 public:
  static constexpr std::size_t kMaxLineUnits = std::size_t{32} << 20;

  // Reads the header; raises RegTextError when the stream is no .reg file.
  explicit RegReader(std::istream& in);
  [[nodiscard]] RegFormat Format() const { return format_; }

  // The next entry, or false at the end. A line that cannot be read exactly
  // gives its message in `*error` (and true); reading goes on after it.
  bool Next(RegEntry* entry, std::string* error);

 private:
  enum class Encoding { kUtf16, kUtf8, kAnsi };
  // The next unit of the file (a byte, or a UTF-16 unit), or -1 at its end.
  int NextUnit();
  bool PhysicalLine(std::u16string* line);
  void Parse(const std::u16string& text, RegEntry* entry);
  [[nodiscard]] std::string TypedHex(std::uint32_t type, const std::string& bytes) const;

  std::istream& in_;
  Encoding encoding_ = Encoding::kAnsi;
  RegFormat format_ = RegFormat::kRegedit4;
  int line_number_ = 0;
  int pending_unit_ = -2;    // a unit read ahead after a CR, -2 for none
  std::string line_bytes_;   // reused for every line
  std::u16string physical_;  // reused for every line
  std::u16string logical_;   // reused for every logical line
  bool have_key_ = false;
  bool key_deleted_ = false;
  RegistryPath key_;
};

}  // namespace quorvane::qv
