#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <vector>

#include <quorvane/core/ansi_text.h>
#include <quorvane/platform/unicode_text.h>

namespace quorvane::testing_support {

std::string Narrow(const std::u16string& text) { return UnicodeText::Utf8FromUtf16(text); }

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

namespace {

std::u16string UniqueName() {
  static std::atomic<int> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string name =
      "QuorvaneTest\\" + std::to_string(ticks) + "_" + std::to_string(counter.fetch_add(1));
  return u"Software\\" + Widen(name);
}

}  // namespace

ScratchKey::ScratchKey(HKeyValue root) : root_(root), path_(UniqueName()) {
  Registry().CreateKey(root_, path_);
}

ScratchKey::~ScratchKey() { DeleteTree(root_, Narrow(path_)); }

void DeleteTree(platform::HKEY root, const std::string& path) {
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(root, path.c_str(), 0, platform::kKeyAllAccess, &key) != 0) return;
  std::vector<std::string> children;
  char name[1024];
  for (platform::DWORD index = 0; platform::RegEnumKeyA(key, index, name, sizeof name) == 0;
       ++index) {
    children.emplace_back(name);
  }
  platform::RegCloseKey(key);
  for (const std::string& child : children) DeleteTree(root, path + "\\" + child);
  (void)platform::RegDeleteKeyA(root, path.c_str());
}

RawValue ReadRaw(platform::HKEY root, const std::string& path, const std::string& name) {
  RawValue raw;
  platform::HKEY key = 0;
  raw.result = platform::RegOpenKeyExA(root, path.c_str(), 0, platform::kKeyRead, &key);
  if (raw.result != 0) return raw;
  platform::DWORD size = 0;
  raw.result = platform::RegQueryValueExA(key, name.c_str(), nullptr, &raw.type, nullptr, &size);
  if (raw.result == 0) {
    std::vector<platform::BYTE> buffer(size + 1);
    raw.result =
        platform::RegQueryValueExA(key, name.c_str(), nullptr, &raw.type, buffer.data(), &size);
    raw.bytes.assign(reinterpret_cast<const char*>(buffer.data()), size);
  }
  platform::RegCloseKey(key);
  return raw;
}

platform::LONG WriteRaw(platform::HKEY root, const std::string& path, const std::string& name,
                        platform::DWORD type, const std::string& bytes) {
  platform::HKEY key = 0;
  platform::LONG result =
      platform::RegOpenKeyExA(root, path.c_str(), 0, platform::kKeyAllAccess, &key);
  if (result != 0) return result;
  // NOTE: Wine counts a zero byte that happens to follow string data, so the
  // data are followed by a byte that is not zero.
  std::vector<platform::BYTE> data(bytes.begin(), bytes.end());
  data.push_back('x');
  result = platform::RegSetValueExA(key, name.c_str(), 0, type, data.data(),
                                    static_cast<platform::DWORD>(bytes.size()));
  platform::RegCloseKey(key);
  return result;
}

}  // namespace quorvane::testing_support
