#include "tools/qv/reg/tree_snapshot.h"

#include <fstream>
#include <string_view>

#include <quorvane/platform/platform.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/input_file.h"
#include "tools/qv/hive/hive_file.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/regfile/reg_reader.h"

namespace quorvane::qv {

namespace {

bool LooksLikeHive(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, sizeof magic) && std::string_view(magic, 4) == "regf";
}

// Where `path` lies below `top` ("" for the top itself); false when it does
// not.
bool PathBelow(const std::u16string& top, const std::u16string& path, std::u16string* below) {
  if (Cli::AsciiUpper(path) == Cli::AsciiUpper(top)) {
    below->clear();
    return true;
  }
  if (path.size() <= top.size() + 1 || path[top.size()] != u'\\' ||
      Cli::AsciiUpper(path.substr(0, top.size())) != Cli::AsciiUpper(top)) {
    return false;
  }
  *below = path.substr(top.size() + 1);
  return true;
}

}  // namespace

std::u16string TreeSnapshot::Folded(const std::u16string& below) {
  std::u16string folded = Cli::AsciiUpper(below);
  for (char16_t& unit : folded) {
    if (unit == u'\\') unit = u'\1';
  }
  return folded;
}

void TreeSnapshot::Add(Key key) {
  std::u16string folded = Folded(key.below);
  keys_[std::move(folded)] = std::move(key);
}

TreeSnapshot TreeSnapshot::OfKey(const RegistryPath& top, bool whole_tree) {
  TreeSnapshot snapshot;
  snapshot.top_name_ = top.FullName();
  RegistryBatch read{RegistryBatch::Scan{}};
  if (!whole_tree) {
    snapshot.Add(Key{u"", RegFile::Values(top)});
    for (const std::u16string& name : RegFile::SubkeyNames(top)) snapshot.Add(Key{name, {}});
  } else {
    KeyTree::Walk(top, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      std::u16string below;
      if (visit.depth > 0)
        below = visit.path.branch.substr(top.branch.size() + (top.branch.empty() ? 0 : 1));
      snapshot.Add(Key{below, ValuesOf(visit.key)});
    });
  }
  read.Commit();
  return snapshot;
}

TreeSnapshot TreeSnapshot::OfFile(const std::string& file_name) {
  TreeSnapshot snapshot;
  snapshot.top_name_ = Cli::Utf16(file_name);
  const auto from_hive = [&](const std::vector<HiveFile::Key>& keys) {
    for (const HiveFile::Key& key : keys) snapshot.Add(Key{key.below, key.values});
    return snapshot;
  };
  if (LooksLikeHive(file_name)) return from_hive(HiveFile::Read(file_name, "nothing compared"));
  bool reg_file = true;
  {
    InputFile probe(file_name);
    try {
      RegReader header(probe.Stream());
    } catch (const RegTextError&) {
      reg_file = false;
    }
  }
  if (!reg_file) {
    // A hive in another form, closed again first (Windows' own calls read
    // the ones they write, whatever their form, but not while it is open).
    try {
      return from_hive(HiveFile::Read(file_name, "nothing compared"));
    } catch (const ToolFailure&) {
      throw ToolFailure(file_name + ": neither a .reg file nor a hive file; nothing compared");
    }
  }
  InputFile input(file_name);
  try {
    RegReader reader(input.Stream());
    RegEntry entry;
    std::string error;
    std::u16string top;
    Key* current = nullptr;
    while (reader.Next(&entry, &error)) {
      if (!error.empty()) {
        std::string message = file_name;
        message += ": ";
        message += error;
        throw ToolFailure(message + "; nothing compared");
      }
      switch (entry.kind) {
        case RegEntry::Kind::kKey: {
          const std::u16string path = entry.key.FullName();
          if (top.empty()) top = path;
          std::u16string below;
          if (!PathBelow(top, path, &below)) {
            throw ToolFailure(file_name + ": the key " + Cli::Utf8(path) +
                              " is not below the file's first key; nothing compared");
          }
          Key& key = snapshot.keys_[Folded(below)];
          key.below = below;
          current = &key;
          break;
        }
        case RegEntry::Kind::kValue:
          if (current != nullptr) current->values.push_back(entry.value);
          break;
        case RegEntry::Kind::kDeleteKey:
        case RegEntry::Kind::kDeleteValue:
          throw ToolFailure(file_name + ": a file that deletes is no saved tree; nothing compared");
      }
    }
  } catch (const RegTextError& failure) {
    throw ToolFailure(file_name + ": " + failure.what() + "; nothing compared");
  }
  // Keys a .reg file names only by their subkeys' lines are there too.
  std::vector<std::u16string> parents;
  for (const auto& [folded, key] : snapshot.keys_) {
    for (std::size_t at = key.below.find(u'\\'); at != std::u16string::npos;
         at = key.below.find(u'\\', at + 1)) {
      parents.push_back(key.below.substr(0, at));
    }
  }
  for (const std::u16string& parent : parents) {
    Key& key = snapshot.keys_[Folded(parent)];
    key.below = parent;
  }
  return snapshot;
}

}  // namespace quorvane::qv
