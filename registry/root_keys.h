// The predefined root keys, as the 32-bit handle values the registry takes.
#pragma once

#include <cstdint>

#include <quorvane/platform/win_types.h>

namespace quorvane {

using HKeyValue = platform::HKEY;

using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentConfig;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::kHkeyPerformanceData;
using platform::kHkeyUsers;

// Value type codes.
constexpr std::int32_t kRegNone = 0;
constexpr std::int32_t kRegSz = 1;
constexpr std::int32_t kRegExpandSz = 2;
constexpr std::int32_t kRegBinary = 3;
constexpr std::int32_t kRegDword = 4;
constexpr std::int32_t kRegDwordBigEndian = 5;
constexpr std::int32_t kRegLink = 6;
constexpr std::int32_t kRegMultiSz = 7;

}  // namespace quorvane
