// The predefined root keys, as the 32-bit handle values the registry takes.
#pragma once

#include <cstdint>

namespace quorvane {

using HKeyValue = std::uint32_t;

constexpr HKeyValue kHkeyClassesRoot = 0x80000000u;
constexpr HKeyValue kHkeyCurrentUser = 0x80000001u;
constexpr HKeyValue kHkeyLocalMachine = 0x80000002u;
constexpr HKeyValue kHkeyUsers = 0x80000003u;
constexpr HKeyValue kHkeyPerformanceData = 0x80000004u;
constexpr HKeyValue kHkeyCurrentConfig = 0x80000005u;

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
