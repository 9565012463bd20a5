// A file read through one descriptor, from its start as often as needed: a
// check pass and an apply pass read the same file even when its name is
// given to another file in between, and Unchanged tells whether anything was
// written to it since it was opened.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

namespace quorvane::qv {

class InputFile {
 public:
  // Raises ToolFailure when `path` (UTF-8) is missing, no regular file, or
  // cannot be read.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  [[nodiscard]] std::istream& Stream() { return stream_; }
  // Back to the first byte, through the same descriptor.
  void Rewind();
  // Its size in bytes, and how far it has been read.
  [[nodiscard]] std::uint64_t Size() const;
  [[nodiscard]] std::uint64_t Position() const;
  // Whether its size and modification time are those it had when opened.
  [[nodiscard]] bool Unchanged() const;

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(std::FILE* file) : file_(file) {}
    void Restart() { setg(nullptr, nullptr, nullptr); }

   protected:
    int_type underflow() override;

   private:
    std::FILE* file_;
    char bytes_[1 << 16];
  };

  std::string path_;
  std::FILE* file_;
  std::string stamp_;
  std::unique_ptr<Buffer> buffer_;
  std::istream stream_;
};

}  // namespace quorvane::qv
