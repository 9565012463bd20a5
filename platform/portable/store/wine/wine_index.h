// Where the sections of one of a prefix's files lie, kept beside it (as
// .NAME.qv-index), so that a process finds a key's lines without reading
// the whole file: the first process after a change reads and checks the
// whole file once and writes the index; later ones read the index and only
// the sections they use. An index names the stamp of the file it describes
// and is used only while the file has that stamp, and each section's bytes
// are checked against its hash when they are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::platform::portable {

class WineIndex {
 public:
  struct Entry {
    std::u16string path;  // the key below the file's root
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t line = 0;  // of the [key] line
    bool link = false;
    std::uint64_t hash = 0;  // of the section's bytes (HashOf)
  };

  // A hash of a section's bytes, which a reader of the section compares with
  // the index's: an index that names other bytes is not used.
  [[nodiscard]] static std::uint64_t HashOf(std::string_view bytes);

  // The entries of the index at `index_path` when it describes the file of
  // `stamp`, whole; false for none, another file's, or a damaged one.
  static bool Read(const std::string& index_path, const std::string& stamp,
                   std::vector<Entry>* entries);
  // Writes the index (beside, then renamed into place). An index is only a
  // shortcut: a failure to write it is no failure of the write it follows.
  static void Write(const std::string& index_path, const std::string& stamp,
                    const std::vector<Entry>& entries);
};

}  // namespace quorvane::platform::portable
