#include <quorvane/platform/portable/store/wine/wine_index.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <quorvane/platform/portable/store/wine/wine_text.h>

namespace quorvane::platform::portable {

namespace {

constexpr const char* kFirstLine = "qv index of a Wine registry file, version 2";

}  // namespace

// The text: the first line, the file's stamp, then a line a section
// ("OFFSET LENGTH LINE LINK HASH [PATH]", the hash in hex, the path escaped
// as the file escapes it), and "end COUNT".
bool WineIndex::Read(const std::string& index_path, const std::string& stamp,
                     std::vector<Entry>* entries) {
  std::ifstream in(index_path, std::ios::binary);
  if (!in) return false;
  std::string line;
  if (!std::getline(in, line) || line != kFirstLine) return false;
  if (!std::getline(in, line) || line != stamp) return false;
  entries->clear();
  while (std::getline(in, line)) {
    if (line.compare(0, 4, "end ") == 0) {
      return std::strtoull(line.c_str() + 4, nullptr, 10) == entries->size();
    }
    Entry entry;
    unsigned long long offset = 0;
    unsigned long long length = 0;
    unsigned long long number = 0;
    unsigned long long hash = 0;
    int link = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "%llu %llu %llu %d %llx [%n", &offset, &length, &number, &link,
                    &hash, &used) != 5 ||
        used == 0) {
      return false;
    }
    std::size_t at = static_cast<std::size_t>(used);
    if (!WineText::Unescape(line, &at, ']', &entry.path)) return false;
    entry.offset = offset;
    entry.length = length;
    entry.line = number;
    entry.link = link != 0;
    entry.hash = hash;
    entries->push_back(std::move(entry));
  }
  return false;  // cut short
}

std::uint64_t WineIndex::HashOf(std::string_view bytes) {
  // FNV-1a: quick, and enough to tell other bytes from these.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 1099511628211ull;
  }
  return hash;
}

void WineIndex::Write(const std::string& index_path, const std::string& stamp,
                      const std::vector<Entry>& entries) {
  std::string text = std::string(kFirstLine) + "\n" + stamp + "\n";
  char numbers[96];
  for (const Entry& entry : entries) {
    std::snprintf(numbers, sizeof numbers, "%llu %llu %llu %d %llx [",
                  static_cast<unsigned long long>(entry.offset),
                  static_cast<unsigned long long>(entry.length),
                  static_cast<unsigned long long>(entry.line), entry.link ? 1 : 0,
                  static_cast<unsigned long long>(entry.hash));
    text += numbers;
    text += WineText::Escape(entry.path, "[]");
    text += "]\n";
  }
  text += "end " + std::to_string(entries.size()) + "\n";
  const std::string scratch = index_path + "-" + std::to_string(::getpid());
  {
    std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      std::remove(scratch.c_str());
      return;
    }
  }
  if (std::rename(scratch.c_str(), index_path.c_str()) != 0) std::remove(scratch.c_str());
}

}  // namespace quorvane::platform::portable
