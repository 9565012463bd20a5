// qv regedit [--port N] [--no-browser]: the registry in a browser page on
// this machine (see regedit_server.h), opened with xdg-open.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/qv/cli/cli.h"
#include "tools/qv/regedit/regedit_server.h"

namespace quorvane::qv {

namespace {

constexpr const char* kHelp =
    "usage: qv regedit [--port N] [--no-browser]\n"
    "\n"
    "Serves the registry as a page on 127.0.0.1 for you alone and opens it in\n"
    "your browser (xdg-open), or prints its address with --no-browser. The\n"
    "address holds a random token that every request must bring. The page's\n"
    "Quit button or Ctrl-C ends it; every request is logged to standard error.\n"
    "\n"
    "example:\n"
    "  qv regedit --no-browser\n";

void OpenInBrowser(const std::string& address) {
  const pid_t child = ::fork();
  if (child == 0) {
    // The browser's own output is not the server's.
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execlp("xdg-open", "xdg-open", address.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "qv regedit: no browser opened (xdg-open); open the address above\n");
  }
}

}  // namespace

int RunRegedit(Arguments& arguments) {
  if (arguments.WantsHelp()) {
    Cli::PrintRaw(kHelp);
    return 0;
  }
  RegeditServer::Options options;
  bool browser = true;
  while (!arguments.Empty()) {
    const std::u16string word = arguments.Take("OPTION");
    if (word == u"--no-browser") {
      browser = false;
    } else if (word == u"--port" && !arguments.Empty()) {
      const std::string number = Cli::Utf8(arguments.Take("N"));
      char* end = nullptr;
      const long port = std::strtol(number.c_str(), &end, 10);
      if (*end != '\0' || port < 1 || port > 65535) {
        throw UsageError{"--port takes a number from 1 to 65535"};
      }
      options.port = static_cast<int>(port);
    } else {
      throw UsageError{"regedit takes --port N and --no-browser"};
    }
  }
  options.listening = [browser](const std::string& address) {
    std::printf("qv regedit: %s\n", address.c_str());
    std::fflush(stdout);
    if (browser) OpenInBrowser(address);
  };
  return RegeditServer::Serve(options);
}

}  // namespace quorvane::qv
