// An SQLite VFS for crash tests: a shim over the default one that keeps, for
// the database and its write-ahead log, the bytes a power cut would leave (what
// was last synced), and can make writes fail as on a full disk.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace quorvane::testing_support {

class PowerCutVfs {
 public:
  static constexpr const char* kName = "qv-power-cut";

  // Registers the VFS (once) and forgets what earlier tests left.
  static PowerCutVfs& Install();

  // Called after every sync of a tracked file.
  std::function<void()> on_sync;
  // Nonzero: writes to tracked files fail with this SQLite code.
  int failing_writes = 0;

  // File name to the bytes that survive a power cut now.
  [[nodiscard]] std::map<std::string, std::string> Durable() const;
  // Writes those bytes under `directory` (same base names); returns the path
  // of the database there.
  [[nodiscard]] std::string RestoreAfterPowerCut(const std::string& database,
                                                 const std::string& directory) const;

  struct Shadow {
    std::string current;
    std::string durable;
  };
  std::map<std::string, Shadow> shadows;
  int syncs = 0;
};

}  // namespace quorvane::testing_support
