// The portable backend's file system and environment: Windows names mapped onto
// a POSIX file system through a drive table, as a Windows emulator does.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>

namespace quorvane::platform::portable {

class FileSystemEmulator {
 public:
  // `default_drive_c`: the host folder that holds the emulated C: drive when
  // QV_DRIVES maps none ("" for no C: drive). It is given what a Windows
  // machine has: windows, windows\system32 and users\<name>\Temp.
  explicit FileSystemEmulator(const std::string& default_drive_c);

  // The user's temporary folder as a Windows name ("" without a C: drive).
  [[nodiscard]] std::u16string UserTempDirectory() const { return user_temp_; }

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
  std::u16string user_temp_;
  std::map<FindHandle, std::pair<std::vector<FindData>, std::size_t>> searches_;
  FindHandle next_search_ = 1;
};

}  // namespace quorvane::platform::portable
