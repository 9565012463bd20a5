// The .reg reader: a .reg file of either format read back into keys and
// values (see reg_text.h), as a stream.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "tools/qv/reg_text.h"

namespace quorvane::qv {

struct RegEntry {
  enum class Kind { kKey, kDeleteKey, kValue, kDeleteValue };
  Kind kind = Kind::kKey;
  int line = 0;  // where it starts, from 1
  RegistryPath key;
  RegValue value;
};

// Reads a .reg file as a stream: memory stays a small multiple of its longest
// line, which may hold at most kMaxLineUnits characters.
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
  bool PhysicalLine(std::u16string* line);
  void Parse(const std::u16string& text, RegEntry* entry);
  [[nodiscard]] std::string TypedHex(std::uint32_t type, const std::string& bytes) const;

  std::istream& in_;
  Encoding encoding_ = Encoding::kAnsi;
  RegFormat format_ = RegFormat::kRegedit4;
  int line_number_ = 0;
  bool have_key_ = false;
  bool key_deleted_ = false;
  RegistryPath key_;
};

}  // namespace quorvane::qv
