#include <quorvane/platform/portable/store/wine/shared_write_count.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::platform::portable {

SharedWriteCount::SharedWriteCount(const std::string& file) {
  int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  writable_ = descriptor >= 0;
  if (descriptor < 0) descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return;
  struct stat status {};
  if (::fstat(descriptor, &status) == 0 && status.st_size < static_cast<off_t>(sizeof *count_) &&
      writable_) {
    // Made longer, never shorter: a process that grows it beside another
    // grows it to the same length, and the bytes it adds are zero.
    (void)::ftruncate(descriptor, sizeof *count_);
    (void)::fstat(descriptor, &status);
  }
  if (status.st_size >= static_cast<off_t>(sizeof *count_)) {
    void* mapped = ::mmap(nullptr, sizeof *count_, writable_ ? PROT_READ | PROT_WRITE : PROT_READ,
                          MAP_SHARED, descriptor, 0);
    if (mapped != MAP_FAILED) count_ = static_cast<std::uint64_t*>(mapped);
  }
  ::close(descriptor);  // the mapping stays
}

SharedWriteCount::~SharedWriteCount() {
  if (count_ != nullptr) ::munmap(count_, sizeof *count_);
}

std::uint64_t SharedWriteCount::Now() const {
  return count_ == nullptr ? 0 : __atomic_load_n(count_, __ATOMIC_ACQUIRE);
}

void SharedWriteCount::Add() {
  if (count_ != nullptr && writable_) __atomic_add_fetch(count_, 1, __ATOMIC_RELEASE);
}

}  // namespace quorvane::platform::portable
