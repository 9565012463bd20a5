// The members of FileWorks beyond path text: versions, target names, the file
// system and the environment.
#include <vector>

#include <quorvane/core/ansi_text.h>
#include <quorvane/core/error_object.h>
#include <quorvane/fileworks/fileworks.h>
#include <quorvane/fileworks/text_primitives.h>
#include <quorvane/platform/platform.h>

namespace quorvane {
namespace {

using T = TextPrimitives;

// The run-time file error for a failed search: a missing file, directory or
// match is no error at all (0).
std::int32_t FileErrorFor(platform::DWORD error) {
  switch (error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
    case platform::kErrorNoMoreFiles:
      return 0;
    case platform::kErrorInvalidName:
    case platform::kErrorBadPathname:
      return StandardErrors::kBadFileName;
    case platform::kErrorNotReady:
    case platform::kErrorBadNetpath:
    case platform::kErrorBadNetName:
      return StandardErrors::kDeviceUnavailable;
    default:
      return StandardErrors::kPathFileAccess;
  }
}

bool IsOrdinaryFile(platform::DWORD attributes) {
  constexpr platform::DWORD kNotOrdinary = platform::kFileAttributeDirectory |
                                           platform::kFileAttributeHidden |
                                           platform::kFileAttributeSystem;
  return (attributes & kNotOrdinary) == 0;
}

std::u16string EnvironmentValue(const char16_t* name) {
  const platform::DWORD needed = platform::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed <= 1) return std::u16string();
  std::vector<char16_t> buffer(needed, u'\0');
  const platform::DWORD length = platform::GetEnvironmentVariableW(name, buffer.data(), needed);
  if (length == 0 || length >= needed) return std::u16string();  // changed in between
  return std::u16string(buffer.data(), length);
}

// A field's number. The platform's conversion reads text up to a zero, so a
// field holding one would be read short ("1" + U+0000 + "x" as 1): it is no
// number at all.
std::int16_t FieldNumber(const Variant& field) {
  if (field.IsText() && field.ToText().find(u'\0') != std::u16string::npos) {
    StandardErrors::Raise(StandardErrors::kTypeMismatch);
  }
  return field.ToInt16();
}

}  // namespace

void FileWorks::ReadVersion(Variant& version, std::int16_t fields[4]) {
  for (int field = 0; field < 3; ++field) {
    const std::u16string text = version.ToText();
    const std::int16_t dot = T::Find(text, u".", 1);
    if (dot >= 1) {
      fields[field] = FieldNumber(Variant(T::Left(text, dot - 1)));
      version = T::Mid(text, T::Next(dot));
    } else {
      fields[field] = 0;
    }
  }
  fields[3] = FieldNumber(version);
}

bool FileWorks::VersionGreater(Variant& psvVer1, Variant& psvVer2) {
  std::int16_t first[4] = {};
  std::int16_t second[4] = {};
  ReadVersion(psvVer1, first);
  ReadVersion(psvVer2, second);
  for (int field = 0; field < 4; ++field) {
    if (first[field] != second[field]) return first[field] > second[field];
  }
  return false;
}

bool FileWorks::SplitAtFirstDot(const std::u16string& name, std::u16string* base,
                                std::u16string* ext) {
  const std::int16_t dot = T::Find(name, u".", 1);
  if (dot < 1) {
    *base = name;
    ext->clear();
    return false;
  }
  *base = T::Left(name, dot - 1);
  *ext = T::Trim(T::Mid(name, static_cast<std::int64_t>(dot) + 1));
  return true;
}

std::u16string FileWorks::ApplyWildcards(std::u16string pattern, const std::u16string& source) {
  const std::int16_t star = T::Find(pattern, u"*", 1);
  if (star >= 1) {
    pattern = T::Left(pattern, star - 1);
    if (T::Length(source) >= star) pattern += T::Mid(source, star);
  }
  if (pattern.find(u'?') == std::u16string::npos) return pattern;
  // The position counter is 16 bits wide and must step past the last position.
  (void)T::AsPosition(static_cast<std::int64_t>(pattern.size()) + 1);
  std::u16string output;
  for (std::size_t position = 1; position <= pattern.size(); ++position) {
    if (pattern[position - 1] == u'?') {
      output += T::Mid(source, static_cast<std::int64_t>(position), 1);
    } else {
      output += pattern[position - 1];
    }
  }
  return output;
}

std::u16string FileWorks::GetTargetName(const std::u16string& FileName,
                                        const std::u16string& Pattern) {
  std::u16string source_base;
  std::u16string source_ext;
  SplitAtFirstDot(FileName, &source_base, &source_ext);
  std::u16string pattern_base;
  std::u16string pattern_ext;
  if (!SplitAtFirstDot(Pattern, &pattern_base, &pattern_ext) && T::Right(Pattern, 1) == u"*") {
    pattern_ext = source_ext;  // a pattern like "x*" keeps the source's extension
  }
  const std::u16string base = ApplyWildcards(pattern_base, source_base);
  const std::u16string ext = ApplyWildcards(pattern_ext, source_ext);
  return ext.empty() ? base : base + u"." + ext;
}

bool FileWorks::Exists(const std::u16string& FileName) {
  platform::FindData entry;
  const platform::FindHandle search = platform::FindFirstFileW(FileName.c_str(), &entry);
  if (search == platform::kInvalidFindHandle) {
    const std::int32_t error = FileErrorFor(platform::GetLastError());
    if (error != 0) StandardErrors::Raise(error);
    return false;
  }
  bool found = IsOrdinaryFile(entry.attributes);
  while (!found && platform::FindNextFileW(search, &entry))
    found = IsOrdinaryFile(entry.attributes);
  platform::FindClose(search);
  return found;
}

bool FileWorks::MakeSureDirExists(const std::u16string& psvDirSpec) {
  try {
    const std::u16string path = AddSlash(psvDirSpec, u"\\");
    std::u16string root = GetDrive(path);
    root = root.empty() ? u"\\" : AddSlash(root, u"\\");
    std::int16_t start = T::AsPosition(static_cast<std::int64_t>(root.size()) + 1);
    while (T::Length(path) >= start) {
      const std::int16_t slash = T::Find(path, u"\\", start);
      if (slash == 0) break;
      const std::u16string level = T::Left(path, slash - 1);
      // Whether the attempt fails does not matter (the level may exist, or
      // another process may just have made it): only what stands there counts.
      (void)platform::CreateDirectoryW(level.c_str());
      const platform::DWORD attributes = platform::GetFileAttributesW(level.c_str());
      if (attributes == platform::kInvalidFileAttributes ||
          (attributes & platform::kFileAttributeDirectory) == 0) {
        return false;
      }
      start = T::AsPosition(static_cast<std::int64_t>(level.size()) + 2);
    }
    return true;
  } catch (const ErrorObject&) {
    return false;
  }
}

std::u16string FileWorks::SystemDirectory(bool windows_directory) {
  const auto query =
      windows_directory ? platform::GetWindowsDirectoryA : platform::GetSystemDirectoryA;
  char probe[1] = {'\0'};
  const platform::UINT needed = query(probe, 1);
  if (needed <= 1) return std::u16string();
  std::vector<char> buffer(needed, '\0');
  platform::UINT length = query(buffer.data(), needed);
  if (length >= needed) length = 0;  // the directory changed in between
  return AnsiText::Decode(buffer.data(), length);
}

std::u16string FileWorks::GetWinDir() { return SystemDirectory(true); }

std::u16string FileWorks::GetWinSysDir() { return SystemDirectory(false); }

std::u16string FileWorks::GetTempDir() {
  std::u16string directory = EnvironmentValue(u"temp");
  if (directory.empty()) directory = EnvironmentValue(u"tmp");
  return directory;
}

}  // namespace quorvane
