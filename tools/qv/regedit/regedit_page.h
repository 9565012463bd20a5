// The regedit page: plain HTML, CSS and JavaScript kept in regedit/page/
// and built into the program, so that it needs no network.
#pragma once

namespace quorvane::qv {

class RegeditPage {
 public:
  static const char* Html();
  static const char* Script();
  static const char* FilesScript();
  static const char* Style();
};

}  // namespace quorvane::qv
