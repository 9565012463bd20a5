// Path members: each returns its documented result or raises 6, and the
// members that belong together agree with each other.
#include <quorvane/fileworks/fileworks.h>
#include "fuzz/fuzz_input.h"

using quorvane::ErrorObject;
using quorvane::FileWorks;
using quorvane::fuzz::Require;
using quorvane::fuzz::RequireNumber;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::u16string separator = input.PathText(3);
  const std::u16string text = input.Byte() % 2 ? input.PathText(200) : input.Text(40000);
  FileWorks files;
  try {
    Require(files.GetDrive(text) + files.RemoveDriveOrVol(text) == text);
  } catch (const ErrorObject& error) {
    RequireNumber(error, {6});
  }
  if (!text.empty() && text.back() != u'\\') {
    Require(files.RemoveSlash(files.AddSlash(text)) == text);
  }
  Require(files.AddSlash(files.AddSlash(text, separator), separator) ==
              files.AddSlash(text, separator) ||
          separator.size() != 1);
  try {
    const std::u16string dir = files.GetPath(text);
    const std::u16string file = files.GetFile(text);
    Require(dir.empty() ? file == text : dir + u"\\" + file == text);
    const std::u16string base = files.GetFileLessExt(text);
    Require(file.compare(0, base.size(), base) == 0);
    (void)files.GetPath(text, separator);
    (void)files.GetFile(text, separator);
    (void)files.GetExt(text);
  } catch (const ErrorObject& error) {
    RequireNumber(error, {6});
  }
  std::u16string unc = text;
  const std::u16string stripped = files.RemoveServerSlashes(unc);
  Require(stripped == unc);
  Require(files.CheckForDrive(text).size() >= text.size());
  try {
    quorvane::Variant path = text;
    (void)files.GetMachineName(path);
    quorvane::Variant server = text;
    (void)files.RemoveServer(server);
    (void)files.GetRootDrive(text);
  } catch (const ErrorObject& error) {
    RequireNumber(error, {6});
  }
  return 0;
}
