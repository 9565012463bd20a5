#include <quorvane/platform/portable/store/wine/wine_store.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <utility>

#include <quorvane/platform/portable/store/wine/wine_file.h>
#include <quorvane/platform/portable/store/wine/wine_index.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include <quorvane/platform/unicode_text.h>

namespace quorvane::platform::portable {

namespace {

constexpr const char16_t* kCurrentUserSid = u"S-1-5-21-0-0-0-1000";
constexpr int kLockWaitMs = 5000;

bool WholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *bytes = all.str();
  return true;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A file's stamp: it is another file, or changed, when its stamp differs.
std::string StampOfStatus(const struct stat& status) {
  return std::to_string(status.st_dev) + " " + std::to_string(status.st_ino) + " " +
         std::to_string(status.st_size) + " " + std::to_string(status.st_mtim.tv_sec) + "." +
         std::to_string(status.st_mtim.tv_nsec) + " " + std::to_string(status.st_ctim.tv_sec) +
         "." + std::to_string(status.st_ctim.tv_nsec);
}

}  // namespace

WineStore::WineStore(std::string prefix)
    : prefix_(WithoutTrailingSlashes(std::move(prefix))),
      watch_(prefix_),
      writes_(prefix_ + "/.qv-registry.lock"),
      writes_seen_(writes_.Now()) {
  files_[0] = {"system.reg", "REGISTRY\\\\Machine", "", "", tree_.Root(u"", kHkeyLocalMachine)};
  const KeyId users = tree_.Root(u"", kHkeyUsers);
  const auto below_users = [&](const std::u16string& name) {
    const std::u16string folded = NameFolding::Fold(name);
    const std::optional<KeyId> found = tree_.FindSubkey(users, folded);
    return found ? *found : tree_.CreateSubkey(users, name, folded);
  };
  files_[1] = {"user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", "", "",
               below_users(kCurrentUserSid)};
  files_[2] = {"userdef.reg", "REGISTRY\\\\User\\\\.Default", "", "", below_users(u".Default")};
  try {
    Load(true);
  } catch (const StoreFailure& failure) {
    unusable_ = failure.code;
  }
}

WineStore::~WineStore() {
  Unlock();
  for (File& file : files_) {
    if (file.descriptor >= 0) ::close(file.descriptor);
  }
}

void WineStore::Fail(LONG code, const std::string& why) {
  diagnosis_ = "Wine registry " + prefix_ + ": " + why;
  throw StoreFailure{code};
}

std::string WineStore::StampOf(int descriptor) {
  struct stat status {};
  return ::fstat(descriptor, &status) == 0 ? StampOfStatus(status) : "";
}

std::string WineStore::StampOf(const File& file) const {
  struct stat status {};
  if (::stat((prefix_ + "/" + file.name).c_str(), &status) != 0) return "";
  return StampOfStatus(status);
}

std::string WineStore::IndexPath(const File& file) const {
  return prefix_ + "/." + file.name + ".qv-index";
}

bool WineStore::ServedByWineserver() const {
  // A running wineserver holds a lock on the file "lock" in its server
  // folder, which is named after the prefix's device and inode: below
  // /tmp/.wine-UID, or below the temporary folder the prefix's "wineserver"
  // file names (as Debian's Wine keeps it).
  struct stat status {};
  if (::stat(prefix_.c_str(), &status) != 0) return false;
  char server[64];
  std::snprintf(server, sizeof server, "/server-%llx-%llx/lock",
                static_cast<unsigned long long>(status.st_dev),
                static_cast<unsigned long long>(status.st_ino));
  std::vector<std::string> folders = {"/tmp/.wine-" + std::to_string(::getuid())};
  std::string named;
  if (WholeFile(prefix_ + "/wineserver", &named)) {
    while (!named.empty() && (named.back() == '\n' || named.back() == '\0')) named.pop_back();
    const char* temporary = std::getenv("TMPDIR");
    const std::string base = temporary != nullptr && *temporary == '/' ? temporary : "/tmp";
    if (!named.empty() && named.find('/') == std::string::npos)
      folders.push_back(base + "/" + named);
  }
  for (const std::string& folder : folders) {
    const int lock = ::open((folder + server).c_str(), O_RDWR | O_CLOEXEC);
    if (lock < 0) continue;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool held = ::fcntl(lock, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(lock);
    if (held) return true;
  }
  return false;
}

WineStore::File* WineStore::FileOf(KeyId key) {
  for (KeyId at = key; at != 0;) {
    for (File& file : files_) {
      if (file.root == at) return &file;
    }
    const std::optional<KeyId> parent = tree_.Parent(at);
    if (!parent) return nullptr;
    at = *parent;
  }
  return nullptr;
}

void WineStore::Touched(KeyId key) {
  if (making_standard_keys_) return;
  if (File* file = FileOf(key)) {
    ReadValues(key);  // a changed section is written whole, from the tree
    touched_.insert(key);
    files_touched_.insert(static_cast<int>(file - files_));
  }
}

void WineStore::Unlock() {
  if (lock_ < 0) return;
  ::flock(lock_, LOCK_UN);
  ::close(lock_);
  lock_ = -1;
}

void WineStore::BeginOuter(bool writing) {
  if (unusable_ != 0) throw StoreFailure{unusable_};
  if (writing) {
    if (ServedByWineserver()) {
      Fail(kErrorCantWrite,
           "a wineserver serves this prefix and would write its own copy over any change; "
           "stop it (wineserver -k) to write, reads go on");
    }
    lock_ = ::open((prefix_ + "/.qv-registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_ < 0)
      Fail(kErrorCantWrite, "cannot make its lock file: " + std::string(std::strerror(errno)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    while (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        Unlock();
        Fail(kErrorBusy, "another process writes this prefix's registry");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writing_ = true;
  }
  try {
    // A writer looks at the stamps itself, however the watch answers.
    const std::uint64_t writes = writes_.Now();
    const bool changed = watch_.Changed() || writes != writes_seen_;
    writes_seen_ = writes;
    if (changed || writing) Load(false);
  } catch (const StoreFailure&) {
    Unlock();
    writing_ = false;
    throw;
  }
}

void WineStore::EndOuter(bool commit) {
  making_standard_keys_ = false;  // however the making ended
  try {
    if (writing_ && commit) {
      for (const int index : files_touched_) Save(index);
      if (!files_touched_.empty()) {
        writes_.Add();
        writes_seen_ = writes_.Now();  // under our lock: the one write is ours
      }
    } else if (writing_ && !touched_.empty()) {
      Load(true);  // what the files hold: the transaction undone
    }
  } catch (const StoreFailure&) {
    // A file written before the one that failed is news to the others.
    if (writing_ && commit) writes_.Add();
    touched_.clear();
    files_touched_.clear();
    try {
      Load(true);
    } catch (const StoreFailure&) {
      // The first failure is the one the caller hears.
    }
    writing_ = false;
    Unlock();
    throw;
  }
  touched_.clear();
  files_touched_.clear();
  writing_ = false;
  Unlock();
}

void WineStore::Begin(bool writing) {
  if (depth_ == 0)
    BeginOuter(writing);
  else if (writing && !writing_) {
    // A batch that read so far and now writes.
    BeginOuter(true);
  }
  ++depth_;
}

void WineStore::Commit() {
  if (depth_ > 0 && --depth_ == 0) EndOuter(true);
}

void WineStore::Rollback() {
  if (depth_ > 0 && --depth_ == 0) EndOuter(false);
}

void WineStore::BeginBatch(bool writing) { Begin(writing); }

void WineStore::EndBatch(bool commit) {
  if (depth_ > 0 && --depth_ == 0) EndOuter(commit);
}

LONG WineStore::Check(std::string* report) {
  if (unusable_ != 0) {
    *report = diagnosis_;
    return unusable_;
  }
  for (const File& file : files_) {
    std::string bytes;
    WineFile parsed;
    std::string error;
    if (WholeFile(prefix_ + "/" + file.name, &bytes) && !WineFile::Parse(bytes, &parsed, &error)) {
      *report = "Wine registry " + prefix_ + "/" + file.name + " is damaged: " + error;
      return kErrorBadDbDatabase;
    }
  }
  *report = "Wine registry " + prefix_ + " is sound";
  return kErrorSuccess;
}

KeyId WineStore::Root(const std::u16string& machine, HKEY root) {
  return tree_.Root(machine, root);
}

KeyId WineStore::CreateSubkey(KeyId parent, const std::u16string& name,
                              const std::u16string& folded) {
  const KeyId key = tree_.CreateSubkey(parent, name, folded);
  Touched(parent);
  Touched(key);
  return key;
}

std::optional<std::u16string> WineStore::LinkTarget(KeyId key) {
  if (links_.count(key) == 0) return {};
  ReadValues(key);
  const StoredValue* value = tree_.GetValue(key, u"SYMBOLICLINKVALUE");
  if (value == nullptr || value->type != kRegLink) return {};
  return UnicodeText::FromUtf16Le(value->data);
}

void WineStore::DeleteKey(KeyId key) {
  if (const std::optional<KeyId> parent = tree_.Parent(key)) Touched(*parent);
  Touched(key);
  tree_.DeleteKey(key);
  sections_.erase(key);
  links_.erase(key);
}

void WineStore::SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) {
  ReadValues(key);
  tree_.SetValue(key, folded, value);
  Touched(key);
}

bool WineStore::DeleteValue(KeyId key, const std::u16string& folded) {
  ReadValues(key);
  const bool deleted = tree_.DeleteValue(key, folded);
  if (deleted) Touched(key);
  return deleted;
}

}  // namespace quorvane::platform::portable
