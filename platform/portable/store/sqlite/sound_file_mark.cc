#include <quorvane/platform/portable/store/sqlite/sound_file_mark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

namespace quorvane::platform::portable {

namespace {

constexpr const char* kHeading = "quorvane registry file known sound, as it stood:";

}  // namespace

SoundFileMark::SoundFileMark(std::string database_path)
    : database_path_(std::move(database_path)), mark_path_(database_path_ + "-checked") {}

std::string SoundFileMark::StateNow() const {
  struct stat file {};
  if (database_path_.empty() || ::stat(database_path_.c_str(), &file) != 0) return "";
  std::ostringstream state;
  state << file.st_dev << ' ' << file.st_ino << ' ' << file.st_size << ' ' << file.st_mtim.tv_sec
        << '.' << file.st_mtim.tv_nsec << ' ' << file.st_ctim.tv_sec << '.' << file.st_ctim.tv_nsec;
  return state.str();
}

bool SoundFileMark::Records(const std::string& state) const {
  if (state.empty()) return false;
  std::ifstream in(mark_path_);
  std::string heading;
  std::string recorded;
  return std::getline(in, heading) && heading == kHeading && std::getline(in, recorded) &&
         recorded == state;
}

void SoundFileMark::Record(const std::string& state) const {
  if (state.empty()) return;
  // Written beside and renamed into place, so that a reader sees the old
  // note or the new one; a note lost to a crash only brings a check back.
  const std::string scratch = mark_path_ + "." + std::to_string(::getpid());
  {
    std::ofstream out(scratch, std::ios::trunc);
    out << kHeading << '\n' << state << '\n';
    if (!out.flush()) {
      std::remove(scratch.c_str());
      return;
    }
  }
  if (std::rename(scratch.c_str(), mark_path_.c_str()) != 0) std::remove(scratch.c_str());
}

}  // namespace quorvane::platform::portable
