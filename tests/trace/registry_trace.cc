// A seeded random sequence of registry calls, one canonical line per call
// (arguments, result, outputs, handles as stable symbols). Built for both
// backends: the same seed must print the same lines under Wine and natively.
//
//   registry_trace SEED CALLS platform|library
//
// The calls lean toward the edges: names that differ only in case, cp1252
// letters, names of 255 and 256 characters, data of 0 to 5 bytes and of 1 MB,
// buffers too small, enumeration while keys change, deleted keys, read-only
// handles, generic rights, every predefined key and both registry views.
//
// platform_trace.{h,cc} and platform_trace_values.cc make the platform calls,
// library_trace.{h,cc} the library's operations; trace_shapes.h holds what
// calls are made with, trace_printing.h how they print.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/trace/library_trace.h"
#include "tests/trace/platform_trace.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: registry_trace SEED CALLS platform|library\n");
    return 2;
  }
  const std::uint64_t seed = std::strtoull(argv[1], nullptr, 10);
  const int calls = std::atoi(argv[2]);
  const std::string mode = argv[3];
  if (mode == "platform") {
    quorvane::trace::PlatformTrace(seed).Run(calls);
  } else if (mode == "library") {
    quorvane::trace::LibraryTrace(seed).Run(calls);
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  return 0;
}
