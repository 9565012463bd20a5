// qv-regedit: `qv regedit`, a program of its own (qv starts it) since it
// links an HTTP library that qv's other commands have no use for.
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <quorvane/core/error_object.h>
#include "tools/qv/cli/cli.h"

namespace quorvane::qv {
int RunRegedit(Arguments& arguments);
}  // namespace quorvane::qv

int main(int argc, char** argv) {
  try {
    quorvane::qv::Arguments arguments(quorvane::qv::CommandLineWords(argc, argv));
    return quorvane::qv::RunRegedit(arguments);
  } catch (const quorvane::qv::UsageError& usage) {
    std::fprintf(stderr, "qv: %s (try 'qv regedit --help')\n", usage.hint.c_str());
    return 1;
  } catch (const quorvane::ErrorObject& error) {
    quorvane::qv::ReportError(error, false);
    return 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qv: %s\n", failure.what());
    return 1;
  }
}
