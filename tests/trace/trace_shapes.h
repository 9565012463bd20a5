// The shapes of a trace's calls: seeded numbers that are the same on every
// platform, the trace's own keys below each predefined key, and the names,
// types, rights and sizes calls are made with, leaning toward the edges.
#pragma once

#include <cstdint>
#include <string>

#include <quorvane/platform/platform.h>

namespace quorvane::trace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::LONG;
using platform::REGSAM;

inline constexpr REGSAM kWow64_64Key = 0x0100;
inline constexpr REGSAM kWow64_32Key = 0x0200;
inline constexpr DWORD kMegabyte = 1u << 20;
// Longer key paths go through the wide calls (see wine_deviations.h).
inline constexpr std::size_t kLongestAnsiPath = 260;

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
inline constexpr Base kBases[] = {
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
    // A key both views share, by both.
    {"POL", platform::kHkeyLocalMachine, "Software\\Policies\\QvTrace", 0},
    {"POL32", platform::kHkeyLocalMachine, "Software\\Policies\\QvTrace", kWow64_32Key},
};

// Key names in cp1252: case-only differences, accented letters, the longest.
inline const std::string kKeyNames[] = {
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
// Names only the wide calls carry: case pairs beyond Latin-1 that Windows folds
// alike (ǆ Ǆ, ά Ά, ａ Ａ) and one it keeps apart (ſ S), and a look-alike the
// ANSI calls read with best fit (Ā as "A").
inline const std::u16string kWideNames[] = {
    u"\u01C6", u"\u01C4", u"\u03AC", u"\u0386", u"\uFF41", u"\uFF21", u"\u017F", u"S", u"\u0100x",
};
// String data the ANSI calls read with best fit, a mark per unit of a
// surrogate pair, or a mark for what has no look-alike (UTF-16LE, with zero).
inline const std::u16string kWideTexts[] = {
    u"\u0100\u0107\u2018x\u2019",
    u"a\U0001F600b",
    u"\uFF21\u0110",
    u"\u4E00",
};
inline const std::string kValueNames[] = {
    "", "v", "V", "\xE9", "\xC9", "data", std::string(255, 'n'), std::string(256, 'n'),
};
inline constexpr DWORD kTypes[] = {0, 1, 2, 3, 4, 7, 11};
inline constexpr REGSAM kRights[] = {
    0x20019u /* KEY_READ */,        0x20006u /* KEY_WRITE */,
    0xF003Fu /* KEY_ALL_ACCESS */,  0x0001u /* KEY_QUERY_VALUE */,
    0x80000000u /* GENERIC_READ */, 0x40000000u /* GENERIC_WRITE */,
    0x10000000u /* GENERIC_ALL */,  0x02000000u /* MAXIMUM_ALLOWED */,
};
inline constexpr DWORD kSmallSizes[] = {0, 1, 2, 3, 4, 5};

inline std::u16string Wide(const std::string& cp1252) {
  // The names above use only cp1252 letters that are Latin-1 too.
  std::u16string wide;
  for (char c : cp1252) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace quorvane::trace
