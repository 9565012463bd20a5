// Registry key names as users type them: refused with a usage error, or read
// into a path whose full name reads back as the same path.
#include "fuzz/fuzz_input.h"
#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/registry_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quorvane::fuzz::Require;
  quorvane::fuzz::FuzzInput input(data, size);
  static const char16_t* const kPieces[] = {u"HKLM", u"hkcu", u"HKEY_USERS", u"HKCR",
                                            u"\\",   u"\\\\", u"Software",   u"x",
                                            u" ",    u"HKCC", u"HKPD"};
  std::u16string text;
  const int count = input.Byte() % 8;
  for (int i = 0; i < count; ++i) {
    text += input.Byte() % 3 == 0 ? input.Text(3)
                                  : kPieces[input.Byte() % (sizeof kPieces / sizeof kPieces[0])];
  }
  try {
    const quorvane::qv::RegistryPath path = quorvane::qv::RegistryPath::Parse(text);
    Require(path.root != 0);
    const quorvane::qv::RegistryPath again = quorvane::qv::RegistryPath::Parse(path.FullName());
    Require(again.root == path.root && again.branch == path.branch && again.machine.empty());
  } catch (const quorvane::qv::UsageError&) {
  }
  return 0;
}
