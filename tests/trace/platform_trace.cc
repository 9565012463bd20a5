// The platform trace: its set-up and clean-up, and the key calls.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tests/trace/platform_trace.h"
#include "tests/trace/trace_printing.h"
#include "tests/trace/wine_deviations.h"

namespace quorvane::trace {

void PlatformTrace::Run(int calls) {
  for (const Base& base : kBases) DeleteTree(base.root, base.path, base.view);
  for (const Base& base : kBases) {
    HKEY key = 0;
    const LONG status = platform::RegCreateKeyExW(base.root, Wide(base.path).c_str(), 0, nullptr, 0,
                                                  0xF003Fu | base.view, nullptr, &key, nullptr);
    Print("setup " + std::string(base.symbol) + " -> " + std::to_string(status));
    if (status == 0) handles_.push_back({base.symbol, key});
  }
  for (int call = 0; call < calls; ++call) Step();
  for (const Open& open : handles_) platform::RegCloseKey(open.handle);
  for (const Base& base : kBases) DeleteTree(base.root, base.path, base.view);
}

PlatformTrace::From PlatformTrace::PickFrom() {
  if (!handles_.empty() && random_.Chance(75)) {
    const Open& open = handles_[random_.Below(handles_.size())];
    return {open.symbol, open.handle, "", 0};
  }
  const Base& base = random_.Pick(kBases);
  return {std::string("root:") + base.symbol, base.root, std::string(base.path) + "\\", base.view};
}

std::string PlatformTrace::PickPath() {
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

std::string PlatformTrace::Handle(HKEY handle) {
  for (const Base& base : kBases) {
    if (handle == base.root) return std::string("root:") + base.symbol;
  }
  const std::string symbol = "h" + std::to_string(next_symbol_++);
  handles_.push_back({symbol, handle});
  return symbol;
}

std::vector<BYTE> PlatformTrace::PickData(DWORD* size) {
  static constexpr BYTE kBytes[] = {0x00, 'a', 'B', 0xE9, 'z', 0x00, '1'};
  if (random_.Chance(15)) {
    const std::u16string& text = random_.Pick(kWideTexts);
    std::vector<BYTE> data;
    for (char16_t unit : text + u'\0') {
      data.push_back(static_cast<BYTE>(unit & 0xFF));
      data.push_back(static_cast<BYTE>(unit >> 8));
    }
    *size = static_cast<DWORD>(data.size());
    data.push_back('x');
    data.push_back('x');
    return data;
  }
  *size = random_.Chance(1) ? kMegabyte : random_.Pick(kSmallSizes) + (random_.Chance(10) ? 8 : 0);
  // What follows the data is the caller's too, and the calls read a unit of
  // it for a string given without its zero: two bytes, now and then zeros
  // (the size of strlen), else not.
  const BYTE after = random_.Chance(20) ? 0x00 : 'x';
  std::vector<BYTE> data(*size + 2, after);
  for (DWORD i = 0; i < *size; ++i) {
    data[i] = *size == kMegabyte ? static_cast<BYTE>(i * 7) : random_.Pick(kBytes);
  }
  return data;
}

std::u16string PlatformTrace::WidePath(const From& from, const std::string& path) {
  // Now and then a name only the wide calls carry, below the same start.
  if (!random_.Chance(25)) return Wide(path);
  return Wide(from.prefix) + random_.Pick(kWideNames);
}

DWORD PlatformTrace::PickBufferSize() {
  switch (random_.Below(4)) {
    case 0:
      return random_.Pick(kSmallSizes);
    case 1:
      return 8;
    default:
      return kMegabyte + 16;
  }
}

void PlatformTrace::Step() {
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

void PlatformTrace::OpenKey() {
  const From from = PickFrom();
  const std::string path = from.prefix + PickPath();
  const REGSAM sam = random_.Pick(kRights) | from.view;
  HKEY result = 0x1234;
  const bool wide = random_.Chance(40) || path.size() > kLongestAnsiPath;
  const std::u16string wide_path = WidePath(from, path);
  const LONG status = wide ? platform::RegOpenKeyExW(from.key, wide_path.c_str(), 0, sam, &result)
                           : platform::RegOpenKeyExA(from.key, path.c_str(), 0, sam, &result);
  Print(std::string(wide ? "OpenW " : "OpenA ") + from.symbol + " " +
        (wide ? Shown(wide_path) : Shown(path)) + " sam=" + std::to_string(sam) + " -> " +
        std::to_string(status) + " " +
        (status == 0   ? Handle(result)
         : result == 0 ? "null"
                       : "kept"));
}

void PlatformTrace::CreateKey() {
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
  const std::u16string wide_path = WidePath(from, path);
  const LONG status = platform::RegCreateKeyExW(from.key, wide_path.c_str(), 0, nullptr, 0, sam,
                                                nullptr, &result, &disposition);
  // Wine says "created" whenever the path's last name is empty.
  const bool names_a_key = !wide_path.empty() && wide_path.back() != u'\\';
  Print("CreateW " + from.symbol + " " + Shown(wide_path) + " sam=" + std::to_string(sam) + " -> " +
        std::to_string(status) + " " +
        (status == 0
             ? Handle(result) + (names_a_key ? " disposition=" + std::to_string(disposition) : "")
             : "-"));
}

void PlatformTrace::DeleteKey() {
  const From from = PickFrom();
  if (from.view != 0) return;  // RegDeleteKeyA has no view
  const std::string path = from.prefix + (random_.Chance(15) ? "" : PickPath());
  const bool wide = random_.Chance(30) || path.size() > kLongestAnsiPath;
  const LONG status = wide ? platform::RegDeleteKeyW(from.key, Wide(path).c_str())
                           : platform::RegDeleteKeyA(from.key, path.c_str());
  Print(std::string(wide ? "DeleteKeyW " : "DeleteKeyA ") + from.symbol + " " + Shown(path) +
        " -> " + std::to_string(status));
}

void PlatformTrace::CloseOne() {
  if (handles_.size() <= 1) return;
  const std::size_t index = random_.Below(handles_.size());
  const LONG status = platform::RegCloseKey(handles_[index].handle);
  Print("Close " + handles_[index].symbol + " -> " + std::to_string(status));
  handles_.erase(handles_.begin() + static_cast<std::ptrdiff_t>(index));
}

void PlatformTrace::PerformanceData() {
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

void PlatformTrace::DeleteSubkeys(HKEY key) {
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

void PlatformTrace::DeleteValues(HKEY key) {
  for (;;) {
    char16_t name[20000];
    DWORD size = 20000;
    if (platform::RegEnumValueW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != 0 ||
        platform::RegDeleteValueW(key, name) != 0) {
      return;
    }
  }
}

void PlatformTrace::DeleteTree(HKEY root, const std::string& path, REGSAM view) {
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

}  // namespace quorvane::trace
