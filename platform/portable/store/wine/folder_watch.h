// Whether anything in a folder may have changed since the last question:
// the Wine store asks before every call, and reads its files' stamps only
// when something happened. It looks at most once a millisecond (a call in
// between hears no), so that a run of calls makes no system call for it;
// where the host cannot watch a folder, every look answers yes.
#pragma once

#include <chrono>
#include <string>

namespace quorvane::platform::portable {

class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // True when an entry of the folder was written, replaced, made or removed
  // since the last look (or the watch began), or when it cannot tell.
  [[nodiscard]] bool Changed();

 private:
  int descriptor_ = -1;
  std::chrono::steady_clock::time_point last_look_{};
};

}  // namespace quorvane::platform::portable
