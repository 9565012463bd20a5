// How many writes our processes have made to a prefix's files: a number in
// memory shared through a small file of ours beside them, which every
// process maps. A writer adds one after each write it commits, so that any
// other process sees that write at its next call without a system call.
// Where the file cannot be mapped the count stays 0 and tells nothing.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane::platform::portable {

class SharedWriteCount {
 public:
  explicit SharedWriteCount(const std::string& file);
  ~SharedWriteCount();
  SharedWriteCount(const SharedWriteCount&) = delete;
  SharedWriteCount& operator=(const SharedWriteCount&) = delete;

  [[nodiscard]] std::uint64_t Now() const;
  void Add();

 private:
  std::uint64_t* count_ = nullptr;  // in the shared mapping
  bool writable_ = false;
};

}  // namespace quorvane::platform::portable
