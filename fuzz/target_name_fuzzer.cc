// GetTargetName: a name or error 6; "*.*" gives back a plain name unchanged.
#include <quorvane/fileworks/fileworks.h>
#include "fuzz/fuzz_input.h"

using quorvane::ErrorObject;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::u16string file = input.PathText(60);
  const std::u16string pattern = input.PathText(60);
  quorvane::FileWorks files;
  try {
    (void)files.GetTargetName(file, pattern);
  } catch (const ErrorObject& error) {
    quorvane::fuzz::RequireNumber(error, {6});
  }
  // A name without blanks that does not end in "." keeps itself under *.*.
  if (file.find(u' ') == std::u16string::npos && (file.empty() || file.back() != u'.')) {
    quorvane::fuzz::Require(files.GetTargetName(file, u"*.*") == file);
  }
  quorvane::fuzz::Require(files.GetTargetName(file, u"").empty());
  return 0;
}
