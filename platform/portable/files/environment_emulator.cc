#include <quorvane/platform/portable/files/environment_emulator.h>

#include <cstring>

#include <quorvane/platform/portable/text/code_page.h>
#include <quorvane/platform/portable/text/name_folding.h>

// The process environment, as the C library keeps it.
extern "C" char** environ;

namespace quorvane::platform::portable {
namespace {

// The host's value of a name, without regard to case; an exact match wins
// when a POSIX environment holds the same name in several cases.
std::optional<std::u16string> HostValue(const std::u16string& wanted) {
  const std::u16string folded = NameFolding::Fold(wanted);
  const char* exact = nullptr;
  const char* similar = nullptr;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    const std::u16string entry_name =
        CodePage::Decode(kCpUtf8, std::string(*entry, static_cast<std::size_t>(equals - *entry)));
    if (entry_name == wanted) {
      exact = equals + 1;
      break;
    }
    if (similar == nullptr && NameFolding::Fold(entry_name) == folded) similar = equals + 1;
  }
  const char* value = exact != nullptr ? exact : similar;
  if (value == nullptr) return std::nullopt;
  return CodePage::Decode(kCpUtf8, value);
}

}  // namespace

EnvironmentEmulator::EnvironmentEmulator(const std::u16string& temporary_folder) {
  if (temporary_folder.empty() || HostValue(u"TEMP") || HostValue(u"TMP")) return;
  changes_[NameFolding::Fold(u"TEMP")] = temporary_folder;
  changes_[NameFolding::Fold(u"TMP")] = temporary_folder;
}

std::optional<std::u16string> EnvironmentEmulator::Get(const std::u16string& name) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto changed = changes_.find(NameFolding::Fold(name));
    if (changed != changes_.end()) return changed->second;
  }
  return HostValue(name);
}

void EnvironmentEmulator::Set(const std::u16string& name, const std::u16string* value) {
  std::lock_guard<std::mutex> lock(mutex_);
  changes_[NameFolding::Fold(name)] =
      value == nullptr ? std::nullopt : std::optional<std::u16string>(*value);
}

}  // namespace quorvane::platform::portable
