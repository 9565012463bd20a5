// Writing one of the prefix's files: the tree below its root as Wine writes
// it (unchanged sections as they were read), replacing the file whole.
#include <quorvane/platform/portable/store/wine/wine_store.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include <quorvane/platform/portable/store/wine/wine_file.h>
#include <quorvane/platform/portable/store/wine/wine_index.h>

namespace quorvane::platform::portable {

void WineStore::Save(int index) {
  File& file = files_[index];
  const std::uint64_t now = WineFile::FileTimeNow();
  // The file as read, for the sections written back as they are.
  std::string old;
  if (file.descriptor >= 0) {
    struct stat status {};
    if (::fstat(file.descriptor, &status) == 0) {
      old = ReadRange(file, 0, static_cast<std::size_t>(status.st_size));
    }
  }
  const std::string header =
      file.header.empty() ? WineFile::NewHeader(file.relative_to, win64_) : file.header;
  std::string text = header;
  std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  std::vector<WineIndex::Entry> entries;
  const auto append = [&](KeyId key, const std::u16string& path, std::string_view section) {
    text += '\n';
    ++lines;
    Section& place = sections_[key];
    place.file = index;
    place.offset = text.size();
    place.length = section.size();
    place.line = lines + 1;
    place.hash = WineIndex::HashOf(section);
    entries.push_back({path, place.offset, place.length, place.line, place.link, place.hash});
    text.append(section);
    lines += static_cast<std::size_t>(std::count(section.begin(), section.end(), '\n'));
  };
  const std::function<void(KeyId, const std::u16string&)> write = [&](KeyId key,
                                                                      const std::u16string& path) {
    if (tree_.IsVolatile(key)) return;  // Wine keeps none in its files either
    const auto known = sections_.find(key);
    if (known != sections_.end() && touched_.count(key) == 0) {
      append(key, path, std::string_view(old).substr(known->second.offset, known->second.length));
    } else {
      ReadValues(key);
      const ValueList values = tree_.Values(key);
      std::vector<std::string> notes;
      bool link = false;
      if (known != sections_.end()) {
        notes = known->second.notes;
        link = known->second.link;
      }
      // Wine writes a key that has values, no subkeys or notes of its own;
      // the others are there through the keys below them.
      if (!values->empty() || !notes.empty() || (!tree_.HasSubkeys(key) && key != file.root)) {
        std::vector<StoredValue> list;
        for (const auto& [folded, value] : *values) list.push_back(value);
        Section& place = sections_[key];
        place.read = true;
        place.notes = notes;
        place.link = link;
        append(key, path, WineFile::SectionText(path, now, notes, list));
      } else if (known != sections_.end()) {
        sections_.erase(known);
      }
    }
    const SubkeyList subkeys = tree_.Subkeys(key);
    for (const SubkeyName& subkey : *subkeys) {
      write(*tree_.FindSubkey(key, subkey.folded),
            path.empty() ? subkey.name : path + u"\\" + subkey.name);
    }
  };
  write(file.root, u"");
  old.clear();

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
  // The new file is the one read from now on.
  if (file.descriptor >= 0) ::close(file.descriptor);
  file.descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  file.stamp = file.descriptor >= 0 ? StampOf(file.descriptor) : "";
  file.header = header;
  WineIndex::Write(IndexPath(file), file.stamp, entries);
}

}  // namespace quorvane::platform::portable
