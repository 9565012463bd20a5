#include <quorvane/platform/portable/registry/registry_views.h>

#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {
namespace {

constexpr const char16_t* kMachineClasses = u"Software\\Classes";
constexpr const char16_t* kMachineClasses32 = u"Software\\Classes\\Wow6432Node";
constexpr const char16_t* kUserClasses = u"S-1-5-21-0-0-0-1000\\Software\\Classes";
constexpr const char16_t* kCurrentConfig = u"System\\CurrentControlSet\\Hardware Profiles\\Current";

// The first name of a key path from `from` (doubled separators skipped), and
// where it ends.
std::u16string_view FirstComponent(std::u16string_view path, std::size_t from, std::size_t* end) {
  while (from < path.size() && path[from] == u'\\') ++from;
  std::size_t stop = path.find(u'\\', from);
  if (stop == std::u16string_view::npos) stop = path.size();
  *end = stop;
  return path.substr(from, stop - from);
}

// Whether the names of `path` from position `from` begin with the names of
// `prefix` (upper case, separated by '\\'); `*end` is then where the last of
// them ends in `path`.
bool BeginsWith(std::u16string_view path, std::size_t from, std::u16string_view prefix,
                std::size_t* end) {
  std::size_t at = from;
  for (std::size_t begin = 0; begin < prefix.size();) {
    std::size_t stop = prefix.find(u'\\', begin);
    if (stop == std::u16string_view::npos) stop = prefix.size();
    std::size_t name_end = 0;
    const std::u16string_view name = FirstComponent(path, at, &name_end);
    if (name.empty() || !NameFolding::FoldsTo(name, prefix.substr(begin, stop - begin))) {
      return false;
    }
    at = name_end;
    begin = stop + 1;
  }
  *end = at;
  return true;
}

// On Windows 7 and later the 32-bit view shares these keys below
// HKLM\Software with the 64-bit one ("Registry Keys Affected by WOW64"); every
// other key there is redirected to Software\Wow6432Node.
constexpr std::u16string_view kSharedSoftwareKeys[] = {
    u"CLASSES",
    u"CLIENTS",
    u"POLICIES",
    u"REGISTEREDAPPLICATIONS",
    u"MICROSOFT\\COM3",
    u"MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\CURRENT",
    u"MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\READERS",
    u"MICROSOFT\\CRYPTOGRAPHY\\SERVICES",
    u"MICROSOFT\\CTF\\SYSTEMSHARED",
    u"MICROSOFT\\CTF\\TIP",
    u"MICROSOFT\\DFS",
    u"MICROSOFT\\DRIVER SIGNING",
    u"MICROSOFT\\ENTERPRISECERTIFICATES",
    u"MICROSOFT\\EVENTSYSTEM",
    u"MICROSOFT\\MSMQ",
    u"MICROSOFT\\NON-DRIVER SIGNING",
    u"MICROSOFT\\NOTEPAD\\DEFAULTFONTS",
    u"MICROSOFT\\OLE",
    u"MICROSOFT\\RAS",
    u"MICROSOFT\\RPC",
    u"MICROSOFT\\SHARED TOOLS\\MSINFO",
    u"MICROSOFT\\SYSTEMCERTIFICATES",
    u"MICROSOFT\\TERMSERVLICENSING",
    u"MICROSOFT\\TRANSACTION SERVER",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\CONTROL PANEL\\CURSORS\\SCHEMES",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\AUTOPLAYHANDLERS",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\DRIVEICONS",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\KINDMAP",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\GROUP POLICY",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\PREVIEWHANDLERS",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\SETUP",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION\\TELEPHONY\\LOCATIONS",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\CONSOLE",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTDPI",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTLINK",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTMAPPER",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTSUBSTITUTES",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\GRE_INITIALIZE",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\IMAGE FILE EXECUTION OPTIONS",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\LANGUAGEPACK",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PERFLIB",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PORTS",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PRINT",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PROFILELIST",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\TIME ZONES",
};

// Below the shared classes, these keys are redirected to Classes\Wow6432Node.
constexpr std::u16string_view kRedirectedClassKeys[] = {
    u"CLSID", u"DIRECTSHOW", u"INTERFACE", u"MEDIA TYPE", u"MEDIAFOUNDATION",
};

bool NamesRedirectedClassKey(std::u16string_view path, std::size_t from) {
  std::size_t end = 0;
  for (const std::u16string_view key : kRedirectedClassKeys) {
    if (BeginsWith(path, from, key, &end)) return true;
  }
  return false;
}

}  // namespace

RegistryViews::Place RegistryViews::Of(HKEY predefined) {
  switch (predefined) {
    case kHkeyClassesRoot:
      return {kHkeyLocalMachine, kMachineClasses};
    case kHkeyCurrentUser:
      return {kHkeyUsers, kUserSid};
    case kHkeyCurrentConfig:
      return {kHkeyLocalMachine, kCurrentConfig};
    default:
      return {predefined, u""};
  }
}

RegistryViews::Place RegistryViews::UserClasses() { return {kHkeyUsers, kUserClasses}; }

RegistryViews::Place RegistryViews::MachineClasses32() {
  return {kHkeyLocalMachine, kMachineClasses32};
}

bool RegistryViews::IsThirtyTwoBitView(REGSAM sam, bool process_is_32_bit) {
  constexpr REGSAM kWow64_64Key = 0x0100;
  constexpr REGSAM kWow64_32Key = 0x0200;
  return (sam & kWow64_32Key) != 0 || ((sam & kWow64_64Key) == 0 && process_is_32_bit);
}

bool RegistryViews::DropWow6432Node(std::u16string* path) {
  std::size_t software_end = 0;
  std::size_t end = 0;
  if (!BeginsWith(*path, 0, u"SOFTWARE", &software_end) ||
      !BeginsWith(*path, software_end, u"WOW6432NODE", &end)) {
    return false;
  }
  path->erase(software_end, end - software_end);
  return true;
}

bool RegistryViews::MachinePath(std::u16string_view path, bool view_32, std::u16string* stored) {
  std::size_t software_end = 0;
  std::size_t end = 0;
  if (!BeginsWith(path, 0, u"SOFTWARE", &software_end)) return false;
  // Software\Wow6432Node\Classes is another name of the 32-bit classes, in
  // either view.
  if (BeginsWith(path, software_end, u"WOW6432NODE\\CLASSES", &end)) {
    stored->assign(kMachineClasses32).append(path.substr(end));
    return true;
  }
  if (!view_32 || BeginsWith(path, software_end, u"WOW6432NODE", &end)) return false;
  if (BeginsWith(path, software_end, u"CLASSES", &end)) {
    if (!NamesRedirectedClassKey(path, end)) return false;
    stored->assign(kMachineClasses32).append(path.substr(end));
    return true;
  }
  for (const std::u16string_view shared : kSharedSoftwareKeys) {
    if (BeginsWith(path, software_end, shared, &end)) return false;
  }
  stored->assign(path.substr(0, software_end))
      .append(u"\\Wow6432Node")
      .append(path.substr(software_end));
  return true;
}

bool RegistryViews::ClassesPath(std::u16string_view path, bool view_32, std::u16string* stored) {
  if (!view_32 || !NamesRedirectedClassKey(path, 0)) return false;
  stored->assign(u"Wow6432Node\\").append(path);
  return true;
}

const RegistryViews::Place* RegistryViews::StandardKeys(std::size_t* count) {
  static constexpr Place kStandardKeys[] = {
      {kHkeyLocalMachine, kMachineClasses},
      {kHkeyLocalMachine, kMachineClasses32},
      {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes"},
      {kHkeyLocalMachine, kCurrentConfig},
      {kHkeyUsers, u".DEFAULT"},
      {kHkeyUsers, kUserClasses},
      {kHkeyUsers, u"S-1-5-21-0-0-0-1000\\Environment"},
  };
  *count = sizeof kStandardKeys / sizeof kStandardKeys[0];
  return kStandardKeys;
}

}  // namespace quorvane::platform::portable
