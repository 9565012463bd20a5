// Registry trees to and from hive files: the regf format of Windows' own
// registry files and of what reg.exe saves. The format is read by hivex
// and written by HiveWriter; this side walks the trees.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/qv/cli/registry_path.h"
#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

class HiveFile {
 public:
  // A key of a hive: its path below the hive's root ("" for the root) and
  // its values, exactly.
  struct Key {
    std::u16string below;
    std::vector<RegValue> values;
  };
  // Whether this build reads and writes hive files at all.
  [[nodiscard]] static bool Available();
  // Writes `path` and its tree, read as one snapshot, to `file_name` as a
  // new hive; the file is replaced only once the hive is whole and synced.
  // Returns the number of keys.
  static int Save(const RegistryPath& path, const std::string& file_name);
  // Replaces the values and subkeys of `path` (which must exist) with the
  // hive's root and tree, as one transaction, applied as the file is read:
  // a damaged hive, a cycle, a tree deeper than the registry allows or a name
  // over a limit met on the way undoes it, so that nothing changes. Returns
  // the number of keys.
  static int Restore(const RegistryPath& path, const std::string& file_name);
  // Loads a hive as HKLM\NAME or HKU\NAME (which must not exist): its tree
  // appears there for every process that uses the registry, kept in the
  // registry's own store (so a write to it is as durable as any other), and
  // the file is noted in HKLM\SYSTEM\CurrentControlSet\Control\hivelist,
  // as Windows notes its loaded hives. The file itself is left alone until
  // Unload, which writes the tree back to it (whole, synced, in place) and
  // then removes the key and the note. A crash while a hive is loaded loses
  // nothing: the key and its note stay, and a later Unload writes the file.
  static int Load(const RegistryPath& path, const std::string& file_name);
  static int Unload(const RegistryPath& path);
  // The path of a key `below` (as Key::below has it) the key `top`.
  [[nodiscard]] static RegistryPath Below(const RegistryPath& top, const std::u16string& below);
  // Each key of the hive in turn, each before its subkeys, holding one key
  // at a time; ToolFailure (ending in `consequence`) where the file turns
  // out not to be a sound hive, or holds keys more than `deepest` levels
  // below its root, after the keys before that point.
  static void ForEach(const std::string& file_name, const std::string& consequence,
                      const std::function<void(Key&&)>& visit, int deepest);
  // The whole hive, each key before its subkeys, checked whole.
  [[nodiscard]] static std::vector<Key> Read(const std::string& file_name,
                                             const std::string& consequence);
};

}  // namespace quorvane::qv
