// The .reg writer: keys and values as the lines of a .reg file of either
// format (see reg_text.h), or RegTextError for what the format cannot carry.
#pragma once

#include <string>

#include "tools/qv/reg_text.h"

namespace quorvane::qv {

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

}  // namespace quorvane::qv
