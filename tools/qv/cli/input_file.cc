#include "tools/qv/cli/input_file.h"

#include "tools/qv/cli/cli.h"

namespace quorvane::qv {

InputFile::InputFile(const std::string& path)
    : path_(path),
      file_(OpenRegularFile(path)),
      stamp_(FileStamp(file_)),
      buffer_(std::make_unique<Buffer>(file_)),
      stream_(buffer_.get()) {}

InputFile::~InputFile() { std::fclose(file_); }

void InputFile::Rewind() {
  if (std::fseek(file_, 0, SEEK_SET) != 0) throw ToolFailure("cannot read " + path_ + " again");
  buffer_->Restart();
  stream_.clear();
}

bool InputFile::Unchanged() const { return FileStamp(file_) == stamp_; }

std::uint64_t InputFile::Size() const { return FileSize(file_); }

std::uint64_t InputFile::Position() const {
  const long position = std::ftell(file_);
  return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

InputFile::Buffer::int_type InputFile::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::size_t read = std::fread(bytes_, 1, sizeof bytes_, file_);
  if (read == 0) return traits_type::eof();
  setg(bytes_, bytes_, bytes_ + read);
  return traits_type::to_int_type(*gptr());
}

}  // namespace quorvane::qv
