// Command-line words on Windows: the wide command line, so that any name
// arrives unchanged.
#include <windows.h>  // first: the other Windows headers build on it

#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/qv/cli/cli.h"

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

const char* RegistryPlace() { return "The registry is Windows' own.\n"; }

void StartRegedit(const std::vector<std::u16string>&) {
  throw ToolFailure("qv regedit runs on the portable build; on Windows, run regedit");
}

void ChooseRegistry(const std::u16string&) {
  throw UsageError{"--registry: on Windows the registry is Windows' own"};
}

// A console, not merely a character device: NUL is one as well.
bool StandardInputIsInteractive() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool StandardErrorIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

std::FILE* OpenRegularFile(const std::string& path) {
  const std::u16string wide = Cli::Utf16(path);
  const std::wstring name(wide.begin(), wide.end());
  std::FILE* file = ::_wfopen(name.c_str(), L"rb");
  if (file == nullptr) throw ToolFailure("cannot read " + path + ": no such file");
  struct _stat64 status {};
  if (::_fstat64(::_fileno(file), &status) != 0 || (status.st_mode & _S_IFREG) == 0) {
    std::fclose(file);
    throw ToolFailure("cannot import " + path + ": it is not a regular file");
  }
  return file;
}

std::uint64_t FileSize(std::FILE* file) {
  struct _stat64 status {};
  return ::_fstat64(::_fileno(file), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

std::string FileStamp(std::FILE* file) {
  struct _stat64 status {};
  if (::_fstat64(::_fileno(file), &status) != 0) return "unknown";
  return std::to_string(status.st_size) + "/" + std::to_string(status.st_mtime);
}

}  // namespace quorvane::qv
