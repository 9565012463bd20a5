// The .reg writer: keys and values as the lines of a .reg file of either
// format (see reg_text.h), or RegTextError for what the format cannot carry.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

class RegWriter {
 public:
  // The file's bytes go to `sink` as they are made, in pieces of some tens of
  // kilobytes, so that memory stays small whatever the tree's size.
  using Sink = std::function<void(std::string_view bytes)>;
  RegWriter(RegFormat format, Sink sink);
  // "[NAME]" after an empty line; NAME is ROOT\Branch.
  void Key(const std::u16string& full_name);
  void Value(const RegValue& value);
  // "[-NAME]": the key and its tree deleted on import.
  void DeleteKey(const std::u16string& full_name);
  // "NAME"=- below the last key: the value deleted on import.
  void DeleteValue(const std::u16string& name);
  // The end of the file; what is left goes to the sink.
  void Finish();
  // The whole file as bytes, for a tree built in memory.
  [[nodiscard]] static std::string Whole(RegFormat format,
                                         const std::function<void(RegWriter&)>& write);

 private:
  void CheckKeyName(const std::u16string& full_name) const;
  void CheckValueName(const std::u16string& name) const;
  void Line(const std::u16string& line);
  // Hands what is pending to the sink once there is enough of it (or all of
  // it with `all`).
  void Drain(bool all);
  std::u16string Hex(const std::u16string& left, const std::string& prefix,
                     const std::string& bytes) const;

  RegFormat format_;
  Sink sink_;
  std::u16string key_;
  std::u16string text_;  // lines not yet given to the sink
  std::string bytes_;    // reused for each piece
};

}  // namespace quorvane::qv
