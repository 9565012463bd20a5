// VersionGreater: a result or one of 13, 6, 94; never both a > b and b > a.
#include <quorvane/fileworks/fileworks.h>
#include "fuzz/fuzz_input.h"

using quorvane::ErrorObject;
using quorvane::FileWorks;
using quorvane::Variant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::u16string first = input.PathText(24);
  const std::u16string second = input.PathText(24);
  FileWorks files;
  try {
    Variant a = first;
    Variant b = second;
    const bool greater = files.VersionGreater(a, b);
    Variant c = second;
    Variant d = first;
    const bool reverse = files.VersionGreater(c, d);
    quorvane::fuzz::Require(!(greater && reverse));
    Variant e = first;
    Variant f = first;
    quorvane::fuzz::Require(!files.VersionGreater(e, f));
  } catch (const ErrorObject& error) {
    quorvane::fuzz::RequireNumber(error, {13, 6, 94});
  }
  return 0;
}
