// A note beside a registry file of the state its bytes were last known sound
// in: after a whole-file check found nothing wrong, or after a checkpoint of
// this store moved pages of its own log into a file known sound. A process
// about to write skips the whole-file check while the file is as the note
// says (device, inode, size, and modification and change times): nothing
// but a checkpoint of ours has written it since. A copy, a byte changed by
// another program, a restored backup or a checkpoint of an older version
// leaves the note behind, and the next writer checks the whole file again.
//
// What the note cannot see is damage that bypasses the file system (a
// failing disk); pages read are checked as they are read, and
// `qv reg check` checks the whole file.
#pragma once

#include <string>

namespace quorvane::platform::portable {

class SoundFileMark {
 public:
  explicit SoundFileMark(std::string database_path);

  // The file's state as the note records it; "" where it cannot be read.
  [[nodiscard]] std::string StateNow() const;
  // Whether the note records `state` (never for "").
  [[nodiscard]] bool Records(const std::string& state) const;
  // Records `state`, replacing the note whole; nothing where the folder
  // cannot be written (the next writer then checks again).
  void Record(const std::string& state) const;

 private:
  std::string database_path_;
  std::string mark_path_;
};

}  // namespace quorvane::platform::portable
