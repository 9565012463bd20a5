// The registry and settings operations against their bare platform calls on
// the win32 backend, timed with a plain loop (run under Wine). Prints one
// ratio per operation: the library's time over the platform calls' time.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "registry/registry.h"
#include "settings/self_register_classes.h"

namespace quorvane {
namespace {

namespace p = platform;

double MicrosecondsPerCall(const std::function<void()>& call, int iterations) {
  call();  // warm up
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) call();
  const std::chrono::duration<double, std::micro> elapsed =
      std::chrono::steady_clock::now() - start;
  return elapsed.count() / iterations;
}

void Report(const char* name, const std::function<void()>& library,
            const std::function<void()>& platform_calls, int iterations) {
  const double lib = MicrosecondsPerCall(library, iterations);
  const double base = MicrosecondsPerCall(platform_calls, iterations);
  std::printf("| %-16s | %10.2f | %10.2f | %6.2f |\n", name, lib, base, lib / base);
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) {
  using namespace quorvane;
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 2000;
  const std::u16string branch = u"Software\\QvTiming";
  const char* ansi_branch = "Software\\QvTiming";
  Registry registry;
  SelfRegisterClasses settings;
  registry.CreateKey(kHkeyCurrentUser, branch);
  registry.SetValue(kHkeyCurrentUser, branch, u"text", kRegSz, u"a value");
  settings.QvSaveSetting(u"QvTiming", u"S", u"K", u"v");

  std::printf("| operation        | library us | platform us | ratio |\n");
  std::printf("|------------------|-----------:|-----------:|------:|\n");
  Report(
      "CreateKey", [&] { registry.CreateKey(kHkeyCurrentUser, branch); },
      [&] {
        p::HKEY root = 0, created = 0;
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
        (void)p::RegCreateKeyA(root, ansi_branch, &created);
        p::RegCloseKey(created);
        p::RegCloseKey(root);
      },
      iterations);
  Report(
      "SetValue", [&] { registry.SetValue(kHkeyCurrentUser, branch, u"text", kRegSz, u"a value"); },
      [&] {
        p::HKEY key = 0;
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, ansi_branch, 0, 0x3F, &key);
        (void)p::RegSetValueExA(key, "text", 0, p::kRegSz,
                                reinterpret_cast<const p::BYTE*>("a value"), 8);
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "QueryValue", [&] { (void)registry.QueryValue(kHkeyCurrentUser, branch, u"text"); },
      [&] {
        p::HKEY key = 0;
        p::DWORD type = 0, size = 0;
        char buffer[64];
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, ansi_branch, 0, 0x1, &key);
        (void)p::RegQueryValueExA(key, "text", nullptr, &type, nullptr, &size);
        (void)p::RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<p::BYTE*>(buffer),
                                  &size);
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "QueryType", [&] { (void)registry.QueryType(kHkeyCurrentUser, branch, u"text"); },
      [&] {
        p::HKEY key = 0;
        p::DWORD type = 0, size = 0;
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, ansi_branch, 0, p::kKeyRead, &key);
        (void)p::RegQueryValueExA(key, "text", nullptr, &type, nullptr, &size);
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "GetBranchNames", [&] { (void)registry.GetBranchNames(kHkeyCurrentUser, u"Software"); },
      [&] {
        p::HKEY key = 0;
        char name[300];
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, "Software", 0, p::kKeyRead, &key);
        for (p::DWORD i = 0; p::RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) {
        }
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "DeleteValue",
      [&] {
        registry.SetValue(kHkeyCurrentUser, branch, u"gone", kRegSz, u"x");
        registry.DeleteValue(kHkeyCurrentUser, branch, u"gone");
      },
      [&] {
        p::HKEY key = 0;
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, ansi_branch, 0, 0x3F, &key);
        (void)p::RegSetValueExA(key, "gone", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>("x"),
                                2);
        p::RegCloseKey(key);
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, ansi_branch, 0, 0x3F, &key);
        (void)p::RegDeleteValueA(key, "gone");
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "DeleteKey",
      [&] {
        registry.CreateKey(kHkeyCurrentUser, branch + u"\\gone");
        registry.DeleteKey(kHkeyCurrentUser, branch + u"\\gone");
      },
      [&] {
        const std::string gone = std::string(ansi_branch) + "\\gone";
        p::HKEY root = 0, created = 0;
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
        (void)p::RegCreateKeyA(root, gone.c_str(), &created);
        p::RegCloseKey(created);
        p::RegCloseKey(root);
        (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
        (void)p::RegDeleteKeyA(root, gone.c_str());
        p::RegCloseKey(root);
      },
      iterations);
  Report(
      "QvSaveSetting", [&] { settings.QvSaveSetting(u"QvTiming", u"S", u"K", u"v"); },
      [&] {
        const char* setting_branch = "Software\\Quorvane\\QvTiming\\S";
        p::HKEY root = 0, created = 0, key = 0;
        (void)p::RegOpenKeyExA(kHkeyLocalMachine, "", 0, 0x3F, &root);
        (void)p::RegCreateKeyA(root, setting_branch, &created);
        p::RegCloseKey(created);
        p::RegCloseKey(root);
        (void)p::RegOpenKeyExA(kHkeyLocalMachine, setting_branch, 0, 0x3F, &key);
        (void)p::RegSetValueExA(key, "K", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>("v"), 2);
        p::RegCloseKey(key);
      },
      iterations);
  Report(
      "QvGetSetting", [&] { (void)settings.QvGetSetting(u"QvTiming", u"S", u"K", u"d"); },
      [&] {
        p::HKEY key = 0;
        p::DWORD type = 0, size = 0;
        char buffer[64];
        (void)p::RegOpenKeyExA(kHkeyLocalMachine, "Software\\Quorvane\\QvTiming\\S", 0, 0x1, &key);
        (void)p::RegQueryValueExA(key, "K", nullptr, &type, nullptr, &size);
        (void)p::RegQueryValueExA(key, "K", nullptr, &type, reinterpret_cast<p::BYTE*>(buffer),
                                  &size);
        p::RegCloseKey(key);
      },
      iterations);
  registry.DeleteKey(kHkeyCurrentUser, branch);
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvTiming\\S");
  registry.DeleteKey(kHkeyLocalMachine, u"Software\\Quorvane\\QvTiming");
  return 0;
}
