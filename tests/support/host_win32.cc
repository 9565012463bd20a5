// Test helpers that touch the host directly: Windows, win32 backend.
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"

namespace quorvane::testing_support {
namespace {

std::filesystem::path HostPath(const std::u16string& name) {
  return std::filesystem::path(std::wstring(name.begin(), name.end()));
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  static int counter = 0;
  const std::wstring name = std::wstring(temp, length) + L"qvtest-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++counter);
  ::CreateDirectoryW(name.c_str(), nullptr);
  path_.assign(name.begin(), name.end());
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(HostPath(path_), ignored);
}

void ScratchDirectory::WriteFile(const std::u16string& relative, const std::string& content) const {
  std::ofstream(HostPath(path_ + u"\\" + relative)) << content;
}

std::string ScratchDirectory::HostName() const { return HostPath(path_).string(); }

void ScratchDirectory::MakeCurrent() const { std::filesystem::current_path(HostPath(path_)); }

void SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove) {
  const std::wstring wide_name(name.begin(), name.end());
  const std::wstring wide_value(value.begin(), value.end());
  ::SetEnvironmentVariableW(wide_name.c_str(), remove ? nullptr : wide_value.c_str());
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  ::GetComputerNameA(name, &size);
  return name;
}

bool ProcessIs32Bit() { return sizeof(void*) == 4; }

char16_t SystemUpperCase(char16_t unit) {
  wchar_t text[2] = {static_cast<wchar_t>(unit), 0};
  ::CharUpperW(text);
  return static_cast<char16_t>(text[0]);
}

bool RunsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace quorvane::testing_support
