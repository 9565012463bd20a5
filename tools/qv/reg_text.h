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
#include <istream>
#include <stdexcept>
#include <string>

#include "tools/qv/registry_path.h"

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

class RegWriter {
 public:
  explicit RegWriter(RegFormat format);
  // "[NAME]" after an empty line; NAME is ROOT\Branch.
  void Key(const std::u16string& full_name);
  void Value(const RegValue& value);
  // The whole file, encoded.
  [[nodiscard]] std::string Finish();

 private:
  void Line(const std::u16string& line);
  std::u16string Hex(const std::u16string& left, const std::string& prefix,
                     const std::string& bytes) const;

  RegFormat format_;
  std::u16string key_;
  std::u16string text_;
};

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
