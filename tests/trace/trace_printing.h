// How a trace prints what it passed and got: data and names as short, stable
// text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <quorvane/platform/platform.h>

namespace quorvane::trace {

using platform::BYTE;

inline std::string Hex(const BYTE* data, std::size_t size) {
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
inline std::string Shown(const std::string& name) {
  if (name.size() > 16) return name.substr(0, 1) + "*" + std::to_string(name.size());
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80 || c < 0x20) {
      return "x" + Hex(reinterpret_cast<const BYTE*>(name.data()), name.size());
    }
  }
  return "'" + name + "'";
}

inline std::string Shown(const std::u16string& name) {
  std::string bytes;
  for (char16_t unit : name) {
    if (unit >= 0x80) return "u" + Hex(reinterpret_cast<const BYTE*>(name.data()), name.size() * 2);
    bytes.push_back(static_cast<char>(unit));
  }
  return Shown(bytes);
}

}  // namespace quorvane::trace
