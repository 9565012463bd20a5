// FileWorks: path text, drives and UNC names, versions, wildcard target names,
// directories and existence. It has no state; any instance serves.
//
// Text is UTF-16; positions are held in 16 bits, so a separator, dot, colon or
// bracket that a member has to locate beyond position 32767 raises error 6
// (overflow). A null Variant where text is read raises error 94. All errors are
// ErrorObject with source "qvSupport". Separator arguments default to "\".
// Arguments taken by non-const reference are rewritten, as each member says;
// all others are only read.
#pragma once

#include <cstdint>
#include <string>

#include <quorvane/core/error_object.h>
#include <quorvane/core/variant.h>

namespace quorvane {

class FileWorks {
 public:
  // ---- Splitting paths: text only, nothing normalised. ----

  // The directory part, without its last separator.
  //   C:\dir\file.txt -> C:\dir        \\server -> \        file.txt -> ""
  //   \file.txt -> ""                  a/b/c with "/" -> a/b
  [[nodiscard]] std::u16string GetPath(const std::u16string& Pathname,
                                       const std::u16string& PathSepChar = u"\\");
  // The part after the last separator; the whole name when there is none or
  // it is only at position 1.
  //   C:\dir\file.txt -> file.txt      C:\dir\ -> ""        \file.txt -> \file.txt
  [[nodiscard]] std::u16string GetFile(const std::u16string& Pathname,
                                       const std::u16string& PathSepChar = u"\\");
  // The file part cut before its first ".".
  //   C:\dir\file.txt -> file          archive.tar.gz -> archive     .profile -> ""
  [[nodiscard]] std::u16string GetFileLessExt(const std::u16string& Pathname,
                                              const std::u16string& PathSepChar = u"\\");
  // What follows the first "." of the whole text (no separator is looked for).
  //   file.txt -> txt   archive.tar.gz -> tar.gz   file. -> ""   C:\my.dir\file -> dir\file
  [[nodiscard]] std::u16string GetExt(const std::u16string& FileName);
  // DirName ending in the separator; "" stays "".
  //   C:\dir -> C:\dir\     C:\dir\ -> C:\dir\     "" -> ""     dir with "" -> dir
  [[nodiscard]] std::u16string AddSlash(const std::u16string& DirName,
                                        const std::u16string& SpecifyCharToUse = u"\\");
  // DirName without one trailing separator (only a one-unit separator matches).
  //   C:\dir\ -> C:\dir     C:\dir\\ -> C:\dir\     \ -> ""
  [[nodiscard]] std::u16string RemoveSlash(const std::u16string& DirName,
                                           const std::u16string& SpecifyCharToUse = u"\\");
  // The text form of Path without one leading "\".
  //   \dir\file -> dir\file     \\server\share -> \server\share     12 -> 12
  [[nodiscard]] std::u16string RemoveLeadSlash(const Variant& Path);

  // ---- Drives, servers and UNC names: text only. ----

  // The drive (up to the first ":") or the UNC volume at the front, or "".
  //   C:\dir\file -> C:      abc:def -> abc:      \\server\share\dir -> \\server\share\ (volume)
  //   \\server\share -> \\server\      \\server -> ""      dir\file -> ""
  [[nodiscard]] std::u16string GetDrive(const std::u16string& psvData);
  // What follows GetDrive's part: GetDrive(x) + RemoveDriveOrVol(x) == x.
  //   C:\dir\file -> \dir\file     \\server\share\dir\file -> dir\file     \\server -> \\server
  [[nodiscard]] std::u16string RemoveDriveOrVol(const Variant& Path);
  // The root directory of a drive entry: text before "[", trimmed, plus "\".
  //   c: [SYSTEM] -> c:\     C:\ -> C:\     \\server\share -> \\server\share\     [x] -> ""
  [[nodiscard]] std::u16string GetRootDrive(const Variant& psvDrive);
  // The machine name of a UNC path. Rewrites psvPath with the name (untrimmed
  // where it was cut at a "\"); leaves it untouched when nothing was cut.
  //   \\server\share\dir -> server (psvPath: server)     C:\dir -> C: (psvPath: C:)
  //   \\ srv \x -> srv (psvPath: "srv ")                   " server " -> server (untouched)
  [[nodiscard]] std::u16string GetMachineName(Variant& psvPath);
  // "\\" in front unless already there.
  //   server -> \\server     \\server -> \\server     \server -> \\\server     "" -> ""
  [[nodiscard]] std::u16string AddServerSlashes(const std::u16string& psvName);
  // Without the leading "\\" and trimmed; UNC is rewritten with the result
  // when it began with "\\".
  //   \\server -> server     "\\ server " -> server     \server -> \server (untouched)
  [[nodiscard]] std::u16string RemoveServerSlashes(std::u16string& UNC);
  // The part of a UNC path below the server. pvPathName is rewritten with the
  // path without its "\\" when it had one (and was longer than 2).
  //   \\server\share\dir -> share\dir (pvPathName: server\share\dir)
  //   \\server -> \\server (pvPathName: server)      C:\dir -> C:\dir (untouched)
  //   null -> null; a number -> the number, untouched
  [[nodiscard]] Variant RemoveServer(Variant& pvPathName);
  // Spec with "\\" in front unless it starts with "\\" or has ":" second.
  //   C:\dir -> C:\dir     dir\file -> \\dir\file     \\s\x -> \\s\x     "" -> \\ (two)
  [[nodiscard]] std::u16string CheckForDrive(const std::u16string& Spec);

  // ---- Versions and target names. ----

  // Whether version 1 is strictly greater than version 2. Up to four signed
  // 16-bit fields; fewer fields fill from the right: 1.2 is 1.0.0.2. Fields are
  // read in the user's locale (blanks ignored, fractions rounded half to even).
  // Both arguments are consumed in place: each is left holding the text after
  // its last separator read (1.2.3.4 -> 4, 1.2 -> 2); one without "." keeps its
  // value. Errors: 13 for an empty or non-numeric field, 6 outside -32768 to
  // 32767, 94 for null; the arguments keep what was consumed before.
  //   1.10.0.0 > 1.9.0.0 -> true      1.2 > 1.1.5 -> false      0 > -1 -> true
  [[nodiscard]] bool VersionGreater(Variant& psvVer1, Variant& psvVer2);

  // The target name for a source name under a pattern with "*" and "?".
  //   readme.txt, *.bak -> readme.bak       archive.tar.gz, *.* -> archive.tar.gz
  //   readme.txt, ??b*.t?t -> rebdme.txt     readme.txt, x* -> xeadme.txt
  //   readme.txt, ??? -> rea                 readme, *.* -> readme
  [[nodiscard]] std::u16string GetTargetName(const std::u16string& FileName,
                                             const std::u16string& Pattern);

  // ---- The file system and the environment. ----

  // Whether at least one ordinary file (not a directory, not hidden, not
  // system) matches FileName, which may hold "*" and "?". A missing file,
  // directory or match is false. A name the platform rejects raises 52 (bad
  // name), 68 (drive or network unavailable) or 75 (any other failure).
  [[nodiscard]] bool Exists(const std::u16string& FileName);
  // Creates every level of a "\"-separated directory path below its drive or
  // network root, outermost first; true when all levels are directories
  // afterwards. Never raises: any failure answers false. A level that exists
  // as a file gives false and no deeper level is tried.
  //   C:\a\b -> tries C:\a then C:\a\b     C: or \\server\share -> true, nothing done
  [[nodiscard]] bool MakeSureDirExists(const std::u16string& psvDirSpec);
  // The Windows and system directories as the platform reports them (no "\"
  // added or removed), "" when it cannot.
  [[nodiscard]] std::u16string GetWinDir();
  [[nodiscard]] std::u16string GetWinSysDir();
  // The value of "temp", else of "tmp" (case ignored), exactly as stored; "".
  [[nodiscard]] std::u16string GetTempDir();

 private:
  // Where the last occurrence of `separator` begins, 0 when there is none.
  [[nodiscard]] std::int16_t FindLastSeparator(const std::u16string& Pathname,
                                               const std::u16string& separator);
  [[nodiscard]] std::u16string FilePart(const std::u16string& Pathname,
                                        const std::u16string& separator);
  // The length of the drive or volume GetDrive finds at the front of `text`.
  [[nodiscard]] std::int32_t DriveLength(const std::u16string& text);
  // Reads one version into four fields, consuming the argument.
  void ReadVersion(Variant& version, std::int16_t fields[4]);
  // Splits a name at its first "." into the base as it is and the trimmed
  // rest; false (and an empty extension) when there is no ".".
  bool SplitAtFirstDot(const std::u16string& name, std::u16string* base, std::u16string* ext);
  // The wildcards of one part of a target name: a "*" takes the source from its position
  // on, then each "?" takes the source character at its position.
  [[nodiscard]] std::u16string ApplyWildcards(std::u16string pattern, const std::u16string& source);
  [[nodiscard]] std::u16string SystemDirectory(bool windows_directory);
};

}  // namespace quorvane
