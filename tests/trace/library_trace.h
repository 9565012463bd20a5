// The same kind of sequence through the library's own operations: what a
// host sees, errors included.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include <quorvane/core/error_object.h>
#include <quorvane/core/variant.h>
#include <quorvane/registry/registry.h>
#include "tests/trace/trace_printing.h"
#include "tests/trace/trace_shapes.h"

namespace quorvane::trace {

class LibraryTrace {
 public:
  explicit LibraryTrace(std::uint64_t seed) : random_(seed) {}

  void Run(int calls);

 private:
  static void Clean();
  static void RemoveTree(Registry& registry, HKEY root, const std::u16string& path);

  void Print(const std::string& line) { std::printf("%s\n", line.c_str()); }

  // Runs `call` and prints what it returned or raised.
  template <typename Call>
  void Trace(const std::string& what, Call&& call) {
    std::string outcome;
    try {
      outcome = "ok " + call();
    } catch (const ErrorObject& error) {
      outcome = "error " + std::to_string(error.Number()) + " " + Shown(error.Source()) + " " +
                Shown(error.Description());
    }
    Print(what + " -> " + outcome);
  }

  static std::string ShownValue(const Variant& value);

  // Key paths below one of the trace's keys, in any case.
  std::pair<const Base*, std::u16string> PickBranch();
  Variant PickVariant();
  void Step();
  void Setting();

  Random random_;
};

}  // namespace quorvane::trace
