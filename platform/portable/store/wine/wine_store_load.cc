// Reading the prefix's files into the tree: which keys each holds and where
// their sections lie (from the index beside the file, else from the whole
// file, checked, and the index written), and a key's values from its
// section when first used.
#include <quorvane/platform/portable/store/wine/wine_store.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <iterator>

#include <quorvane/platform/portable/store/wine/wine_file.h>
#include <quorvane/platform/portable/store/wine/wine_index.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {

namespace {

std::vector<std::u16string> PathNames(const std::u16string& path) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = path.find(u'\\', start);
    const std::u16string name =
        path.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if (!name.empty()) names.push_back(name);
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return names;
}

// Whether an index's sections lie in a file of `size` bytes, in order, one
// after another, as a file's sections do.
bool Fits(const std::vector<WineIndex::Entry>& entries, std::size_t size) {
  std::size_t end = 0;
  for (const WineIndex::Entry& entry : entries) {
    if (entry.offset > size || entry.length == 0 || entry.length > size - entry.offset ||
        entry.offset <= end) {
      return false;
    }
    end = entry.offset + entry.length;
  }
  return !entries.empty();
}

}  // namespace

void WineStore::Load(bool every_file) {
  for (int index = 0; index < 3; ++index) {
    if (every_file || StampOf(files_[index]) != files_[index].stamp) LoadFile(index);
  }
  links_.clear();
  for (const auto& [key, section] : sections_) {
    if (section.link) links_.insert(key);
  }
}

std::string WineStore::ReadRange(const File& file, std::size_t offset, std::size_t length) {
  std::string bytes(length, '\0');
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(file.descriptor, bytes.data() + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      Fail(kErrorCantRead, prefix_ + "/" + file.name + " cannot be read");
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}

void WineStore::ReadSections(int index, std::vector<WineFile::Section>* sections) {
  File& file = files_[index];
  const std::string where = prefix_ + "/" + file.name;
  struct stat status {};
  (void)::fstat(file.descriptor, &status);
  const auto size = static_cast<std::size_t>(status.st_size);
  std::vector<WineIndex::Entry> entries;
  if (WineIndex::Read(IndexPath(file), file.stamp, &entries) && Fits(entries, size)) {
    // The header is what lies before the first section.
    WineFile header;
    std::string error;
    if (!WineFile::Parse(ReadRange(file, 0, entries.front().offset), &header, &error)) {
      Fail(kErrorBadDbDatabase, where + ", " + error + "; nothing read");
    }
    file.header = header.header;
    for (WineIndex::Entry& entry : entries) {
      WineFile::Section section;
      section.path = std::move(entry.path);
      section.offset = entry.offset;
      section.length = entry.length;
      section.line = entry.line;
      section.hash = entry.hash;
      section.link = entry.link;
      sections->push_back(std::move(section));
    }
    return;
  }
  WineFile parsed;
  std::string error;
  const std::string bytes = ReadRange(file, 0, size);
  if (!WineFile::Parse(bytes, &parsed, &error)) {
    Fail(kErrorBadDbDatabase, where + ", " + error + "; nothing read");
  }
  file.header = parsed.header;
  entries.clear();
  for (WineFile::Section& section : parsed.sections) {
    section.values.clear();  // read again when used
    section.hash =
        WineIndex::HashOf(std::string_view(bytes).substr(section.offset, section.length));
    entries.push_back(
        {section.path, section.offset, section.length, section.line, section.link, section.hash});
    sections->push_back(std::move(section));
  }
  WineIndex::Write(IndexPath(file), file.stamp, entries);
}

void WineStore::LoadFile(int index) {
  File& file = files_[index];
  if (file.descriptor >= 0) ::close(file.descriptor);
  file.descriptor = ::open((prefix_ + "/" + file.name).c_str(), O_RDONLY | O_CLOEXEC);
  if (file.descriptor < 0 && errno != ENOENT) {
    Fail(kErrorCantRead, prefix_ + "/" + file.name + " cannot be read");
  }
  file.stamp = file.descriptor >= 0 ? StampOf(file.descriptor) : "";
  std::vector<WineFile::Section> read;
  if (file.descriptor >= 0) {
    ReadSections(index, &read);
  } else {
    file.header.clear();
  }
  if (index == 0 && !file.header.empty()) {
    win64_ = file.header.find("#arch=win32") == std::string::npos;
  }
  for (auto known = sections_.begin(); known != sections_.end();) {
    known = known->second.file == index ? sections_.erase(known) : std::next(known);
  }
  // The keys the file holds, made where missing and kept where there; their
  // values are read when first used.
  std::set<KeyId> present{file.root};
  for (WineFile::Section& section : read) {
    KeyId key = file.root;
    for (const std::u16string& name : PathNames(section.path)) {
      const std::u16string folded = NameFolding::Fold(name);
      const std::optional<KeyId> found = tree_.FindSubkey(key, folded);
      key = found ? *found : tree_.CreateSubkey(key, name, folded);
      present.insert(key);
    }
    tree_.ClearValues(key);
    sections_[key] = Section{index,        section.offset, section.length, section.line,
                             section.hash, section.link,   false,          {}};
  }
  // Keys the file no longer holds go, with their trees; volatile ones stay.
  const std::function<void(KeyId)> prune = [&](KeyId key) {
    if (sections_.count(key) == 0 && present.count(key) != 0) tree_.ClearValues(key);
    const SubkeyList subkeys = tree_.Subkeys(key);
    for (const SubkeyName& subkey : *subkeys) {
      const KeyId child = *tree_.FindSubkey(key, subkey.folded);
      if (present.count(child) != 0) {
        prune(child);
      } else if (!tree_.IsVolatile(child)) {
        const std::function<void(KeyId)> remove = [&](KeyId gone) {
          const SubkeyList below = tree_.Subkeys(gone);
          for (const SubkeyName& name : *below) remove(*tree_.FindSubkey(gone, name.folded));
          tree_.DeleteKey(gone);
        };
        remove(child);
      }
    }
  };
  prune(file.root);
}

void WineStore::ReadValues(KeyId key) {
  const auto known = sections_.find(key);
  if (known == sections_.end() || known->second.read) return;
  Section& section = known->second;
  const File& file = files_[section.file];
  WineFile::Section parsed;
  parsed.line = section.line;
  std::string error;
  const std::string bytes = ReadRange(file, section.offset, section.length);
  const bool read =
      WineIndex::HashOf(bytes) == section.hash && WineFile::ParseSection(bytes, &parsed, &error);
  if (!read && error.empty()) {
    error = "line " + std::to_string(section.line) + ": not the lines its index names";
  }
  if (!read) {
    // The file was checked whole when its index was made: the index is
    // wrong. Without it the next call reads the whole file again (its
    // removal is a change the folder watch sees).
    std::remove(IndexPath(file).c_str());
    files_[section.file].stamp.clear();
    Fail(kErrorBadDbDatabase, prefix_ + "/" + file.name + ", " + error + "; nothing read");
  }
  for (const StoredValue& value : parsed.values) {
    tree_.SetValue(key, NameFolding::Fold(value.name), value);
  }
  section.notes = std::move(parsed.notes);
  section.read = true;
}

}  // namespace quorvane::platform::portable
