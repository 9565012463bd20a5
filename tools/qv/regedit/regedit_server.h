// qv regedit's web server: one page and its API on the loopback interface,
// for this user alone. Every request must name the session's random token
// (in the path; for a change also in a header, and only by POST), carry a
// Host of this address and, where it has one, an Origin of it too; bodies
// are bounded, one request is served at a time, and each is logged to
// standard error.
#pragma once

#include <functional>
#include <string>

namespace quorvane::qv {

class RegeditServer {
 public:
  struct Options {
    int port = 0;  // 0: any free one
    // Called once the server listens, with the page's address.
    std::function<void(const std::string& address)> listening;
  };
  // Serves until the page's Quit or a signal (SIGINT, SIGTERM). Returns the
  // exit status; ToolFailure when it cannot listen.
  static int Serve(const Options& options);
};

}  // namespace quorvane::qv
