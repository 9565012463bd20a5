// Registry trees to and from .reg files, and the tool's other work on whole
// keys, through the wide registry calls so that any name and text is carried.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <quorvane/platform/win_types.h>
#include "tools/qv/cli/registry_path.h"
#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

// The registry calls of a scope as one transaction where the platform has
// them (a consistent snapshot for readers); rolled back unless committed.
class RegistryBatch {
 public:
  // A batch that writes syncs what it wrote before Commit returns (a tool
  // reports success only once its writes are on the disk): through the
  // registry of `written`, a root key, on Windows, where each hive flushes on
  // its own; the portable registry flushes whole.
  explicit RegistryBatch(bool writing, platform::HKEY written = kHkeyLocalMachine);
  // A snapshot for a walk that reads each key once: the registry keeps
  // nothing of it for later calls.
  struct Scan {};
  explicit RegistryBatch(Scan);
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;
  // Another root key this batch writes below.
  void Wrote(platform::HKEY root);
  void Commit();

 private:
  bool open_ = true;
  bool writing_;
  std::vector<platform::HKEY> written_;
};

class RegFile {
 public:
  // Writes `path` and everything below it, read as one consistent snapshot,
  // to `file_name`, replacing it only once the whole file is written and
  // synced. Returns the number of keys.
  static int Export(const RegistryPath& path, const std::string& file_name, RegFormat format);

  struct ImportResult {
    int values = 0;
    std::vector<std::string> skipped;  // messages of bad lines left out
  };
  // Checks the whole file first; with any bad line it applies nothing and
  // raises ToolFailure listing them all, unless `skip_bad_lines`. Then applies
  // it, read again through the same descriptor, as one transaction: creates
  // keys, writes values, "[-KEY]" deletes a tree and "NAME"=- a value. A file
  // written to between or during the passes is not applied at all.
  // `between_passes` runs after the check (tests use it to interfere).
  static ImportResult Import(const std::string& file_name, const std::u16string& machine,
                             std::uint32_t view, bool skip_bad_lines,
                             const std::function<void()>& between_passes = {});
  // Raises the registry's error when `key` cannot be opened (2 when missing).
  static void RequireKey(const RegistryPath& key);
  // Creates `key` with every missing level.
  static void CreateKey(const RegistryPath& key);
  static void DeleteValue(const RegistryPath& key, const std::u16string& name);
  // Writes one value with exactly the bytes given.
  static void WriteValue(const RegistryPath& key, const RegValue& value);
  // Creates `key` with every missing level and writes the values into it.
  static void WriteValues(const RegistryPath& key, const std::vector<RegValue>& values);
  [[nodiscard]] static bool KeyExists(const RegistryPath& key);
  [[nodiscard]] static bool ValueExists(const RegistryPath& key, const std::u16string& name);
  // A key's values in the registry's order, with the bytes the ANSI calls give.
  [[nodiscard]] static std::vector<RegValue> Values(const RegistryPath& key);
  // Deletes every value of a key.
  static void DeleteValues(const RegistryPath& key);
  // The names of a key's subkeys, read as one snapshot; any failure raises.
  [[nodiscard]] static std::vector<std::u16string> SubkeyNames(const RegistryPath& key);
  // Deletes `path` with every key below it; a key already gone is no error.
  static void DeleteTree(const RegistryPath& path);
  // The registry's own database (and its companions) is never written by a
  // command: ToolFailure when `file_name` is one of them.
  static void RefuseOwnDatabase(const std::string& file_name);
};

}  // namespace quorvane::qv
