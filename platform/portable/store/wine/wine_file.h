// One of a Wine prefix's registry files, read into its header and its key
// sections, and written back. A section that nothing changed is written
// back as it was read, byte for byte, so that a file passes through whole;
// a changed one is written as Wine writes it. Lines this reader does not
// understand but Wine's own may (comment lines beginning with '#') stay in
// their section; a line neither reads is refused with its number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <quorvane/platform/portable/store/registry_store.h>

namespace quorvane::platform::portable {

class WineFile {
 public:
  struct Section {
    std::u16string path;  // below the file's root, '\' between the names
    // Where its lines lie in the file's bytes (each ending in '\n', but
    // perhaps the file's last), and the number of its [key] line.
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t line = 0;
    std::uint64_t hash = 0;  // of those bytes, where a reader keeps one
    // The lines beginning with '#' after the [key] line but the #time= line
    // (#class=, #link, and any Wine may add), in their order.
    std::vector<std::string> notes;
    bool link = false;            // a symbolic link (#link)
    std::uint64_t file_time = 0;  // from the #time= line (0 for none)
    std::vector<StoredValue> values;
  };

  std::string header;  // the lines before the first section
  std::vector<Section> sections;

  // False, with the line and what is wrong in `error`, for a file that is not
  // one Wine writes or reads.
  static bool Parse(std::string_view bytes, WineFile* file, std::string* error);
  // One section's lines (as Parse found them: `text` is the file's bytes at
  // the section's offset and length, the [key] line first) read into
  // `section`, whose line is the [key] line's number.
  static bool ParseSection(std::string_view text, Section* section, std::string* error);
  // A key's section as Wine writes it: its [key] line with the time in
  // seconds, the #time= line, `notes`, then the values.
  [[nodiscard]] static std::string SectionText(const std::u16string& path, std::uint64_t file_time,
                                               const std::vector<std::string>& notes,
                                               const std::vector<StoredValue>& values);
  // The header Wine writes above a new file's sections.
  [[nodiscard]] static std::string NewHeader(const std::string& relative_to, bool win64);
  // Now, in 100 ns units since 1601 as Windows counts time.
  [[nodiscard]] static std::uint64_t FileTimeNow();
};

}  // namespace quorvane::platform::portable
