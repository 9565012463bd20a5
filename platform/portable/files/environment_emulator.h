// The portable backend's process environment: the host's environment as a
// Windows program sees it (names without regard to case), with the variables
// Windows gives every process and the program's own changes kept beside it,
// so that the host's environment itself is never altered.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace quorvane::platform::portable {

class EnvironmentEmulator {
 public:
  // TEMP and TMP name `temporary_folder` when the host sets neither ("" for
  // no such folder).
  explicit EnvironmentEmulator(const std::u16string& temporary_folder);

  [[nodiscard]] std::optional<std::u16string> Get(const std::u16string& name);
  // A null value removes the variable.
  void Set(const std::u16string& name, const std::u16string* value);

 private:
  std::mutex mutex_;
  // By folded name: the value the program set, or nullopt for one it removed.
  std::map<std::u16string, std::optional<std::u16string>> changes_;
};

}  // namespace quorvane::platform::portable
