// Helpers shared by the tests of both backends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/registry/registry.h>

namespace quorvane {

// Reaches Registry's private members.
class RegistryTestPeer {
 public:
  static bool CheckRegistryResult(std::int32_t result) {
    return Registry().CheckRegistryResult(result);
  }
  static std::u16string AddMachinePrefix(const std::u16string& name) {
    return Registry().AddMachinePrefix(name);
  }
};

namespace testing_support {

// The registry error of a key that is not there ("The registry key is invalid").
constexpr std::int32_t kKeyInvalid = Registry::RegistryErrorBase + 2;

std::string Narrow(const std::u16string& text);  // UTF-8, for messages
std::u16string Widen(const std::string& ascii);
// This machine's name as the system knows it (host-specific).
std::string ComputerName();
// Whether the win32 backend runs under Wine, where a few answers differ from
// documented Windows (each such case says so where it accepts Wine's answer).
bool RunsUnderWine();
// Whether the process the tests model is a 32-bit one on 64-bit Windows, whose
// registry calls see the 32-bit view: the i686 build under WoW64, or the
// portable backend built for 32 bits or told so (QV_PROCESS_BITS=32).
bool ProcessIs32Bit();
// The system's upper case of a UTF-16 unit (CharUpperW on Windows).
char16_t SystemUpperCase(char16_t unit);

// Runs `call`, expects it to raise an ErrorObject, and returns it.
template <typename Call>
ErrorObject CatchError(Call&& call) {
  try {
    call();
  } catch (const ErrorObject& error) {
    return error;
  }
  ADD_FAILURE() << "expected an error, none was raised";
  return ErrorObject(0, u"", u"");
}

#define EXPECT_RAISES(number, statement) \
  EXPECT_EQ(::quorvane::testing_support::CatchError([&] { (void)(statement); }).Number(), (number))

// A key of its own for one test, under HKEY_CURRENT_USER\Software\QuorvaneTest,
// deleted with everything below it when the test ends.
class ScratchKey {
 public:
  explicit ScratchKey(HKeyValue root = kHkeyCurrentUser);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  [[nodiscard]] HKeyValue Root() const { return root_; }
  [[nodiscard]] const std::u16string& Path() const { return path_; }
  [[nodiscard]] std::string AnsiPath() const { return Narrow(path_); }
  // Path + "\" + relative.
  [[nodiscard]] std::u16string Below(const std::u16string& relative) const {
    return path_ + u"\\" + relative;
  }

 private:
  HKeyValue root_;
  std::u16string path_;
};

// Deletes a key and its subkeys through the platform layer.
void DeleteTree(platform::HKEY root, const std::string& path);

// Reads a value's type and bytes through the platform layer.
struct RawValue {
  platform::LONG result = 0;
  platform::DWORD type = 0;
  std::string bytes;
};
RawValue ReadRaw(platform::HKEY root, const std::string& path, const std::string& name);
platform::LONG WriteRaw(platform::HKEY root, const std::string& path, const std::string& name,
                        platform::DWORD type, const std::string& bytes);

// A directory of its own for one test below the system's temporary directory,
// removed with its contents afterwards. Path() is the Windows name of it.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  [[nodiscard]] const std::u16string& Path() const { return path_; }
  void WriteFile(const std::u16string& relative, const std::string& content = "x") const;
  // The directory as the host names it.
  [[nodiscard]] std::string HostName() const;
  // Makes this directory the process's current one.
  void MakeCurrent() const;

 private:
  std::u16string path_;
};

// Sets (or with `remove`, removes) a variable of this process's environment.
void SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove = false);

}  // namespace testing_support
}  // namespace quorvane
