// The hive reader on any file: qv reg restore either replaces the key's tree
// with what the file holds or refuses it in words, and never crashes.
#include <unistd.h>

#include <cstdio>
#include <string>

#include <quorvane/platform/platform.h>
#include "fuzz/fuzz_input.h"
#include "tools/qv/cli/cli.h"
#include "tools/qv/hive/hive_file.h"
#include "tools/qv/keys/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quorvane::qv::HiveFile;
  using quorvane::qv::RegFile;
  using quorvane::qv::RegistryPath;
  static const std::string file = "/tmp/qv-hive-fuzzer-" + std::to_string(::getpid()) + ".hiv";
  if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  } else {
    return 0;
  }
  const RegistryPath key = RegistryPath::Parse(u"HKCU\\Software\\QvHiveFuzz");
  try {
    RegFile::CreateKey(key);
    const int keys = HiveFile::Restore(key, file);
    quorvane::fuzz::Require(keys >= 1);
  } catch (const quorvane::qv::ToolFailure&) {
    // Refused, which is what a damaged hive should get.
  } catch (const quorvane::ErrorObject&) {
    // The registry's own refusal (a name it cannot hold, a limit).
  }
  std::remove(file.c_str());
  return 0;
}
