// Command-line words on Windows: the wide command line, so that any name
// arrives unchanged.
#include <windows.h>  // first: the other Windows headers build on it

#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

bool StandardInputIsInteractive() { return ::_isatty(::_fileno(stdin)) != 0; }

namespace {

std::wstring WidePath(const std::string& path) {
  const std::u16string text = Cli::Utf16(path);
  return std::wstring(text.begin(), text.end());
}

[[noreturn]] void Failed(const std::string& what, const std::string& path) {
  const DWORD error = ::GetLastError();
  char reason[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   reason, sizeof reason, nullptr);
  std::string text = reason;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  throw ToolFailure("cannot " + what + " " + path + ": " + text + " (" + std::to_string(error) +
                    ")");
}

}  // namespace

void ReplaceFileDurably(const std::string& path, const std::string& bytes) {
  const std::wstring target = WidePath(path);
  const std::wstring temporary = target + L".qv-new";
  HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Failed("create a file beside", path);
  std::size_t done = 0;
  bool written = true;
  while (written && done < bytes.size()) {
    DWORD count = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    written = ::WriteFile(file, bytes.data() + done, chunk, &count, nullptr) != 0 && count > 0;
    done += count;
  }
  if (!written || ::FlushFileBuffers(file) == 0) {
    ::CloseHandle(file);
    ::DeleteFileW(temporary.c_str());
    Failed("write", path);
  }
  ::CloseHandle(file);
  if (::MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    ::DeleteFileW(temporary.c_str());
    Failed("replace", path);
  }
}

}  // namespace quorvane::qv
