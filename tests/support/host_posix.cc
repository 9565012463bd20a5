// Test helpers that touch the host directly: POSIX hosts, portable backend.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include "tests/support/test_support.h"

namespace quorvane::testing_support {

ScratchDirectory::ScratchDirectory() {
  std::string host = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  if (::mkdtemp(host.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  // The default drive table maps Z: to "/", as Wine does.
  std::u16string name = u"Z:" + Widen(host);
  for (char16_t& unit : name) {
    if (unit == u'/') unit = u'\\';
  }
  path_ = name;
}

namespace {

std::string HostPath(const std::u16string& name) {
  std::string host = Narrow(name.substr(2));
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

}  // namespace

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(HostPath(path_), ignored);
}

void ScratchDirectory::WriteFile(const std::u16string& relative, const std::string& content) const {
  std::ofstream(HostPath(path_ + u"\\" + relative)) << content;
}

std::string ScratchDirectory::HostName() const { return HostPath(path_); }

void ScratchDirectory::MakeCurrent() const { std::filesystem::current_path(HostPath(path_)); }

void SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove) {
  // The emulated process environment, as SetEnvironmentVariableW changes it
  // on Windows; the host's own environment is left alone.
  (void)platform::SetEnvironmentVariableW(name.c_str(), remove ? nullptr : value.c_str());
}

std::string ComputerName() {
  if (const char* chosen = std::getenv("COMPUTERNAME"); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  const std::string host = name;
  return host.substr(0, host.find('.'));
}

bool ProcessIs32Bit() { return platform::portable::TestControls::ProcessIs32Bit(); }

char16_t SystemUpperCase(char16_t unit) { return platform::portable::NameFolding::UpperCase(unit); }

bool RunsUnderWine() { return false; }

}  // namespace quorvane::testing_support
