#include <quorvane/platform/portable/store/wine/wine_file.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <quorvane/platform/portable/store/wine/wine_text.h>

namespace quorvane::platform::portable {

namespace {

constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;

// The lines of a text in turn, each without its '\n'.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  [[nodiscard]] bool Done() const { return at_ >= text_.size(); }
  // The next line; `start` is where it begins.
  std::string_view Next(std::size_t* start) {
    *start = at_;
    const std::size_t end = text_.find('\n', at_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    at_ = end == std::string_view::npos ? text_.size() : end + 1;
    return text_.substr(*start, stop - *start);
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::string Failure(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

bool WineFile::Parse(std::string_view bytes, WineFile* file, std::string* error) {
  file->header.clear();
  file->sections.clear();
  Lines lines(bytes);
  std::size_t start = 0;
  if (lines.Done() || lines.Next(&start) != "WINE REGISTRY Version 2") {
    *error = Failure(1, "not a Wine registry file (no \"WINE REGISTRY Version 2\")");
    return false;
  }
  file->header = "WINE REGISTRY Version 2\n";
  // The header runs to the blank line before the first section, and a
  // section to the blank line before the next (or the file's end): that
  // line separates and is neither's.
  std::size_t number = 1;  // of the last line read
  std::string_view line;
  bool blank_waits = false;
  while (!lines.Done()) {
    line = lines.Next(&start);
    ++number;
    if (!line.empty() && line[0] == '[') break;
    if (blank_waits) file->header += "\n";
    blank_waits = line.empty();
    if (!line.empty()) file->header.append(line).append("\n");
    line = {};
  }
  while (!line.empty()) {
    Section section;
    section.offset = start;
    section.line = number;
    std::size_t next = bytes.size();  // where the next section begins
    std::size_t last_start = start;
    bool last_blank = false;
    line = {};
    while (!lines.Done()) {
      std::size_t at = 0;
      const std::string_view read = lines.Next(&at);
      ++number;
      if (!read.empty() && read[0] == '[') {
        line = read;
        start = next = at;
        break;
      }
      last_start = at;
      last_blank = read.empty();
    }
    section.length = (last_blank ? last_start : next) - section.offset;
    if (!ParseSection(bytes.substr(section.offset, section.length), &section, error)) return false;
    file->sections.push_back(std::move(section));
  }
  return true;
}

bool WineFile::ParseSection(std::string_view text, Section* section, std::string* error) {
  Lines lines(text);
  std::size_t start = 0;
  std::size_t number = section->line;
  const std::string key_line(lines.Next(&start));
  std::size_t at = 1;
  section->path.clear();
  if (key_line.empty() || key_line[0] != '[' ||
      !WineText::Unescape(key_line, &at, ']', &section->path)) {
    *error = Failure(number, "a [key] line without its closing ]");
    return false;
  }
  section->notes.clear();
  section->values.clear();
  while (!lines.Done()) {
    const std::string_view line = lines.Next(&start);
    ++number;
    if (line.empty()) continue;
    if (line[0] == '#') {
      if (line == "#link") section->link = true;
      if (line.compare(0, 6, "#time=") == 0) {
        section->file_time = std::strtoull(std::string(line.substr(6)).c_str(), nullptr, 16);
      } else {
        section->notes.emplace_back(line);
      }
      continue;
    }
    // A value, with its continuation lines.
    std::string joined(line);
    const std::size_t first = number;
    while (!joined.empty() && joined.back() == '\\' && !lines.Done()) {
      joined.pop_back();
      const std::string_view more = lines.Next(&start);
      ++number;
      const std::size_t text_from = more.find_first_not_of(" \t");
      if (text_from != std::string_view::npos) joined.append(more.substr(text_from));
    }
    StoredValue value;
    std::string what;
    if (!WineText::ParseValue(joined, &value, &what)) {
      *error = Failure(first, what);
      return false;
    }
    section->values.push_back(std::move(value));
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
