// Command-line words on Windows: the wide command line, so that any name
// arrives unchanged.
#include <windows.h>  // first: the other Windows headers build on it

#include <shellapi.h>

#include "tools/qv/cli.h"

namespace quorvane::qv {

std::vector<std::u16string> CommandLineWords(int, char**) {
  std::vector<std::u16string> words;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; wide != nullptr && i < count; ++i) {
    words.emplace_back(reinterpret_cast<const char16_t*>(wide[i]));
  }
  ::LocalFree(wide);
  return words;
}

}  // namespace quorvane::qv
