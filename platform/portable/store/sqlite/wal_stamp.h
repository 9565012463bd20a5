// Tells, without a system call, whether any process has committed to an
// SQLite database in WAL mode since an earlier look. Every connection to such
// a database maps its WAL-index (the "-shm" file beside it); the index's
// header counts the changes to it (SQLite's documented WAL-index format):
// every commit and every restart of the log moves the counter, the frame
// count or the salts.
#pragma once

#include <cstdint>

struct sqlite3;

namespace quorvane::platform::portable {

class WalStamp {
 public:
  struct Value {
    std::uint32_t change = 0;  // iChange: moved by every header write
    std::uint32_t frames = 0;  // mxFrame: the last committed frame
    std::uint32_t salt1 = 0;   // the salts: new with every restart of the log
    std::uint32_t salt2 = 0;
    bool operator==(const Value& other) const {
      return change == other.change && frames == other.frames && salt1 == other.salt1 &&
             salt2 == other.salt2;
    }
    bool operator!=(const Value& other) const { return !(*this == other); }
  };

  // Finds the index of `db`'s main database, which must be in WAL mode with
  // its index already open (after its first transaction). False when it has
  // none that other processes share; then Read must not be called.
  bool Attach(sqlite3* db);
  // For a file that cannot change while it is open: every Read is the same.
  void AttachUnchanging() { unchanging_ = true; }
  [[nodiscard]] bool Attached() const { return header_ != nullptr || unchanging_; }
  [[nodiscard]] Value Read() const;

 private:
  const volatile std::uint32_t* header_ = nullptr;
  bool unchanging_ = false;
};

}  // namespace quorvane::platform::portable
