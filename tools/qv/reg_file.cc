#include "tools/qv/reg_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/ansi_text.h"
#include "core/error_object.h"
#include "platform/platform.h"
#include "registry/registry.h"
#include "registry/registry_errors.h"
#include "tools/qv/cli.h"

namespace quorvane::qv {
namespace {

using platform::DWORD;
using platform::HKEY;

constexpr std::size_t kLineWidth = 76;

// Raises the registry's own error for a failed platform call.
void Check(platform::LONG result) {
  if (result != 0) RegistryErrors::Raise(result);
}

// A key opened for the whole export, on this machine or another.
class OpenKey {
 public:
  OpenKey(const RegistryPath& path, platform::REGSAM rights) {
    HKEY root = path.root;
    HKEY connection = 0;
    if (!path.machine.empty()) {
      const std::string machine = AnsiText::Encode(u"\\\\" + path.machine);
      Check(platform::RegConnectRegistryA(machine.c_str(), path.root, &connection));
      root = connection;
    }
    const std::string branch = AnsiText::Encode(path.branch);
    const platform::LONG result = platform::RegOpenKeyExA(root, branch.c_str(), 0, rights, &key_);
    if (connection != 0 && connection != key_) platform::RegCloseKey(connection);
    Check(result);
  }
  ~OpenKey() { platform::RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  [[nodiscard]] HKEY Get() const { return key_; }

 private:
  HKEY key_ = 0;
};

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// hex:61,62 wrapped as the registry editor wraps it.
std::string HexData(const std::string& prefix, const std::string& bytes, std::size_t column) {
  std::string out = prefix;
  column += prefix.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    out += pair;
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ",";
      ++column;
      if (column >= kLineWidth) {
        out += "\\\r\n  ";
        column = 2;
      }
    }
  }
  return out;
}

std::string ValueLine(const std::string& name, DWORD type, const std::string& data) {
  const std::string left = name.empty() ? "@=" : Quoted(name) + "=";
  const bool plain_string = type == platform::kRegSz && !data.empty() && data.back() == '\0' &&
                            data.find('\0') == data.size() - 1;
  if (plain_string) return left + Quoted(data.substr(0, data.size() - 1));
  if (type == platform::kRegDword && data.size() == 4) {
    char digits[16];
    const auto byte = [&](int i) {
      return static_cast<unsigned>(static_cast<unsigned char>(data[i]));
    };
    std::snprintf(digits, sizeof digits, "%08x",
                  byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
    return left + "dword:" + digits;
  }
  char prefix[24];
  if (type == platform::kRegBinary) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
  }
  return left + HexData(prefix, data, left.size());
}

void ExportKey(const RegistryPath& path, std::string* out, int* keys) {
  ++*keys;
  *out += "[" + AnsiText::Encode(path.FullName()) + "]\r\n";
  {
    OpenKey key(path, platform::kKeyRead);
    std::vector<char> name(16384 + 1);
    for (DWORD index = 0;; ++index) {
      DWORD name_size = static_cast<DWORD>(name.size());
      DWORD type = 0;
      DWORD data_size = 0;
      platform::LONG result = platform::RegEnumValueA(key.Get(), index, name.data(), &name_size,
                                                      nullptr, &type, nullptr, &data_size);
      if (result == platform::kErrorNoMoreItems) break;
      Check(result);
      std::string data(data_size, '\0');
      name_size = static_cast<DWORD>(name.size());
      result = platform::RegEnumValueA(key.Get(), index, name.data(), &name_size, nullptr, &type,
                                       reinterpret_cast<platform::BYTE*>(data.data()), &data_size);
      Check(result);
      data.resize(data_size);
      *out += ValueLine(std::string(name.data(), name_size), type, data) + "\r\n";
    }
  }
  *out += "\r\n";
  for (const Variant& child : Registry().GetBranchNames(path.root, path.branch, path.machine)) {
    RegistryPath below = path;
    below.branch = path.branch.empty() ? child.ToText() : path.branch + u"\\" + child.ToText();
    ExportKey(below, out, keys);
  }
}

[[noreturn]] void Malformed(int line, const std::string& why) {
  throw UsageError{"line " + std::to_string(line) + ": " + why};
}

// A quoted name or string starting at text[*pos] (the opening quote).
std::string Unquote(const std::string& text, std::size_t* pos, int line) {
  std::string out;
  for (std::size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out.push_back(text[++i]);
    } else if (text[i] == '"') {
      *pos = i + 1;
      return out;
    } else {
      out.push_back(text[i]);
    }
  }
  Malformed(line, "a quoted text is not closed");
}

std::string HexBytes(const std::string& text, int line) {
  std::string bytes;
  std::istringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    std::string digits;
    for (char c : item) {
      if (c != ' ' && c != '\t') digits.push_back(c);
    }
    if (digits.empty()) continue;
    if (digits.size() > 2) Malformed(line, "bad hex byte '" + digits + "'");
    bytes.push_back(static_cast<char>(std::stoul(digits, nullptr, 16)));
  }
  return bytes;
}

}  // namespace

void RegFile::DeleteTree(const RegistryPath& path) {
  Registry registry;
  for (const Variant& child : registry.GetBranchNames(path.root, path.branch, path.machine)) {
    RegistryPath below = path;
    below.branch = path.branch + u"\\" + child.ToText();
    DeleteTree(below);
  }
  try {
    registry.DeleteKey(path.root, path.branch, path.machine);
  } catch (const ErrorObject& error) {
    if (error.Number() != RegistryErrors::kBase + 2) throw;  // already gone is fine
  }
}

int RegFile::Export(const RegistryPath& path, const std::string& file_name) {
  std::string out = "REGEDIT4\r\n\r\n";
  int keys = 0;
  ExportKey(path, &out, &keys);
  std::ofstream file(file_name, std::ios::binary);
  file << out;
  if (!file) throw UsageError{"cannot write " + file_name};
  return keys;
}

int RegFile::Import(const std::string& file_name, const std::u16string& machine) {
  std::ifstream file(file_name, std::ios::binary);
  if (!file) throw UsageError{"cannot read " + file_name};
  std::vector<std::string> lines;
  std::string line;
  std::string pending;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending += pending.empty() ? line
                               : line.substr(line.find_first_not_of(' ') == std::string::npos
                                                 ? line.size()
                                                 : line.find_first_not_of(' '));
    if (!pending.empty() && pending.back() == '\\') {
      pending.pop_back();  // continued on the next line
      continue;
    }
    lines.push_back(pending);
    pending.clear();
  }
  if (lines.empty() || lines[0] != "REGEDIT4") {
    throw UsageError{file_name + " is not a REGEDIT4 file"};
  }
  Registry registry;
  RegistryPath current;
  bool have_key = false;
  int values = 0;
  for (std::size_t number = 1; number < lines.size(); ++number) {
    const std::string& text = lines[number];
    const int line_number = static_cast<int>(number) + 1;
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      if (text.back() != ']') Malformed(line_number, "a key line ends in ']'");
      const bool remove = text.size() > 2 && text[1] == '-';
      const std::string name = text.substr(remove ? 2 : 1, text.size() - (remove ? 3 : 2));
      current = RegistryPath::Parse(AnsiText::Decode(name.data(), name.size()));
      current.machine = machine;
      if (remove) {
        DeleteTree(current);
        have_key = false;
      } else {
        registry.CreateKey(current.root, current.branch, current.machine);
        have_key = true;
      }
      continue;
    }
    if (!have_key) Malformed(line_number, "a value before any key");
    std::size_t pos = 0;
    std::string name;
    if (text[0] == '@') {
      pos = 1;
    } else if (text[0] == '"') {
      name = Unquote(text, &pos, line_number);
    } else {
      Malformed(line_number, "expected a key, a value or a comment");
    }
    if (pos >= text.size() || text[pos] != '=') Malformed(line_number, "expected '='");
    const std::string data = text.substr(pos + 1);
    OpenKey key(current, platform::kKeySetValue);
    if (data == "-") {
      const platform::LONG result = platform::RegDeleteValueA(key.Get(), name.c_str());
      if (result != platform::kErrorFileNotFound) Check(result);
      continue;
    }
    DWORD type = platform::kRegSz;
    std::string bytes;
    if (!data.empty() && data[0] == '"') {
      std::size_t end = 0;
      bytes = Unquote(data, &end, line_number) + std::string(1, '\0');
    } else if (data.rfind("dword:", 0) == 0) {
      const unsigned long value = std::stoul(data.substr(6), nullptr, 16);
      type = platform::kRegDword;
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    } else if (data.rfind("hex:", 0) == 0) {
      type = platform::kRegBinary;
      bytes = HexBytes(data.substr(4), line_number);
    } else if (data.rfind("hex(", 0) == 0 && data.find("):") != std::string::npos) {
      const std::size_t close = data.find("):");
      type = static_cast<DWORD>(std::stoul(data.substr(4, close - 4), nullptr, 16));
      bytes = HexBytes(data.substr(close + 2), line_number);
    } else {
      Malformed(line_number, "unknown value data");
    }
    // NOTE: Windows counts a zero that follows string data not ending in one,
    // so the data are followed by a byte that is not zero.
    std::vector<platform::BYTE> buffer(bytes.begin(), bytes.end());
    buffer.push_back('x');
    Check(platform::RegSetValueExA(key.Get(), name.c_str(), 0, type, buffer.data(),
                                   static_cast<DWORD>(bytes.size())));
    ++values;
  }
  return values;
}

}  // namespace quorvane::qv
