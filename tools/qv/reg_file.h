// Registry trees in the .reg text format of REGEDIT4 (ANSI), so that a tree can
// move to and from a Windows machine's registry editor.
#pragma once

#include <string>

#include "tools/qv/registry_path.h"

namespace quorvane::qv {

class RegFile {
 public:
  // Writes `path` and everything below it; returns the number of keys.
  static int Export(const RegistryPath& path, const std::string& file_name);
  // Applies a file: creates keys and writes values, "[-KEY]" deletes a tree
  // and "NAME"=- a value. Returns the number of values written.
  static int Import(const std::string& file_name, const std::u16string& machine);
  // Deletes `path` with every key below it; a key already gone is no error.
  static void DeleteTree(const RegistryPath& path);
};

}  // namespace quorvane::qv
