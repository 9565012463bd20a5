// The registry error set: what a platform result code is raised as.
//   number       RegistryErrorBase + result code (a code whose sum leaves the
//                32-bit range raises the standard overflow error 6 instead)
//   source       "qvReg.Registry"
//   description  by the code's value: 1 "The registry database is corrupt.",
//                2 "The registry key is invalid.", 3 "...could not be opened.",
//                4 "...could not be read.", 5 "...could not be written.",
//                6 "Out of memory during registry operation.",
//                7 "Invalid parameter in registry request.",
//                8 "Access denied to registry key or branch.",
//                any other "Undefined registry error."
#pragma once

#include <cstdint>

#include <quorvane/core/error_object.h>

namespace quorvane {

class RegistryErrors {
 public:
  static constexpr std::int32_t kBase = -2147210504;  // 0x80042AF8

  // "" for 0, else the description of the code.
  [[nodiscard]] static const char16_t* DescriptionFor(std::int32_t result);
  // Raises the error of a nonzero result code.
  [[noreturn]] static void Raise(std::int32_t result);
};

}  // namespace quorvane
