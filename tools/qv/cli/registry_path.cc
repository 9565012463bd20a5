#include "tools/qv/cli/registry_path.h"

#include "tools/qv/cli/cli.h"

namespace quorvane::qv {
namespace {

struct RootSpelling {
  const char16_t* short_name;
  const char16_t* long_name;
  HKeyValue value;
};

constexpr RootSpelling kRoots[] = {
    {u"HKCR", u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {u"HKCU", u"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {u"HKLM", u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {u"HKU", u"HKEY_USERS", kHkeyUsers},
    {u"HKPD", u"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {u"HKCC", u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
};

}  // namespace

RegistryPath RegistryPath::Parse(const std::u16string& text) {
  RegistryPath path;
  std::u16string rest = text;
  if (rest.rfind(u"\\\\", 0) == 0) {
    const std::size_t end = rest.find(u'\\', 2);
    if (end == std::u16string::npos) throw UsageError{"a key name needs a root after the machine"};
    path.machine = rest.substr(2, end - 2);
    rest = rest.substr(end + 1);
  }
  const std::size_t slash = rest.find(u'\\');
  const std::u16string root = Cli::AsciiUpper(rest.substr(0, slash));
  path.branch = slash == std::u16string::npos ? u"" : rest.substr(slash + 1);
  // As reg.exe: one final separator is dropped, but a root alone with one
  // ("HKCU\") or a doubled one names no key; the performance data are no
  // tree of keys.
  if (!rest.empty() && rest.back() == u'\\') {
    const bool doubled = rest.size() > 1 && rest[rest.size() - 2] == u'\\';
    if (doubled || slash == rest.size() - 1) {
      throw UsageError{"invalid key name '" + Cli::Utf8(text) + "' (it ends in '\\')"};
    }
    path.branch.pop_back();
  }
  for (const RootSpelling& spelling : kRoots) {
    if (root == spelling.short_name || root == spelling.long_name) {
      if (spelling.value == kHkeyPerformanceData) break;
      path.root = spelling.value;
      return path;
    }
  }
  // "HKCUSoftware": a POSIX shell took the backslashes of an unquoted key.
  if (slash == std::u16string::npos) {
    for (const RootSpelling& spelling : kRoots) {
      for (const std::u16string name : {spelling.short_name, spelling.long_name}) {
        if (root.size() > name.size() && root.compare(0, name.size(), name) == 0) {
          throw UsageError{"invalid root '" + Cli::Utf8(root) +
                           "': the shell removed the backslashes; quote the key, as in '" +
                           Cli::Utf8(name) + "\\" + Cli::Utf8(rest.substr(name.size())) + "'"};
        }
      }
    }
  }
  throw UsageError{"invalid root '" + Cli::Utf8(root) + "' (use HKLM, HKCU, HKCR, HKU or HKCC)"};
}

std::u16string RegistryPath::RootName(HKeyValue root) {
  for (const RootSpelling& spelling : kRoots) {
    if (spelling.value == root) return spelling.long_name;
  }
  return u"?";
}

std::u16string RegistryPath::FullName() const {
  return branch.empty() ? RootName(root) : RootName(root) + u"\\" + branch;
}

}  // namespace quorvane::qv
