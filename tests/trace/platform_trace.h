// A trace of platform calls: keys and values opened, created, set, read,
// enumerated and deleted through the ANSI and the wide calls, handles printed
// as stable symbols. The key calls are in platform_trace.cc, the value calls
// and enumeration in platform_trace_values.cc.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/trace/trace_shapes.h"

namespace quorvane::trace {

class PlatformTrace {
 public:
  explicit PlatformTrace(std::uint64_t seed) : random_(seed) {}

  void Run(int calls);

 private:
  struct Open {
    std::string symbol;
    HKEY handle;
  };
  // Where a call starts: an open handle, or a predefined key with the path of
  // one of the trace's keys in front.
  struct From {
    std::string symbol;
    HKEY key;
    std::string prefix;
    REGSAM view;
  };

  void Print(const std::string& line) { std::printf("%d %s\n", line_++, line.c_str()); }

  From PickFrom();
  std::string PickPath();
  std::string Handle(HKEY handle);

  // Data of a chosen size, followed in memory by a byte that is not zero.
  std::vector<BYTE> PickData(DWORD* size);
  DWORD PickBufferSize();
  // The path a wide call takes: `path`, or a wide-only name below `from`.
  std::u16string WidePath(const From& from, const std::string& path);
  void Step();
  void OpenKey();
  void CreateKey();
  void DeleteKey();

  // Calls on a value go through open handles only: a root's own values are
  // outside the trace's keys.
  bool PickHandle(Open* open);
  void SetValue();
  void QueryValue();
  void DeleteValue();
  void EnumKey();
  void EnumValue();
  void CloseOne();

  // HKEY_PERFORMANCE_DATA keeps nothing; a query with a small buffer is the
  // one answer Wine and Windows share.
  void PerformanceData();

  // Relative to open handles and through the wide calls: the full paths of
  // the trace's deepest keys are too long for the ANSI calls under Wine.
  static void DeleteSubkeys(HKEY key);
  static void DeleteValues(HKEY key);

  // Empties the key and deletes it. RegDeleteKeyW has no view, so the key
  // goes through its parent's handle; a key right below a predefined key in
  // the 32-bit view stays, empty.
  static void DeleteTree(HKEY root, const std::string& path, REGSAM view);

  Random random_;
  std::vector<Open> handles_;
  int next_symbol_ = 1;
  int line_ = 0;
};

}  // namespace quorvane::trace
