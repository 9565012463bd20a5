#include <quorvane/platform/portable/store/wine/folder_watch.h>

#include <unistd.h>

#include <cstdint>

#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace quorvane::platform::portable {

namespace {

constexpr std::chrono::milliseconds kBetweenLooks{1};

}  // namespace

FolderWatch::FolderWatch([[maybe_unused]] const std::string& folder) {
#ifdef __linux__
  descriptor_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor_ < 0) return;
  constexpr std::uint32_t kEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                    IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                                    IN_MOVE_SELF;
  if (::inotify_add_watch(descriptor_, folder.c_str(), kEvents) < 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
#endif
}

FolderWatch::~FolderWatch() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool FolderWatch::Changed() {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_look_ < kBetweenLooks) return false;
  last_look_ = now;
  if (descriptor_ < 0) return true;
  // Every event waiting is read; any at all (an overflow among them) is a
  // change.
  alignas(8) char events[4096];
  bool changed = false;
  while (::read(descriptor_, events, sizeof events) > 0) changed = true;
  return changed;
}

}  // namespace quorvane::platform::portable
