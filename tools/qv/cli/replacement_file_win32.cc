#include <windows.h>  // first: the other Windows headers build on it

#include <algorithm>
#include <string>

#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/replacement_file.h"

namespace quorvane::qv {
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

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path)
    : path_(path), target_(path), temporary_(path + ".qv-new") {
  const HANDLE file = ::CreateFileW(WidePath(temporary_).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Failed("create a file beside", path_);
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

ReplacementFile::~ReplacementFile() {
  if (handle_ != -1) ::CloseHandle(Native(handle_));
  if (!committed_) ::DeleteFileW(WidePath(temporary_).c_str());
}

void ReplacementFile::Write(std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD count = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (::WriteFile(Native(handle_), bytes.data() + done, chunk, &count, nullptr) == 0 ||
        count == 0) {
      Failed("write", path_);
    }
    done += count;
  }
}

void ReplacementFile::Commit() {
  if (::FlushFileBuffers(Native(handle_)) == 0) Failed("write", path_);
  ::CloseHandle(Native(handle_));
  handle_ = -1;
  if (::MoveFileExW(WidePath(temporary_).c_str(), WidePath(target_).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    Failed("replace", path_);
  }
  committed_ = true;
}

}  // namespace quorvane::qv
