#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/replacement_file.h"

namespace quorvane::qv {
namespace {

[[noreturn]] void Failed(const std::string& what, const std::string& path, int error) {
  throw ToolFailure("cannot " + what + " " + path + ": " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a final link can only have been put there by the user or the
// system: the link and its folder belong to one of them, and no one else may
// replace entries in the folder (it is not writable by others, or it is
// sticky, where only an entry's owner may replace it).
bool LinkIsTrusted(const struct stat& link, const std::string& folder) {
  struct stat holder {};
  if (::stat(folder.c_str(), &holder) != 0) return false;
  const uid_t user = ::geteuid();
  const auto trusted = [user](uid_t owner) { return owner == user || owner == 0; };
  const bool others_may_replace =
      (holder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (holder.st_mode & S_ISVTX) == 0;
  return trusted(link.st_uid) && trusted(holder.st_uid) && !others_may_replace;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path) : path_(path), target_(path) {
  struct stat status {};
  if (::lstat(target_.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    if (!LinkIsTrusted(status, FolderOf(target_))) {
      throw ToolFailure("refusing to write " + path_ +
                        ": it is a symbolic link that another user may have put there");
    }
    char* resolved = ::realpath(target_.c_str(), nullptr);
    if (resolved == nullptr) Failed("follow the link", path_, errno);
    target_ = resolved;
    std::free(resolved);
  }
  const bool exists = ::lstat(target_.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) {
    // A device or a pipe takes the bytes as they come.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) Failed("open", path_, errno);
    handle_ = fd;
    return;
  }
  if (exists) {
    mode_ = status.st_mode & 0777;
    owner_ = status.st_uid;
    group_ = status.st_gid;
  } else {
    mode_ = NewFileMode();
  }
  const std::string folder = FolderOf(target_);
  temporary_ = folder + "/." + NameOf(target_) + ".qv-XXXXXX";
  const int fd = ::mkstemp(temporary_.data());  // created anew, only the user may read it
  if (fd < 0) {
    temporary_.clear();
    Failed("create a file beside", path_, errno);
  }
  handle_ = fd;
}

ReplacementFile::~ReplacementFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void ReplacementFile::Write(std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written =
        ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Failed("write", path_, written < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(written);
  }
}

void ReplacementFile::Commit() {
  const int fd = static_cast<int>(handle_);
  if (temporary_.empty()) {
    handle_ = -1;
    if (::close(fd) != 0) Failed("write", path_, errno);
    committed_ = true;
    return;
  }
  if (::fsync(fd) != 0) Failed("sync", path_, errno);
  // The owner can be kept only by a user allowed to give files away.
  if (owner_ >= 0) {
    (void)::fchown(fd, static_cast<uid_t>(owner_), static_cast<gid_t>(group_));
  }
  if (::fchmod(fd, static_cast<mode_t>(mode_)) != 0) Failed("set the mode of", path_, errno);
  handle_ = -1;
  if (::close(fd) != 0) Failed("write", path_, errno);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) Failed("replace", path_, errno);
  committed_ = true;
  // The new name is durable once the folder is synced.
  const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace quorvane::qv
