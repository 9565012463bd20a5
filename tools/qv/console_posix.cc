// The tool's own contact with a POSIX host: command-line words (UTF-8), the
// terminal, and files written so that they are never left half-written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tools/qv/cli.h"

namespace quorvane::qv {
namespace {

[[noreturn]] void Failed(const std::string& what, const std::string& path, int error) {
  throw ToolFailure("cannot " + what + " " + path + ": " + std::strerror(error));
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Failed("write", path, written < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(written);
  }
}

}  // namespace

std::vector<std::u16string> CommandLineWords(int argc, char** argv) {
  std::vector<std::u16string> words;
  for (int i = 1; i < argc; ++i) words.push_back(Cli::Utf16(argv[i]));
  return words;
}

bool StandardInputIsInteractive() { return ::isatty(STDIN_FILENO) == 1; }

void ReplaceFileDurably(const std::string& path, const std::string& bytes) {
  // The file a link points to is the one replaced, not the link.
  std::string target = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr); resolved != nullptr) {
    target = resolved;
    std::free(resolved);
  }
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) Failed("open", path, errno);
    try {
      WriteAll(fd, bytes, path);
    } catch (...) {
      ::close(fd);
      throw;
    }
    if (::close(fd) != 0) Failed("write", path, errno);
    return;
  }
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string temporary = (slash == std::string::npos ? std::string() : directory) + "." +
                          target.substr(slash == std::string::npos ? 0 : slash + 1) + ".qv-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) Failed("create a file beside", path, errno);
  try {
    WriteAll(fd, bytes, path);
    if (::fsync(fd) != 0) Failed("sync", path, errno);
    ::fchmod(fd, 0644);
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    Failed("write", path, error);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    Failed("replace", path, error);
  }
  // The new name is durable once the folder is synced.
  const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace quorvane::qv
