// A file written in full or not at all: what is written goes to a temporary
// file in the target's folder, which replaces the target only on Commit,
// once every byte is written and synced. Until then, and if anything fails,
// the target holds what it held before.
//
// The target is the name given, in the folder given. A final symbolic link is
// followed only when whoever could have planted it is the user or the system
// (the link and its folder belong to the user or to root, and no one else may
// replace entries in that folder); any other link is refused. A replaced file
// keeps its mode (and, where the user may give it, its owner); a new one gets
// the mode the umask leaves. A target that is no regular file (a device, a
// pipe) is written directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::qv {

class ReplacementFile {
 public:
  // Raises ToolFailure with the system's reason. `path` is UTF-8.
  explicit ReplacementFile(const std::string& path);
  ~ReplacementFile();  // without Commit: the temporary file is removed
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(std::string_view bytes);
  // Syncs and puts the file in place of the target.
  void Commit();

 private:
  std::string path_;       // as given, for messages
  std::string target_;     // the name replaced
  std::string temporary_;  // "" when the target is written directly
  std::intptr_t handle_ = -1;
  bool committed_ = false;
  // What a replaced file had, to be given to the new one.
  std::uint32_t mode_ = 0;
  std::int64_t owner_ = -1;
  std::int64_t group_ = -1;
};

}  // namespace quorvane::qv
