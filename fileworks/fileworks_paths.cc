// The path-text members of FileWorks: splitting, separators, drives, servers
// and UNC names.
#include <quorvane/core/error_object.h>
#include <quorvane/fileworks/fileworks.h>
#include <quorvane/fileworks/text_primitives.h>

namespace quorvane {
namespace {

using T = TextPrimitives;

const std::u16string kBackslash = u"\\";
const std::u16string kServerPrefix = u"\\\\";

}  // namespace

std::int16_t FileWorks::FindLastSeparator(const std::u16string& Pathname,
                                          const std::u16string& separator) {
  // The position rules chain forward from one occurrence to the next (each
  // search starting one unit after the previous occurrence began, so that
  // overlapping occurrences all count) and fail with 6 at the first
  // occurrence that begins at 32767 or later. Every occurrence is visited in
  // increasing order, so the answer and the failure both depend on the last
  // occurrence alone, which a search from the end finds directly. An empty
  // separator occurs at every position: its last one is the text's length.
  if (Pathname.empty()) return 0;
  const std::size_t found = separator.empty() ? Pathname.size() - 1 : Pathname.rfind(separator);
  if (found == std::u16string::npos) return 0;
  const auto position = static_cast<std::int64_t>(found) + 1;
  // At 32767 the chain fails too: the position after it has no 16-bit form.
  if (position >= 32767) StandardErrors::Raise(StandardErrors::kOverflow);
  return static_cast<std::int16_t>(position);
}

std::u16string FileWorks::FilePart(const std::u16string& Pathname,
                                   const std::u16string& separator) {
  const std::int16_t last = FindLastSeparator(Pathname, separator);
  return last >= 2 ? T::Mid(Pathname, last + 1) : Pathname;
}

std::u16string FileWorks::GetPath(const std::u16string& Pathname,
                                  const std::u16string& PathSepChar) {
  const std::int16_t last = FindLastSeparator(Pathname, PathSepChar);
  return last >= 2 ? T::Left(Pathname, last - 1) : std::u16string();
}

std::u16string FileWorks::GetFile(const std::u16string& Pathname,
                                  const std::u16string& PathSepChar) {
  return FilePart(Pathname, PathSepChar);
}

std::u16string FileWorks::GetFileLessExt(const std::u16string& Pathname,
                                         const std::u16string& PathSepChar) {
  const std::u16string file = FilePart(Pathname, PathSepChar);
  const std::int16_t dot = T::Find(file, u".", 1);
  return dot >= 1 ? T::Left(file, dot - 1) : file;
}

std::u16string FileWorks::GetExt(const std::u16string& FileName) {
  const std::int16_t dot = T::Find(FileName, u".", 1);
  if (dot >= 1 && T::Length(FileName) > dot) return T::Mid(FileName, T::Next(dot));
  return std::u16string();
}

std::u16string FileWorks::AddSlash(const std::u16string& DirName,
                                   const std::u16string& SpecifyCharToUse) {
  if (DirName.empty()) return std::u16string();
  return T::Right(DirName, 1) == SpecifyCharToUse ? DirName : DirName + SpecifyCharToUse;
}

std::u16string FileWorks::RemoveSlash(const std::u16string& DirName,
                                      const std::u16string& SpecifyCharToUse) {
  if (DirName.empty()) return std::u16string();
  return T::Right(DirName, 1) == SpecifyCharToUse ? T::Left(DirName, T::Length(DirName) - 1)
                                                  : DirName;
}

std::u16string FileWorks::RemoveLeadSlash(const Variant& Path) {
  std::u16string text = Path.ToText();
  if (!text.empty() && T::Left(text, 1) == kBackslash) return T::Right(text, T::Length(text) - 1);
  return text;
}

std::int32_t FileWorks::DriveLength(const std::u16string& text) {
  const std::int16_t colon = T::Find(text, u":", 1);
  if (colon >= 1) return colon;
  std::int32_t length = 0;
  if (T::Left(text, 2) == kServerPrefix && T::Length(text) > 3) {
    const std::int16_t server_end = T::Find(text, kBackslash, 3);
    if (server_end >= 1) {
      length = server_end;
      const std::int16_t share_start = T::Next(server_end);
      if (T::Length(text) >= share_start) {
        const std::int16_t share_end = T::Find(text, kBackslash, share_start);
        if (share_end >= 1) length = share_end;
      }
    }
  }
  return length;
}

std::u16string FileWorks::GetDrive(const std::u16string& psvData) {
  return T::Left(psvData, DriveLength(psvData));
}

std::u16string FileWorks::RemoveDriveOrVol(const Variant& Path) {
  const std::u16string text = Path.ToText();
  return T::Right(text, T::Length(text) - DriveLength(text));
}

std::u16string FileWorks::GetRootDrive(const Variant& psvDrive) {
  const std::u16string text = psvDrive.ToText();
  const std::int16_t bracket = T::Find(text, u"[", 1);
  const std::u16string drive = bracket < 1 ? T::Trim(text) : T::Trim(T::Left(text, bracket - 1));
  return AddSlash(drive, kBackslash);
}

std::u16string FileWorks::GetMachineName(Variant& psvPath) {
  std::u16string name = psvPath.ToText();
  if (T::Left(name, 2) == kServerPrefix) {
    name = T::Trim(T::Mid(name, 3));
    psvPath = name;
  }
  if (T::Left(name, 1) == kBackslash) {
    name = T::Trim(T::Mid(name, 2));
    psvPath = name;
  }
  const std::int16_t slash = T::Find(name, kBackslash, 1);
  if (slash >= 1) {
    name = T::Left(name, slash - 1);
    psvPath = name;
  }
  return T::Trim(name);
}

std::u16string FileWorks::AddServerSlashes(const std::u16string& psvName) {
  if (psvName.empty()) return std::u16string();
  if (psvName.size() == 1 || T::Left(psvName, 2) != kServerPrefix) return kServerPrefix + psvName;
  return psvName;
}

std::u16string FileWorks::RemoveServerSlashes(std::u16string& UNC) {
  if (T::Left(UNC, 2) == kServerPrefix) UNC = T::Trim(T::Mid(UNC, 3));
  return UNC;
}

Variant FileWorks::RemoveServer(Variant& pvPathName) {
  Variant result = pvPathName;
  if (pvPathName.IsNull()) return result;
  const std::u16string text = pvPathName.ToText();
  if (T::Length(text) > 2 && T::Left(text, 2) == kServerPrefix) {
    const std::u16string below_prefix = T::Trim(T::Mid(text, 3));
    pvPathName = below_prefix;
    const std::int16_t slash = T::Find(below_prefix, kBackslash, 1);
    if (slash >= 1) result = T::Trim(T::Mid(below_prefix, T::Next(slash)));
  }
  return result;
}

std::u16string FileWorks::CheckForDrive(const std::u16string& Spec) {
  if (T::Left(Spec, 2) != kServerPrefix && T::Mid(Spec, 2, 1) != u":") return kServerPrefix + Spec;
  return Spec;
}

}  // namespace quorvane
