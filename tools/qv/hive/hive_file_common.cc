// What every build's hive files share: a restore is one transaction that
// replaces the key's tree as the hive is read; a read of the whole hive is
// each of its keys kept.
#include "tools/qv/hive/hive_file.h"

#include <algorithm>

#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {

RegistryPath HiveFile::Below(const RegistryPath& top, const std::u16string& below) {
  RegistryPath path = top;
  if (!below.empty()) path.branch += (path.branch.empty() ? u"" : u"\\") + below;
  return path;
}

std::vector<HiveFile::Key> HiveFile::Read(const std::string& file_name,
                                          const std::string& consequence) {
  std::vector<Key> keys;
  ForEach(
      file_name, consequence, [&keys](Key&& key) { keys.push_back(std::move(key)); },
      KeyTree::kMaxDepth);
  return keys;
}

int HiveFile::Restore(const RegistryPath& top, const std::string& file_name) {
  RegistryBatch transaction(true);
  RegFile::RequireKey(top);
  for (const std::u16string& name : RegFile::SubkeyNames(top)) {
    RegFile::DeleteTree(Below(top, name));
  }
  RegFile::DeleteValues(top);
  // As deep below `top` as the registry has room for below its root.
  const auto top_depth = static_cast<int>(
      top.branch.empty() ? 0 : std::count(top.branch.begin(), top.branch.end(), u'\\') + 1);
  int keys = 0;
  ForEach(
      file_name, "nothing restored",
      [&](Key&& key) {
        RegFile::WriteValues(Below(top, key.below), key.values);
        ++keys;
      },
      KeyTree::kMaxDepth - top_depth);
  transaction.Wrote(top.root);
  transaction.Commit();
  return keys;
}

}  // namespace quorvane::qv
