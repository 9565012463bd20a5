#include <quorvane/platform/portable/store/wine/wine_file.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <quorvane/platform/portable/store/wine/wine_text.h>

namespace quorvane::platform::portable {

namespace {

constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;

std::vector<std::string> FileLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Whether the file's text had a line end after line `index`.
bool EndedAtLine(const std::string& bytes, const std::vector<std::string>& lines,
                 std::size_t index) {
  return index + 1 < lines.size() || (!bytes.empty() && bytes.back() == '\n');
}

}  // namespace

bool WineFile::Parse(const std::string& bytes, WineFile* file, std::string* error) {
  const std::vector<std::string> lines = FileLines(bytes);
  const auto fail = [&](std::size_t index, const std::string& what) {
    *error = "line " + std::to_string(index + 1) + ": " + what;
    return false;
  };
  if (lines.empty() || lines[0].compare(0, 24, "WINE REGISTRY Version 2") != 0) {
    return fail(0, "not a Wine registry file (no \"WINE REGISTRY Version 2\")");
  }
  file->header.clear();
  file->sections.clear();
  std::size_t index = 0;
  // The header runs to the blank line before the first section.
  while (index < lines.size() && (lines[index].empty() || lines[index][0] != '[')) ++index;
  const std::size_t header_end = index > 0 && lines[index - 1].empty() ? index - 1 : index;
  for (std::size_t i = 0; i < header_end; ++i) file->header += lines[i] + "\n";
  while (index < lines.size()) {
    Section section;
    const std::string& key_line = lines[index];
    std::size_t at = 1;
    if (!WineText::Unescape(key_line, &at, ']', &section.path)) {
      return fail(index, "a [key] line without its closing ]");
    }
    std::size_t next = index + 1;
    while (next < lines.size() && (lines[next].empty() || lines[next][0] != '[')) ++next;
    // The blank line before the next section separates; it is not the
    // section's.
    const std::size_t end = next < lines.size() && lines[next - 1].empty() ? next - 1 : next;
    for (std::size_t i = index; i < end; ++i) {
      section.text += lines[i];
      if (EndedAtLine(bytes, lines, i)) section.text += "\n";
    }
    for (std::size_t i = index + 1; i < end; ++i) {
      const std::string& line = lines[i];
      if (line.empty()) continue;
      if (line[0] == '#') {
        if (line == "#link") section.link = true;
        if (line.compare(0, 6, "#time=") == 0) {
          section.file_time = std::strtoull(line.c_str() + 6, nullptr, 16);
        } else {
          section.notes.push_back(line);
        }
        continue;
      }
      // A value, with its continuation lines.
      std::string joined = line;
      const std::size_t first = i;
      while (!joined.empty() && joined.back() == '\\' && i + 1 < end) {
        joined.pop_back();
        const std::string& more = lines[++i];
        joined += more.substr(more.find_first_not_of(" \t") == std::string::npos
                                  ? more.size()
                                  : more.find_first_not_of(" \t"));
      }
      StoredValue value;
      std::string what;
      if (!WineText::ParseValue(joined, &value, &what)) return fail(first, what);
      section.values.push_back(std::move(value));
    }
    file->sections.push_back(std::move(section));
    index = next;
  }
  return true;
}

std::string WineFile::SectionText(const std::u16string& path, std::uint64_t file_time,
                                  const std::vector<std::string>& notes,
                                  const std::vector<StoredValue>& values) {
  char buffer[64];
  const std::uint64_t seconds = file_time / 10000000 - kSecondsFrom1601To1970;
  std::string text = "[" + WineText::Escape(path, "[]") + "] ";
  std::snprintf(buffer, sizeof buffer, "%llu\n#time=%x%08x\n",
                static_cast<unsigned long long>(seconds), static_cast<unsigned>(file_time >> 32),
                static_cast<unsigned>(file_time));
  text += buffer;
  for (const std::string& note : notes) text += note + "\n";
  for (const StoredValue& value : values) text += WineText::ValueLines(value);
  return text;
}

std::string WineFile::NewHeader(const std::string& relative_to, bool win64) {
  return "WINE REGISTRY Version 2\n;; All keys relative to " + relative_to +
         "\n\n#arch=" + (win64 ? "win64" : "win32") + "\n";
}

std::uint64_t WineFile::FileTimeNow() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return (static_cast<std::uint64_t>(since_1970.count()) + kSecondsFrom1601To1970 * 1000000) * 10;
}

}  // namespace quorvane::platform::portable
