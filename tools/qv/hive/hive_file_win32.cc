// Hive files on Windows: the registry's own calls. A hive is read by loading
// it as a key of HKEY_USERS for the time of the read (which is also how a
// restore works here: Wine's RegRestoreKey does nothing and says it did).
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/progress.h"
#include "tools/qv/cli/replacement_file.h"
#include "tools/qv/hive/hive_file.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {

namespace {

constexpr platform::DWORD kLatestFormat = 2;  // REG_LATEST_FORMAT

std::u16string Unique(const char16_t* what) {
  return u"qv-" + std::u16string(what) + u"-" +
         Cli::Utf16(std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(::GetTickCount64()));
}

// The system's words for a result code.
std::string Words(platform::LONG code) {
  wchar_t* text = nullptr;
  ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string words = text == nullptr ? u"" : reinterpret_cast<const char16_t*>(text);
  ::LocalFree(text);
  while (!words.empty() &&
         (words.back() == u'\r' || words.back() == u'\n' || words.back() == u' ')) {
    words.pop_back();
  }
  return Cli::Utf8(words) + " (" + std::to_string(code) + ")";
}

void RequirePrivileges() {
  if (const platform::LONG result = platform::EnableHivePrivileges()) {
    throw ToolFailure("hive files need the backup and restore privileges (an administrator's): " +
                      Words(result));
  }
}

void RequireLoadable(const RegistryPath& path) {
  if (!path.machine.empty() || path.branch.empty() ||
      path.branch.find(u'\\') != std::u16string::npos ||
      (path.root != kHkeyLocalMachine && path.root != kHkeyUsers)) {
    throw ToolFailure("a hive is loaded as HKLM\\NAME or HKU\\NAME of this machine");
  }
}

// A hive loaded for as long as this lives.
class LoadedHive {
 public:
  LoadedHive(const std::string& file_name, const std::string& consequence)
      : name_(Unique(u"read")) {
    const platform::LONG result =
        platform::RegLoadKeyW(kHkeyUsers, name_.c_str(), Cli::Utf16(file_name).c_str());
    if (result != 0) throw ToolFailure(file_name + ": " + Words(result) + "; " + consequence);
  }
  ~LoadedHive() { (void)platform::RegUnLoadKeyW(kHkeyUsers, name_.c_str()); }
  LoadedHive(const LoadedHive&) = delete;
  LoadedHive& operator=(const LoadedHive&) = delete;
  [[nodiscard]] RegistryPath Path() const { return RegistryPath{u"", kHkeyUsers, name_, 0}; }

 private:
  std::u16string name_;
};

}  // namespace

bool HiveFile::Available() { return true; }

int HiveFile::Save(const RegistryPath& path, const std::string& file_name) {
  RegFile::RequireKey(path);
  RequirePrivileges();
  // The registry writes only new files: a scratch one, then into place as
  // exports go.
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / (Cli::Utf8(Unique(u"save")) + ".hiv");
  std::error_code ignored;
  std::filesystem::remove(scratch, ignored);
  {
    OpenKey key(path, platform::kKeyRead);
    const platform::LONG result =
        platform::RegSaveKeyExW(key.Get(), scratch.u16string().c_str(), kLatestFormat);
    if (result != 0) throw ToolFailure("cannot save the hive: " + Words(result));
  }
  int keys = 0;
  KeyTree::Walk(path, platform::kKeyRead, [&keys](const KeyTree::Visit&) { ++keys; });
  try {
    ReplacementFile file(file_name);
    std::ifstream in(scratch, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
      file.Write(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    file.Commit();
  } catch (...) {
    std::filesystem::remove(scratch, ignored);
    throw;
  }
  std::filesystem::remove(scratch, ignored);
  return keys;
}

void HiveFile::ForEach(const std::string& file_name, const std::string& consequence,
                       const std::function<void(Key&&)>& visit, int /*deepest*/) {
  // The registry refuses a key too deep as the hive is loaded.
  RequirePrivileges();
  const LoadedHive hive(file_name, consequence);
  const RegistryPath top = hive.Path();
  KeyTree::Walk(top, platform::kKeyRead, [&](const KeyTree::Visit& walked) {
    Key key;
    if (walked.depth > 0) key.below = walked.path.branch.substr(top.branch.size() + 1);
    key.values = ValuesOf(walked.key);
    visit(std::move(key));
  });
}

int HiveFile::Load(const RegistryPath& path, const std::string& file_name) {
  RequireLoadable(path);
  RequirePrivileges();
  const platform::LONG result =
      platform::RegLoadKeyW(path.root, path.branch.c_str(), Cli::Utf16(file_name).c_str());
  if (result != 0) throw ToolFailure(file_name + ": " + Words(result) + "; nothing loaded");
  return 1;
}

int HiveFile::Unload(const RegistryPath& path) {
  RequireLoadable(path);
  RequirePrivileges();
  const platform::LONG result = platform::RegUnLoadKeyW(path.root, path.branch.c_str());
  if (result != 0) {
    throw ToolFailure(Cli::Utf8(path.FullName()) + ": " + Words(result) + "; nothing unloaded");
  }
  return 1;
}

}  // namespace quorvane::qv
