// What every build's hive files share: a restore is a read of the whole hive,
// then one transaction that replaces the key's tree.
#include "tools/qv/hive/hive_file.h"

#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {

RegistryPath HiveFile::Below(const RegistryPath& top, const std::u16string& below) {
  RegistryPath path = top;
  if (!below.empty()) path.branch += (path.branch.empty() ? u"" : u"\\") + below;
  return path;
}

int HiveFile::Restore(const RegistryPath& top, const std::string& file_name) {
  const std::vector<Key> keys = Read(file_name, "nothing restored");
  RegistryBatch transaction(true);
  RegFile::RequireKey(top);
  for (const std::u16string& name : RegFile::SubkeyNames(top)) {
    RegFile::DeleteTree(Below(top, name));
  }
  RegFile::DeleteValues(top);
  for (const Key& key : keys) RegFile::WriteValues(Below(top, key.below), key.values);
  transaction.Wrote(top.root);
  transaction.Commit();
  return static_cast<int>(keys.size());
}

}  // namespace quorvane::qv
