// A Wine prefix's registry file as untrusted text: it is read or refused
// with a line, never crashes, and every section it reads, written again as
// Wine writes it, reads back to the same key, notes and values.
#include <string>

#include <quorvane/platform/portable/store/wine/wine_file.h>
#include "fuzz/fuzz_input.h"

using quorvane::fuzz::Require;
using quorvane::platform::portable::WineFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WineFile file;
  std::string error;
  if (!WineFile::Parse(bytes, &file, &error)) {
    Require(error.compare(0, 5, "line ") == 0);
    return 0;
  }
  for (const WineFile::Section& section : file.sections) {
    const std::string again =
        WineFile::SectionText(section.path, section.file_time, section.notes, section.values);
    WineFile reread;
    Require(WineFile::Parse(WineFile::NewHeader("REGISTRY\\\\Machine", true) + "\n" + again,
                            &reread, &error));
    Require(reread.sections.size() == 1);
    const WineFile::Section& read = reread.sections[0];
    Require(read.path == section.path && read.notes == section.notes &&
            read.values.size() == section.values.size());
    for (std::size_t i = 0; i < read.values.size(); ++i) {
      Require(read.values[i].name == section.values[i].name &&
              read.values[i].type == section.values[i].type &&
              read.values[i].data == section.values[i].data);
    }
  }
  return 0;
}
