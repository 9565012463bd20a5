// Writing one of the prefix's files: the tree below its root as Wine writes
// it (unchanged sections as they were read), replacing the file whole.
#include <quorvane/platform/portable/store/wine/wine_store.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include <quorvane/platform/portable/store/wine/wine_file.h>

namespace quorvane::platform::portable {

void WineStore::Save(const File& file) {
  const std::uint64_t now = WineFile::FileTimeNow();
  std::string text =
      file.header.empty() ? WineFile::NewHeader(file.relative_to, win64_) : file.header;
  const std::function<void(KeyId, const std::u16string&)> write = [&](KeyId key,
                                                                      const std::u16string& path) {
    if (tree_.IsVolatile(key)) return;  // Wine keeps none in its files either
    const ValueList values = tree_.Values(key);
    const SubkeyList subkeys = tree_.Subkeys(key);
    const auto known = sections_.find(key);
    const std::vector<std::string> notes =
        known == sections_.end() ? std::vector<std::string>{} : known->second.notes;
    // Wine writes a key that has values, no subkeys or notes of its own; the
    // others are there through the keys below them.
    const bool written =
        !values->empty() || !notes.empty() || (subkeys->empty() && key != file.root);
    if (written) {
      if (known == sections_.end() || touched_.count(key) != 0 || known->second.text.empty()) {
        std::vector<StoredValue> list;
        for (const auto& [folded, value] : *values) list.push_back(value);
        Section& section = sections_[key];
        section.text = WineFile::SectionText(path, now, notes, list);
        section.notes = notes;
        text += "\n" + section.text;
      } else {
        text += "\n" + known->second.text;
      }
    }
    for (const SubkeyName& subkey : *subkeys) {
      write(*tree_.FindSubkey(key, subkey.folded),
            path.empty() ? subkey.name : path + u"\\" + subkey.name);
    }
  };
  write(file.root, u"");

  // Written beside, synced and renamed into place: Wine and any reader see
  // the old file or the new one.
  const std::string path = prefix_ + "/" + file.name;
  const std::string scratch = prefix_ + "/." + file.name + ".qv-" + std::to_string(::getpid());
  struct stat status {};
  const mode_t mode = ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 0777) : 0644;
  const int out = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (out < 0) Fail(kErrorCantWrite, path + " cannot be written: " + std::strerror(errno));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(out, text.data() + done, text.size() - done);
    if (wrote <= 0) {
      const int error = errno;
      ::close(out);
      std::remove(scratch.c_str());
      Fail(error == ENOSPC ? kErrorDiskFull : kErrorCantWrite,
           path + " cannot be written: " + std::strerror(error));
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (::fsync(out) != 0 || ::close(out) != 0 || std::rename(scratch.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(scratch.c_str());
    Fail(kErrorCantWrite, path + " cannot be written: " + std::strerror(error));
  }
  const int folder = ::open(prefix_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
  for (File& mine : files_) {
    if (&mine == &file) mine.stamp = StampOf(mine);
  }
}

}  // namespace quorvane::platform::portable
