// The portable backend's file system and environment: Windows names mapped onto
// a POSIX file system through a drive table, as a Windows emulator does.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quorvane::platform::portable {

class FileSystemEmulator {
 public:
  FileSystemEmulator();

  FindHandle FindFirst(const std::u16string& pattern, FindData* data, DWORD* error);
  bool FindNext(FindHandle find, FindData* data, DWORD* error);
  bool FindClose(FindHandle find);
  bool CreateDirectory(const std::u16string& path, DWORD* error);
  DWORD GetAttributes(const std::u16string& path, DWORD* error);

  void SetDrive(char16_t letter, const std::string& host_directory);
  void SetWindowsDirectory(const std::u16string& path);
  void SetSystemDirectory(const std::u16string& path);
  [[nodiscard]] std::u16string WindowsDirectory();
  [[nodiscard]] std::u16string SystemDirectory();

 private:
  // The host path for a Windows name, or a Windows error code; wildcards may
  // stand in the last component of a search pattern only.
  DWORD ToHostPath(const std::u16string& windows_name, std::string* host, bool wildcards_in_last);
  std::string CurrentDriveRoot();

  std::mutex mutex_;
  std::map<char16_t, std::string> drives_;  // upper-case letter to host directory
  std::u16string windows_directory_;
  std::u16string system_directory_;
  std::map<FindHandle, std::pair<std::vector<FindData>, std::size_t>> searches_;
  FindHandle next_search_ = 1;
};

}  // namespace quorvane::platform::portable
