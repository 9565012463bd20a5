#include <quorvane/platform/portable/files/file_system_emulator.h>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <quorvane/platform/portable/text/code_page.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {
namespace {

std::string ToUtf8(const std::u16string& text) {
  bool used_default = false;
  return CodePage::Encode(kCpUtf8, text, CodePage::Fit::kExact, '?', &used_default);
}

std::u16string FromUtf8(const std::string& text) { return CodePage::Decode(kCpUtf8, text); }

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

bool IsDriveLetter(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

char16_t UpperLetter(char16_t unit) { return unit >= u'a' ? unit - 0x20 : unit; }

// Windows wildcard matching: case-insensitive, "*" any run, "?" one character.
bool Matches(const std::u16string& pattern, std::size_t p, const std::u16string& name,
             std::size_t n) {
  while (p < pattern.size()) {
    if (pattern[p] == u'*') {
      for (std::size_t rest = n; rest <= name.size(); ++rest) {
        if (Matches(pattern, p + 1, name, rest)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (pattern[p] != u'?' && NameFolding::Fold(std::u16string(1, pattern[p])) !=
                                  NameFolding::Fold(std::u16string(1, name[n]))) {
      return false;
    }
    ++p, ++n;
  }
  return n == name.size();
}

bool WildcardMatch(const std::u16string& pattern, const std::u16string& name) {
  if (Matches(pattern, 0, name, 0)) return true;
  // "x.*" also matches "x" (a name without a dot has an empty extension).
  const std::size_t size = pattern.size();
  if (size >= 2 && pattern.compare(size - 2, 2, u".*") == 0 &&
      name.find(u'.') == std::u16string::npos) {
    return Matches(pattern.substr(0, size - 2), 0, name, 0);
  }
  return false;
}

DWORD AttributesOf(const struct stat& info, const std::u16string& name) {
  DWORD attributes = S_ISDIR(info.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
  // On a POSIX file system a leading dot is what hides a name.
  if (!name.empty() && name[0] == u'.' && name != u"." && name != u"..") {
    attributes |= kFileAttributeHidden;
  }
  if ((info.st_mode & 0222) == 0) attributes |= kFileAttributeReadonly;
  return attributes;
}

DWORD ErrorFromErrno(int error, bool parent_missing) {
  switch (error) {
    case ENOENT:
      return parent_missing ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorAlreadyExists;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorInvalidName;
    default:
      return kErrorAccessDenied;
  }
}

bool IsDirectory(const std::string& host) {
  struct stat info {};
  return ::stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentOf(const std::string& host) {
  const std::size_t slash = host.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host.substr(0, slash);
}

bool Exists(const std::string& host) {
  struct stat info {};
  return ::lstat(host.c_str(), &info) == 0;
}

// The name of `part` in the host folder `directory`, found as Windows finds
// names, without regard to case: the exact spelling when it is there, else,
// of the names that differ from it only in case, the first in byte order (so
// the choice does not depend on the order the folder lists them in), else
// `part` itself.
std::string ResolveComponent(const std::string& directory, const std::string& part) {
  if (part.empty() || part == "." || part == "..") return part;
  if (Exists(directory + "/" + part)) return part;
  DIR* listing = ::opendir(directory.empty() ? "/" : directory.c_str());
  if (listing == nullptr) return part;
  const std::u16string folded = NameFolding::Fold(FromUtf8(part));
  std::string chosen;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (NameFolding::Fold(FromUtf8(name)) == folded && (chosen.empty() || name < chosen)) {
      chosen = name;
    }
  }
  ::closedir(listing);
  return chosen.empty() ? part : chosen;
}

// The user's name as the emulated machine knows it: the host's login name.
std::string UserName() {
  for (const char* variable : {"USER", "LOGNAME"}) {
    const char* name = std::getenv(variable);
    if (name != nullptr && *name != '\0' && std::strchr(name, '/') == nullptr) return name;
  }
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name != nullptr) {
    return entry->pw_name;
  }
  return "user";
}

std::u16string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : FromUtf8(value);
}

}  // namespace

FileSystemEmulator::FileSystemEmulator(const std::string& default_drive_c) {
  drives_[u'Z'] = "/";
  // QV_DRIVES="C=/srv/c;D=/mnt/d" maps further drives for a host program.
  const std::u16string table = EnvironmentText("QV_DRIVES");
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find(u';', start);
    if (end == std::u16string::npos) end = table.size();
    const std::u16string entry = table.substr(start, end - start);
    if (entry.size() > 2 && IsDriveLetter(entry[0]) && entry[1] == u'=') {
      drives_[UpperLetter(entry[0])] = ToUtf8(entry.substr(2));
    }
    start = end + 1;
  }
  if (drives_.count(u'C') == 0 && !default_drive_c.empty()) {
    std::error_code ignored;
    const std::string user = UserName();
    for (const char* folder : {"/windows/system32", "/users/"}) {
      std::filesystem::create_directories(default_drive_c + folder, ignored);
    }
    std::filesystem::create_directories(default_drive_c + "/users/" + user + "/Temp", ignored);
    if (IsDirectory(default_drive_c)) drives_[u'C'] = default_drive_c;
  }
  // What Windows answers unless QV_WINDIR and QV_SYSDIR say otherwise.
  const bool has_c = drives_.count(u'C') != 0;
  windows_directory_ = EnvironmentText("QV_WINDIR");
  if (windows_directory_.empty() && has_c) windows_directory_ = u"C:\\windows";
  system_directory_ = EnvironmentText("QV_SYSDIR");
  if (system_directory_.empty() && has_c) system_directory_ = u"C:\\windows\\system32";
  if (has_c) user_temp_ = u"C:\\users\\" + FromUtf8(UserName()) + u"\\Temp";
}

std::string FileSystemEmulator::CurrentDriveRoot() {
  char buffer[4096];
  const std::string cwd = ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
  std::string best = "/";
  std::size_t best_length = 0;
  for (const auto& [letter, root] : drives_) {
    if (cwd.rfind(root, 0) == 0 && root.size() > best_length) {
      best = root;
      best_length = root.size();
    }
  }
  return best;
}

DWORD FileSystemEmulator::ToHostPath(const std::u16string& windows_name, std::string* host,
                                     bool wildcards_in_last) {
  std::u16string name = windows_name;
  if (name.rfind(u"\\\\?\\", 0) == 0) name.erase(0, 4);  // the long-path prefix
  if (name.empty()) return kErrorPathNotFound;
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return kErrorBadNetpath;
  std::u16string rest = name;
  std::string root;
  if (name.size() >= 2 && name[1] == u':') {
    if (!IsDriveLetter(name[0])) return kErrorInvalidName;
    auto drive = drives_.find(UpperLetter(name[0]));
    if (drive == drives_.end()) return kErrorPathNotFound;
    root = drive->second;
    rest = name.substr(2);
  } else if (IsSeparator(name[0])) {
    root = CurrentDriveRoot();
  }

  // Component by component, as Windows normalises a name: characters no name
  // may hold are refused, wildcards only stand in the last component, and the
  // last component loses its trailing dots and blanks.
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t unit : rest) {
    if (IsSeparator(unit)) {
      parts.push_back(part);
      part.clear();
    } else {
      part.push_back(unit);
    }
  }
  parts.push_back(part);  // empty when the name ends in a separator
  while (!root.empty() && root.back() == '/') root.pop_back();
  const bool absolute = !root.empty() || (!rest.empty() && IsSeparator(rest[0]));
  std::string path = root;  // no trailing separator
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::u16string& piece = parts[i];
    const bool last = i + 1 == parts.size();
    for (char16_t unit : piece) {
      if (unit < 0x20 || unit == u'<' || unit == u'>' || unit == u'"' || unit == u'|' ||
          unit == u':') {
        return kErrorInvalidName;
      }
    }
    const bool wild = piece.find_first_of(u"*?") != std::u16string::npos;
    if (wild && !(last && wildcards_in_last)) return kErrorInvalidName;
    if (last && !wild && piece != u"." && piece != u"..") {
      const std::size_t keep = piece.find_last_not_of(u". ");
      if (keep != std::u16string::npos) piece.erase(keep + 1);
    }
    if (i == 0 && piece.empty() && !rest.empty() && IsSeparator(rest[0])) continue;
    if (absolute || i > 0) path.push_back('/');
    const std::string spelled = ToUtf8(piece);
    if (wild) {
      path += spelled;  // a pattern's last component is matched by the search itself
      continue;
    }
    std::string directory = absolute || i > 0 ? path.substr(0, path.size() - 1) : ".";
    if (directory.empty()) directory = absolute ? "/" : ".";
    path += ResolveComponent(directory, spelled);
  }
  *host = path;
  return kErrorSuccess;
}

FindHandle FileSystemEmulator::FindFirst(const std::u16string& pattern, FindData* data,
                                         DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string host;
  if ((*error = ToHostPath(pattern, &host, true)) != kErrorSuccess) return kInvalidFindHandle;
  if (host.back() == '/') {
    *error = kErrorFileNotFound;
    return kInvalidFindHandle;
  }
  const std::size_t slash = host.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : host.substr(0, slash));
  const std::u16string wanted =
      FromUtf8(slash == std::string::npos ? host : host.substr(slash + 1));
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) {
    *error = kErrorPathNotFound;
    return kInvalidFindHandle;
  }
  std::vector<FindData> found;
  while (const dirent* entry = ::readdir(listing)) {
    const std::u16string name = FromUtf8(entry->d_name);
    if (!WildcardMatch(wanted, name)) continue;
    struct stat info {};
    if (::stat((directory + "/" + entry->d_name).c_str(), &info) != 0) continue;
    found.push_back({AttributesOf(info, name), name});
  }
  ::closedir(listing);
  // As NTFS lists them: "." and ".." first, then by upper-case name.
  auto rank = [](const FindData& entry) {
    if (entry.file_name == u".") return 0;
    return entry.file_name == u".." ? 1 : 2;
  };
  std::sort(found.begin(), found.end(), [&](const FindData& a, const FindData& b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return NameFolding::Fold(a.file_name) < NameFolding::Fold(b.file_name);
  });
  if (found.empty()) {
    *error = kErrorFileNotFound;
    return kInvalidFindHandle;
  }
  *data = found.front();
  const FindHandle handle = next_search_++;
  searches_[handle] = {std::move(found), 1};
  return handle;
}

bool FileSystemEmulator::FindNext(FindHandle find, FindData* data, DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto search = searches_.find(find);
  if (search == searches_.end()) {
    *error = kErrorInvalidHandle;
    return false;
  }
  auto& [entries, next] = search->second;
  if (next >= entries.size()) {
    *error = kErrorNoMoreFiles;
    return false;
  }
  *data = entries[next++];
  return true;
}

bool FileSystemEmulator::FindClose(FindHandle find) {
  std::lock_guard<std::mutex> lock(mutex_);
  return searches_.erase(find) == 1;
}

bool FileSystemEmulator::CreateDirectory(const std::u16string& path, DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string host;
  if ((*error = ToHostPath(path, &host, false)) != kErrorSuccess) return false;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (::mkdir(host.c_str(), 0777) == 0) return true;
  const int failure = errno;
  *error = ErrorFromErrno(failure, !IsDirectory(ParentOf(host)));
  if (failure == ENOENT) *error = kErrorPathNotFound;
  return false;
}

DWORD FileSystemEmulator::GetAttributes(const std::u16string& path, DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string host;
  if ((*error = ToHostPath(path, &host, false)) != kErrorSuccess) {
    return kInvalidFileAttributes;
  }
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0) {
    const int failure = errno;
    std::string trimmed = host;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    *error = ErrorFromErrno(failure, !IsDirectory(ParentOf(trimmed)));
    return kInvalidFileAttributes;
  }
  std::string trimmed = host;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.find_last_of('/');
  return AttributesOf(info,
                      FromUtf8(slash == std::string::npos ? trimmed : trimmed.substr(slash + 1)));
}

void FileSystemEmulator::SetDrive(char16_t letter, const std::string& host_directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (host_directory.empty()) {
    drives_.erase(UpperLetter(letter));
  } else {
    drives_[UpperLetter(letter)] = host_directory;
  }
}

void FileSystemEmulator::SetWindowsDirectory(const std::u16string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_directory_ = path;
}

void FileSystemEmulator::SetSystemDirectory(const std::u16string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  system_directory_ = path;
}

std::u16string FileSystemEmulator::WindowsDirectory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows_directory_;
}

std::u16string FileSystemEmulator::SystemDirectory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return system_directory_;
}

}  // namespace quorvane::platform::portable
