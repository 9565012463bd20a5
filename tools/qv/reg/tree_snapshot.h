// Registry trees as snapshots to compare: a key and its tree as the
// registry holds them now, or as a hive file or a .reg file saved them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/qv/cli/registry_path.h"
#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

class TreeSnapshot {
 public:
  struct Key {
    std::u16string below;  // the path below the top as written, "" for the top
    std::vector<RegValue> values;
  };

  // `top` and its tree (only `top` itself without `whole_tree`).
  [[nodiscard]] static TreeSnapshot OfKey(const RegistryPath& top, bool whole_tree);
  // A hive file (by its first bytes) or a .reg file; the top of a .reg file
  // is its first key. ToolFailure when it cannot be read.
  [[nodiscard]] static TreeSnapshot OfFile(const std::string& file_name);

  // The name the output shows for the top.
  [[nodiscard]] const std::u16string& TopName() const { return top_name_; }
  // Keys by their path below the top, compared as the registry compares
  // names (case does not count), each key before its subkeys.
  [[nodiscard]] const std::map<std::u16string, Key>& Keys() const { return keys_; }

  // The path as keys are compared: "\" sorts before every other unit, so
  // that a key comes right before its subkeys.
  [[nodiscard]] static std::u16string Folded(const std::u16string& below);

 private:
  void Add(Key key);

  std::u16string top_name_;
  std::map<std::u16string, Key> keys_;
};

}  // namespace quorvane::qv
