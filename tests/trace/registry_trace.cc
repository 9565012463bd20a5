// A seeded random sequence of registry calls, one canonical line per call
// (arguments, result, outputs, handles as stable symbols). Built for both
// backends: the same seed must print the same lines under Wine and natively.
//
//   registry_trace SEED CALLS platform|library
//
// The calls lean toward the edges: names that differ only in case, cp1252
// letters, names of 255 and 256 characters, data of 0 to 5 bytes and of 1 MB,
// buffers too small, enumeration while keys change, deleted keys, read-only
// handles, generic rights, every predefined key and both registry views.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/error_object.h"
#include "platform/platform.h"
#include "registry/registry.h"
#include "settings/self_register_classes.h"
#include "tests/trace/wine_deviations.h"

namespace quorvane::trace {
namespace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::LONG;
using platform::REGSAM;

constexpr REGSAM kWow64_64Key = 0x0100;
constexpr REGSAM kWow64_32Key = 0x0200;
constexpr DWORD kMegabyte = 1u << 20;
// Longer key paths go through the wide calls (see wine_deviations.h).
constexpr std::size_t kLongestAnsiPath = 260;

// The same numbers on every platform (the standard distributions are not).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

// The trace's own keys, one below each predefined key (and the 32-bit view).
// HKU's is HKCU's key seen through the stored root.
struct Base {
  const char* symbol;
  HKEY root;
  const char* path;
  REGSAM view;
};
constexpr Base kBases[] = {
    {"HKCU", platform::kHkeyCurrentUser, "Software\\QvTrace", 0},
    {"HKU", platform::kHkeyUsers, "S-1-5-21-0-0-0-1000\\Software\\QvTrace", 0},
    {"HKLM", platform::kHkeyLocalMachine, "Software\\QvTrace", 0},
    {"HKLM32", platform::kHkeyLocalMachine, "Software\\QvTrace", kWow64_32Key},
    {"HKCR", platform::kHkeyClassesRoot, "QvTrace", 0},
    {"IFACE32", platform::kHkeyClassesRoot, "Interface\\QvTrace", kWow64_32Key},
    {"CLSID", platform::kHkeyClassesRoot, "CLSID\\QvTrace", 0},
    {"CLSID32", platform::kHkeyClassesRoot, "CLSID\\QvTrace", kWow64_32Key},
    {"HKLM32C", platform::kHkeyLocalMachine, "Software\\Classes\\CLSID\\QvTrace", kWow64_32Key},
    {"HKCC", platform::kHkeyCurrentConfig, "QvTrace", 0},
};

// Key names in cp1252: case-only differences, accented letters, the longest.
const std::string kKeyNames[] = {
    "a",
    "A",
    "b",
    "Key",
    "KEY",
    "k\xE9y",
    "K\xC9Y",
    "\xE4",
    "\xC4",
    " x",
    "z9",
    std::string(255, 'k'),
    std::string(255, 'K'),
};
const std::string kValueNames[] = {
    "", "v", "V", "\xE9", "\xC9", "data", std::string(255, 'n'), std::string(256, 'n'),
};
constexpr DWORD kTypes[] = {0, 1, 2, 3, 4, 7, 11};
constexpr REGSAM kRights[] = {
    0x20019u /* KEY_READ */,        0x20006u /* KEY_WRITE */,
    0xF003Fu /* KEY_ALL_ACCESS */,  0x0001u /* KEY_QUERY_VALUE */,
    0x80000000u /* GENERIC_READ */, 0x40000000u /* GENERIC_WRITE */,
    0x10000000u /* GENERIC_ALL */,  0x02000000u /* MAXIMUM_ALLOWED */,
};
constexpr DWORD kSmallSizes[] = {0, 1, 2, 3, 4, 5};

std::u16string Wide(const std::string& cp1252) {
  // The names above use only cp1252 letters that are Latin-1 too.
  std::u16string wide;
  for (char c : cp1252) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

std::string Hex(const BYTE* data, std::size_t size) {
  if (size > 64) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    char text[40];
    std::snprintf(text, sizeof text, "#%zu:%016llx", size, static_cast<unsigned long long>(hash));
    return text;
  }
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", data[i]);
    text += digits;
  }
  return text.empty() ? "-" : text;
}

// Names print as hex when they are not plain ASCII or are long.
std::string Shown(const std::string& name) {
  if (name.size() > 16) return name.substr(0, 1) + "*" + std::to_string(name.size());
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80 || c < 0x20) {
      return "x" + Hex(reinterpret_cast<const BYTE*>(name.data()), name.size());
    }
  }
  return "'" + name + "'";
}

std::string Shown(const std::u16string& name) {
  std::string bytes;
  for (char16_t unit : name) {
    if (unit >= 0x80) return "u" + Hex(reinterpret_cast<const BYTE*>(name.data()), name.size() * 2);
    bytes.push_back(static_cast<char>(unit));
  }
  return Shown(bytes);
}

class PlatformTrace {
 public:
  explicit PlatformTrace(std::uint64_t seed) : random_(seed) {}

  void Run(int calls) {
    for (const Base& base : kBases) DeleteTree(base.root, base.path, base.view);
    for (const Base& base : kBases) {
      HKEY key = 0;
      const LONG status =
          platform::RegCreateKeyExW(base.root, Wide(base.path).c_str(), 0, nullptr, 0,
                                    0xF003Fu | base.view, nullptr, &key, nullptr);
      Print("setup " + std::string(base.symbol) + " -> " + std::to_string(status));
      if (status == 0) handles_.push_back({base.symbol, key});
    }
    for (int call = 0; call < calls; ++call) Step();
    for (const Open& open : handles_) platform::RegCloseKey(open.handle);
    for (const Base& base : kBases) DeleteTree(base.root, base.path, base.view);
  }

 private:
  struct Open {
    std::string symbol;
    HKEY handle;
  };
  // Where a call starts: an open handle, or a predefined key with the path of
  // one of the trace's keys in front.
  struct From {
    std::string symbol;
    HKEY key;
    std::string prefix;
    REGSAM view;
  };

  void Print(const std::string& line) { std::printf("%d %s\n", line_++, line.c_str()); }

  From PickFrom() {
    if (!handles_.empty() && random_.Chance(75)) {
      const Open& open = handles_[random_.Below(handles_.size())];
      return {open.symbol, open.handle, "", 0};
    }
    const Base& base = random_.Pick(kBases);
    return {std::string("root:") + base.symbol, base.root, std::string(base.path) + "\\",
            base.view};
  }

  std::string PickPath() {
    switch (random_.Below(12)) {
      case 0:
        return "";
      case 1:
        return "\\" + random_.Pick(kKeyNames);  // a leading separator is refused
      case 2:
        return random_.Pick(kKeyNames) + "\\\\" + random_.Pick(kKeyNames) + "\\";
      case 3:
      case 4:
        return random_.Pick(kKeyNames) + "\\" + random_.Pick(kKeyNames);
      default:
        return random_.Pick(kKeyNames);
    }
  }

  std::string Handle(HKEY handle) {
    for (const Base& base : kBases) {
      if (handle == base.root) return std::string("root:") + base.symbol;
    }
    const std::string symbol = "h" + std::to_string(next_symbol_++);
    handles_.push_back({symbol, handle});
    return symbol;
  }

  // Data of a chosen size, followed in memory by a byte that is not zero.
  std::vector<BYTE> PickData(DWORD* size) {
    static constexpr BYTE kBytes[] = {0x00, 'a', 'B', 0xE9, 'z', 0x00, '1'};
    *size =
        random_.Chance(1) ? kMegabyte : random_.Pick(kSmallSizes) + (random_.Chance(10) ? 8 : 0);
    std::vector<BYTE> data(*size + 1, 'x');
    for (DWORD i = 0; i < *size; ++i) {
      data[i] = *size == kMegabyte ? static_cast<BYTE>(i * 7) : random_.Pick(kBytes);
    }
    return data;
  }

  DWORD PickBufferSize() {
    switch (random_.Below(4)) {
      case 0:
        return random_.Pick(kSmallSizes);
      case 1:
        return 8;
      default:
        return kMegabyte + 16;
    }
  }

  void Step() {
    if (handles_.size() > 40) CloseOne();
    switch (random_.Below(20)) {
      case 0:
      case 1:
        return OpenKey();
      case 2:
      case 3:
        return CreateKey();
      case 4:
        return DeleteKey();
      case 5:
      case 6:
      case 7:
        return SetValue();
      case 8:
      case 9:
      case 10:
        return QueryValue();
      case 11:
        return DeleteValue();
      case 12:
      case 13:
        return EnumKey();
      case 14:
      case 15:
        return EnumValue();
      case 16:
        return CloseOne();
      case 17:
        return PerformanceData();
      default:
        return OpenKey();
    }
  }

  void OpenKey() {
    const From from = PickFrom();
    const std::string path = from.prefix + PickPath();
    const REGSAM sam = random_.Pick(kRights) | from.view;
    HKEY result = 0x1234;
    const bool wide = random_.Chance(40) || path.size() > kLongestAnsiPath;
    const LONG status = wide
                            ? platform::RegOpenKeyExW(from.key, Wide(path).c_str(), 0, sam, &result)
                            : platform::RegOpenKeyExA(from.key, path.c_str(), 0, sam, &result);
    Print(std::string(wide ? "OpenW " : "OpenA ") + from.symbol + " " + Shown(path) +
          " sam=" + std::to_string(sam) + " -> " + std::to_string(status) + " " +
          (status == 0   ? Handle(result)
           : result == 0 ? "null"
                         : "kept"));
  }

  void CreateKey() {
    const From from = PickFrom();
    const std::string path = from.prefix + PickPath();
    HKEY result = 0;
    if (random_.Chance(50) && from.view == 0 && path.size() <= kLongestAnsiPath) {
      const LONG status = platform::RegCreateKeyA(from.key, path.c_str(), &result);
      Print("CreateA " + from.symbol + " " + Shown(path) + " -> " + std::to_string(status) + " " +
            (status == 0 ? Handle(result) : "-"));
      return;
    }
    const REGSAM sam = random_.Pick(kRights) | from.view;
    DWORD disposition = 0;
    const LONG status = platform::RegCreateKeyExW(from.key, Wide(path).c_str(), 0, nullptr, 0, sam,
                                                  nullptr, &result, &disposition);
    // Wine says "created" whenever the path's last name is empty.
    const bool names_a_key = !path.empty() && path.back() != '\\';
    Print("CreateW " + from.symbol + " " + Shown(path) + " sam=" + std::to_string(sam) + " -> " +
          std::to_string(status) + " " +
          (status == 0
               ? Handle(result) + (names_a_key ? " disposition=" + std::to_string(disposition) : "")
               : "-"));
  }

  void DeleteKey() {
    const From from = PickFrom();
    if (from.view != 0) return;  // RegDeleteKeyA has no view
    const std::string path = from.prefix + (random_.Chance(15) ? "" : PickPath());
    const bool wide = random_.Chance(30) || path.size() > kLongestAnsiPath;
    const LONG status = wide ? platform::RegDeleteKeyW(from.key, Wide(path).c_str())
                             : platform::RegDeleteKeyA(from.key, path.c_str());
    Print(std::string(wide ? "DeleteKeyW " : "DeleteKeyA ") + from.symbol + " " + Shown(path) +
          " -> " + std::to_string(status));
  }

  // Calls on a value go through open handles only: a root's own values are
  // outside the trace's keys.
  bool PickHandle(Open* open) {
    if (handles_.empty()) return false;
    *open = handles_[random_.Below(handles_.size())];
    return true;
  }

  void SetValue() {
    Open open;
    if (!PickHandle(&open)) return;
    const std::string& name = random_.Pick(kValueNames);
    const DWORD type = random_.Pick(kTypes);
    DWORD size = 0;
    const std::vector<BYTE> data = PickData(&size);
    const bool wide = random_.Chance(40);
    const LONG status =
        wide ? platform::RegSetValueExW(open.handle, Wide(name).c_str(), 0, type, data.data(), size)
             : platform::RegSetValueExA(open.handle, name.c_str(), 0, type, data.data(), size);
    Print(std::string(wide ? "SetW " : "SetA ") + open.symbol + " " + Shown(name) +
          " type=" + std::to_string(type) + " data=" + Hex(data.data(), size) + " -> " +
          std::to_string(status));
  }

  void QueryValue() {
    Open open;
    if (!PickHandle(&open)) return;
    const std::string& name = random_.Pick(kValueNames);
    const bool wide = random_.Chance(40);
    const int mode = static_cast<int>(random_.Below(3));  // no data, no size, a buffer
    DWORD buffer_size = PickBufferSize();
    std::vector<BYTE> buffer(buffer_size, 0xCC);
    DWORD size = buffer_size;
    DWORD type = 0xEE;
    BYTE* data = mode == 2 ? buffer.data() : nullptr;
    DWORD* size_out = mode == 1 ? nullptr : &size;
    const LONG status = wide ? platform::RegQueryValueExW(open.handle, Wide(name).c_str(), nullptr,
                                                          &type, data, size_out)
                             : platform::RegQueryValueExA(open.handle, name.c_str(), nullptr, &type,
                                                          data, size_out);
    std::string line = std::string(wide ? "QueryW " : "QueryA ") + open.symbol + " " + Shown(name) +
                       " mode=" + std::to_string(mode) + " buffer=" + std::to_string(buffer_size) +
                       " -> " + std::to_string(status);
    if (status == 0 || status == 234) line += " type=" + std::to_string(type);
    if ((status == 0 || status == 234) && size_out != nullptr)
      line += " size=" + std::to_string(size);
    if (status == 0 && data != nullptr) {
      // The bytes after the data show the added zero, when there is one.
      line += " data=" + Hex(buffer.data(), std::min<std::size_t>(buffer_size, size + 2));
    }
    Print(line);
  }

  void DeleteValue() {
    Open open;
    if (!PickHandle(&open)) return;
    const std::string& name = random_.Pick(kValueNames);
    const bool wide = random_.Chance(40);
    const LONG status = wide ? platform::RegDeleteValueW(open.handle, Wide(name).c_str())
                             : platform::RegDeleteValueA(open.handle, name.c_str());
    Print(std::string(wide ? "DeleteValueW " : "DeleteValueA ") + open.symbol + " " + Shown(name) +
          " -> " + std::to_string(status));
  }

  void EnumKey() {
    Open open;
    if (!PickHandle(&open)) return;
    const DWORD index = static_cast<DWORD>(random_.Below(5));
    static constexpr DWORD kNameSizes[] = {0, 1, 2, 3, 256, 300};
    const DWORD name_size = random_.Pick(kNameSizes);
    if (random_.Chance(50)) {
      std::vector<char> name(name_size + 1, 'q');
      const LONG status = platform::RegEnumKeyA(open.handle, index,
                                                name_size == 0 ? nullptr : name.data(), name_size);
      Print("EnumKeyA " + open.symbol + " " + std::to_string(index) +
            " size=" + std::to_string(name_size) + " -> " + std::to_string(status) +
            (status == 0 ? " " + Shown(std::string(name.data())) : ""));
      return;
    }
    std::vector<char16_t> name(name_size + 1, u'q');
    DWORD size = name_size;
    const LONG status = platform::RegEnumKeyExW(open.handle, index, name.data(), &size, nullptr,
                                                nullptr, nullptr, nullptr);
    Print("EnumKeyW " + open.symbol + " " + std::to_string(index) +
          " size=" + std::to_string(name_size) + " -> " + std::to_string(status) +
          (status == 0
               ? " " + Shown(std::u16string(name.data())) + " length=" + std::to_string(size)
               : ""));
  }

  void EnumValue() {
    Open open;
    if (!PickHandle(&open)) return;
    const DWORD index = static_cast<DWORD>(random_.Below(5));
    static constexpr DWORD kNameSizes[] = {1, 2, 3, 300, 300, 20000};
    const DWORD name_capacity = random_.Pick(kNameSizes);
    const bool with_data = random_.Chance(70);
    const DWORD buffer_size = with_data ? PickBufferSize() : 0;
    std::vector<BYTE> buffer(buffer_size + 1, 0xCC);
    DWORD data_size = buffer_size;
    DWORD type = 0xEE;
    DWORD name_size = name_capacity;
    const bool wide = random_.Chance(40);
    std::string shown_name;
    LONG status = 0;
    if (wide) {
      std::vector<char16_t> name(name_capacity, u'q');
      status = platform::RegEnumValueW(open.handle, index, name.data(), &name_size, nullptr, &type,
                                       with_data ? buffer.data() : nullptr, &data_size);
      if (status == 0) shown_name = Shown(std::u16string(name.data()));
    } else {
      std::vector<char> name(name_capacity, 'q');
      status = platform::RegEnumValueA(open.handle, index, name.data(), &name_size, nullptr, &type,
                                       with_data ? buffer.data() : nullptr, &data_size);
      if (status == 0) shown_name = Shown(std::string(name.data()));
    }
    std::string line = std::string(wide ? "EnumValueW " : "EnumValueA ") + open.symbol + " " +
                       std::to_string(index) + " name=" + std::to_string(name_capacity) +
                       " buffer=" + (with_data ? std::to_string(buffer_size) : "null") + " -> " +
                       std::to_string(status);
    if (status == 0) {
      line += " " + shown_name + " length=" + std::to_string(name_size) +
              " type=" + std::to_string(type) + " size=" + std::to_string(data_size);
      if (with_data) {
        line += " data=" + Hex(buffer.data(), std::min<std::size_t>(buffer_size, data_size + 2));
      }
    }
    Print(line);
  }

  void CloseOne() {
    if (handles_.size() <= 1) return;
    const std::size_t index = random_.Below(handles_.size());
    const LONG status = platform::RegCloseKey(handles_[index].handle);
    Print("Close " + handles_[index].symbol + " -> " + std::to_string(status));
    handles_.erase(handles_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  // HKEY_PERFORMANCE_DATA keeps nothing; a query with a small buffer is the
  // one answer Wine and Windows share.
  void PerformanceData() {
    const HKEY key = platform::kHkeyPerformanceData;
    switch (random_.Below(3)) {
      case 0: {
        HKEY result = 0;
        Print("CreateA root:HKPD 'QvTrace' -> " +
              std::to_string(platform::RegCreateKeyA(key, "QvTrace", &result)));
        if (result != 0) platform::RegCloseKey(result);
        return;
      }
      case 1: {
        const BYTE data[] = {'a', 0, 'x'};
        Print("SetA root:HKPD 'v' -> " +
              std::to_string(platform::RegSetValueExA(key, "v", 0, 1, data, 2)));
        return;
      }
      default: {
        BYTE data[16];
        DWORD size = sizeof data;
        const LONG status = platform::RegQueryValueExA(key, "v", nullptr, nullptr, data, &size);
        Print("QueryA root:HKPD 'v' buffer=16 -> " + std::to_string(status) +
              " size=" + std::to_string(size));
        return;
      }
    }
  }

  // Relative to open handles and through the wide calls: the full paths of
  // the trace's deepest keys are too long for the ANSI calls under Wine.
  static void DeleteSubkeys(HKEY key) {
    for (;;) {
      char16_t name[300];
      DWORD size = 300;
      if (platform::RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) {
        return;
      }
      HKEY child = 0;
      if (platform::RegOpenKeyExW(key, name, 0, 0xF003Fu, &child) != 0) return;
      DeleteSubkeys(child);
      platform::RegCloseKey(child);
      if (platform::RegDeleteKeyW(key, name) != 0) return;
    }
  }

  static void DeleteValues(HKEY key) {
    for (;;) {
      char16_t name[20000];
      DWORD size = 20000;
      if (platform::RegEnumValueW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != 0 ||
          platform::RegDeleteValueW(key, name) != 0) {
        return;
      }
    }
  }

  // Empties the key and deletes it. RegDeleteKeyW has no view, so the key
  // goes through its parent's handle; a key right below a predefined key in
  // the 32-bit view stays, empty.
  static void DeleteTree(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = 0;
    if (platform::RegOpenKeyExW(root, Wide(path).c_str(), 0, 0xF003Fu | view, &key) == 0) {
      DeleteSubkeys(key);
      DeleteValues(key);
      platform::RegCloseKey(key);
    }
    const std::size_t split = path.rfind('\\');
    if (split == std::string::npos) {
      if (view == 0) (void)platform::RegDeleteKeyW(root, Wide(path).c_str());
      return;
    }
    HKEY parent = 0;
    if (platform::RegOpenKeyExW(root, Wide(path.substr(0, split)).c_str(), 0, 0xF003Fu | view,
                                &parent) == 0) {
      (void)platform::RegDeleteKeyW(parent, Wide(path.substr(split + 1)).c_str());
      platform::RegCloseKey(parent);
    }
  }

  Random random_;
  std::vector<Open> handles_;
  int next_symbol_ = 1;
  int line_ = 0;
};

// The same kind of sequence through the library's own operations: what a
// host sees, errors included.
class LibraryTrace {
 public:
  explicit LibraryTrace(std::uint64_t seed) : random_(seed) {}

  void Run(int calls) {
    Clean();
    for (int call = 0; call < calls; ++call) Step();
    Clean();
  }

 private:
  static void Clean() {
    Registry registry;
    for (const Base& base : kBases) {
      if (base.view == 0) RemoveTree(registry, base.root, Wide(base.path));
    }
    RemoveTree(registry, platform::kHkeyLocalMachine, u"Software\\Quorvane\\QvTraceApp");
    RemoveTree(registry, platform::kHkeyLocalMachine, u"Software\\Quorvane\\qvtraceapp");
  }

  static void RemoveTree(Registry& registry, HKEY root, const std::u16string& path) {
    const Collection names = registry.GetBranchNames(root, path);
    for (const Variant& name : names) RemoveTree(registry, root, path + u"\\" + name.ToText());
    try {
      registry.DeleteKey(root, path);
    } catch (const ErrorObject&) {
      // Not there.
    }
  }

  void Print(const std::string& line) { std::printf("%s\n", line.c_str()); }

  // Runs `call` and prints what it returned or raised.
  template <typename Call>
  void Trace(const std::string& what, Call&& call) {
    std::string outcome;
    try {
      outcome = "ok " + call();
    } catch (const ErrorObject& error) {
      outcome = "error " + std::to_string(error.Number()) + " " + Shown(error.Source()) + " " +
                Shown(error.Description());
    }
    Print(what + " -> " + outcome);
  }

  static std::string ShownValue(const Variant& value) {
    return std::to_string(static_cast<int>(value.GetKind())) + ":" +
           (value.IsNull() || value.IsMissing() ? std::string("-") : Shown(value.ToText()));
  }

  // Key paths below one of the trace's keys, in any case.
  std::pair<const Base*, std::u16string> PickBranch() {
    const Base* base = &kBases[random_.Below(sizeof kBases / sizeof kBases[0])];
    while (base->view != 0) base = &kBases[random_.Below(sizeof kBases / sizeof kBases[0])];
    std::u16string path = Wide(base->path);
    const std::size_t depth = random_.Below(3);
    for (std::size_t i = 0; i < depth; ++i) {
      // The library's calls are ANSI ones: paths stay within what Wine takes.
      const std::u16string name = Wide(random_.Pick(kKeyNames));
      if (path.size() + 1 + name.size() <= kLongestAnsiPath) path += u"\\" + name;
    }
    if (random_.Chance(5)) path += u"\\";
    return {base, path};
  }

  Variant PickVariant() {
    switch (random_.Below(8)) {
      case 0:
        return Variant();
      case 1:
        return Variant(static_cast<std::int32_t>(random_.Below(100000)) - 50000);
      case 2:
        return Variant(static_cast<std::int16_t>(-7));
      case 3:
        return Variant(2.5);
      case 4:
        return Variant(true);
      case 5:
        return Variant(std::u16string(u"a\0b\0", 4));
      case 6:
        return Variant(u"12");
      default:
        return Variant(Wide(random_.Pick(kValueNames)));
    }
  }

  void Step() {
    Registry registry;
    const auto [base, path] = PickBranch();
    const std::u16string name = Wide(random_.Pick(kValueNames));
    const std::string where = std::string(base->symbol) + " " + Shown(path);
    switch (random_.Below(9)) {
      case 0:
      case 1:
        return Trace("CreateKey " + where, [&] {
          registry.CreateKey(base->root, path);
          return std::string();
        });
      case 2:
      case 3: {
        static constexpr std::int32_t kLibraryTypes[] = {1, 2, 3, 4, 7, 11, 0};
        const std::int32_t type = random_.Pick(kLibraryTypes);
        const Variant value = PickVariant();
        return Trace("SetValue " + where + " " + Shown(name) + " type=" + std::to_string(type) +
                         " " + ShownValue(value),
                     [&] {
                       registry.SetValue(base->root, path, name, type, value);
                       return std::string();
                     });
      }
      case 4:
        return Trace("QueryValue " + where + " " + Shown(name),
                     [&] { return ShownValue(registry.QueryValue(base->root, path, name)); });
      case 5:
        return Trace("QueryType " + where + " " + Shown(name),
                     [&] { return std::to_string(registry.QueryType(base->root, path, name)); });
      case 6:
        return Trace("DeleteValue " + where + " " + Shown(name), [&] {
          registry.DeleteValue(base->root, path, name);
          return std::string();
        });
      case 7:
        return Trace("DeleteKey " + where, [&] {
          registry.DeleteKey(base->root, path);
          return std::string();
        });
      default:
        if (random_.Chance(30)) return Setting();
        return Trace("GetBranchNames " + where, [&] {
          std::string names;
          for (const Variant& item : registry.GetBranchNames(base->root, path)) {
            names += ShownValue(item) + ",";
          }
          return names;
        });
    }
  }

  void Setting() {
    SelfRegisterClasses settings;
    const std::u16string app = random_.Chance(50) ? u"QvTraceApp" : u"qvtraceapp";
    std::u16string section = Wide(random_.Pick(kKeyNames));
    if (section.size() > 200) section.resize(200);  // the whole path within what Wine takes
    const std::u16string key = Wide(random_.Pick(kValueNames));
    if (random_.Chance(50)) {
      const Variant value = PickVariant();
      return Trace("QvSaveSetting " + Shown(app) + " " + Shown(section) + " " + Shown(key) + " " +
                       ShownValue(value),
                   [&] {
                     settings.QvSaveSetting(app, section, key, value);
                     return std::string();
                   });
    }
    return Trace("QvGetSetting " + Shown(app) + " " + Shown(section) + " " + Shown(key), [&] {
      return ShownValue(settings.QvGetSetting(app, section, key, Variant(u"default")));
    });
  }

  Random random_;
};

}  // namespace
}  // namespace quorvane::trace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: registry_trace SEED CALLS platform|library\n");
    return 2;
  }
  const std::uint64_t seed = std::strtoull(argv[1], nullptr, 10);
  const int calls = std::atoi(argv[2]);
  const std::string mode = argv[3];
  if (mode == "platform") {
    quorvane::trace::PlatformTrace(seed).Run(calls);
  } else if (mode == "library") {
    quorvane::trace::LibraryTrace(seed).Run(calls);
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  return 0;
}
