// Command-line words on POSIX hosts: UTF-8.
#include "tools/qv/cli.h"

namespace quorvane::qv {

std::vector<std::u16string> CommandLineWords(int argc, char** argv) {
  std::vector<std::u16string> words;
  for (int i = 1; i < argc; ++i) words.push_back(Cli::Utf16(argv[i]));
  return words;
}

}  // namespace quorvane::qv
