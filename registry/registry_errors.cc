#include <quorvane/registry/registry_errors.h>

#include <array>
#include <limits>

namespace quorvane {

const char16_t* RegistryErrors::DescriptionFor(std::int32_t result) {
  static constexpr std::array<const char16_t*, 9> kDescriptions = {
      u"",
      u"The registry database is corrupt.",
      u"The registry key is invalid.",
      u"The registry key could not be opened.",
      u"The registry key could not be read.",
      u"The registry key could not be written.",
      u"Out of memory during registry operation.",
      u"Invalid parameter in registry request.",
      u"Access denied to registry key or branch.",
  };
  if (result >= 0 && result <= 8) return kDescriptions[static_cast<std::size_t>(result)];
  return u"Undefined registry error.";
}

void RegistryErrors::Raise(std::int32_t result) {
  // The number keeps the platform's code recoverable as number - base; a code
  // whose sum leaves the 32-bit range is an overflow.
  if (result < std::numeric_limits<std::int32_t>::min() - kBase) {
    StandardErrors::Raise(StandardErrors::kOverflow);
  }
  throw ErrorObject(kBase + result, u"qvReg.Registry", DescriptionFor(result));
}

}  // namespace quorvane
