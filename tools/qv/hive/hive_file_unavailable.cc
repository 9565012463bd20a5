// Portable builds without hivex: hive files are refused in words.
#include "tools/qv/cli/cli.h"
#include "tools/qv/hive/hive_file.h"

namespace quorvane::qv {

namespace {

[[noreturn]] void Refuse() {
  throw ToolFailure("hive files need hivex, which this build of qv was made without");
}

}  // namespace

bool HiveFile::Available() { return false; }
int HiveFile::Save(const RegistryPath&, const std::string&) { Refuse(); }
int HiveFile::Load(const RegistryPath&, const std::string&) { Refuse(); }
int HiveFile::Unload(const RegistryPath&) { Refuse(); }
void HiveFile::ForEach(const std::string&, const std::string&, const std::function<void(Key&&)>&,
                       int) {
  Refuse();
}

}  // namespace quorvane::qv
