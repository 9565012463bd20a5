#include "tools/qv/hive/hive_file.h"

#include <hivex.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/unicode_text.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/progress.h"
#include "tools/qv/cli/replacement_file.h"
#include "tools/qv/hive/hive_diagnosis.h"
#include "tools/qv/hive/hive_writer.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {

namespace {

static_assert(sizeof(hive_type) == sizeof(std::uint32_t), "a hive value's type is 32 bits");

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

std::string Reason() { return std::strerror(errno); }

// A name as hivex reads it back (UTF-8); one that UTF-8 cannot carry exactly
// (a lone surrogate, a zero) is refused rather than saved where a restore
// would change it.
std::string HiveName(const std::u16string& name, const char* what) {
  std::string utf8 = Cli::Utf8(name);
  if (name.find(u'\0') != std::u16string::npos || Cli::Utf16(utf8) != name) {
    throw ToolFailure(std::string("the ") + what + " name '" + utf8 +
                      "' cannot be kept in a hive file; nothing saved");
  }
  return utf8;
}

// Frees what hivex allocates for its answers.
struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Allocated = std::unique_ptr<T, FreeDeleter>;

}  // namespace

void HiveFile::ForEach(const std::string& file_name, const std::string& consequence,
                       const std::function<void(Key&&)>& visit, int deepest) {
  const auto damaged = [&](const std::string& what) {
    return ToolFailure(file_name + ": " + what + "; " + consequence);
  };
  // What the reader says of a failure is an error number; the file's own
  // structure tells what is wrong with it, where it can.
  const auto unreadable = [&](const std::string& what) {
    const std::string problem = HiveDiagnosis::OfFile(file_name);
    return damaged(problem.empty() ? what + " (" + Reason() + ")" : what + ": " + problem);
  };
  Hive hive(hivex_open(file_name.c_str(), 0));
  if (!hive) throw unreadable("not a hive file that can be read");
  struct Pending {
    hive_node_h node;
    int depth;
    std::u16string below;
  };
  std::vector<Pending> pending{{hivex_root(hive.get()), 0, u""}};
  if (pending.back().node == 0) throw damaged("the hive has no root key");
  std::set<hive_node_h> seen;
  while (!pending.empty()) {
    Pending current = std::move(pending.back());
    pending.pop_back();
    if (!seen.insert(current.node).second) throw damaged("a key is listed twice or below itself");
    Key key{current.below, {}};
    Allocated<hive_value_h> values(hivex_node_values(hive.get(), current.node));
    const std::string key_name =
        current.below.empty() ? "the root key" : "the key '" + Cli::Utf8(current.below) + "'";
    if (!values) throw unreadable("the values of " + key_name + " cannot be read");
    for (const hive_value_h* value = values.get(); *value != 0; ++value) {
      Allocated<char> name(hivex_value_key(hive.get(), *value));
      hive_type type{};
      std::size_t length = 0;
      Allocated<char> data(hivex_value_value(hive.get(), *value, &type, &length));
      if (!name || !data) throw unreadable("a value of " + key_name + " cannot be read");
      RegValue loaded;
      loaded.name = Cli::Utf16(name.get());
      if (loaded.name.size() > 16383) throw damaged("a value name is over 16,383 characters");
      std::memcpy(&loaded.type, &type, sizeof loaded.type);
      loaded.data.assign(data.get(), length);
      key.values.push_back(std::move(loaded));
    }
    Allocated<hive_node_h> children(hivex_node_children(hive.get(), current.node));
    if (!children) throw unreadable("the subkeys of " + key_name + " cannot be read");
    std::vector<Pending> below;
    for (const hive_node_h* child = children.get(); *child != 0; ++child) {
      if (current.depth + 1 > deepest) {
        throw damaged("the tree is deeper than the registry allows (" + std::to_string(deepest) +
                      " levels)");
      }
      Allocated<char> name(hivex_node_name(hive.get(), *child));
      if (!name) throw unreadable("the name of a subkey of " + key_name + " cannot be read");
      const std::u16string text = Cli::Utf16(name.get());
      if (text.empty() || text.size() > 255 || text.find(u'\\') != std::u16string::npos) {
        throw damaged("a key name that the registry cannot hold ('" + std::string(name.get()) +
                      "')");
      }
      below.push_back(
          {*child, current.depth + 1, current.below.empty() ? text : current.below + u"\\" + text});
    }
    // Depth first, each key before its subkeys, in the hive's order.
    pending.insert(pending.end(), std::make_move_iterator(below.rbegin()),
                   std::make_move_iterator(below.rend()));
    visit(std::move(key));
  }
}

bool HiveFile::Available() { return true; }

int HiveFile::Save(const RegistryPath& top, const std::string& file_name) {
  RegFile::RefuseOwnDatabase(file_name);
  Progress progress("saved", "keys");
  HiveWriter hive;
  std::vector<HiveWriter::Cell> cells;
  int keys = 0;
  RegistryBatch snapshot{RegistryBatch::Scan{}};
  KeyTree::Walk(top, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
    HiveWriter::Cell cell = hive.Root();
    if (visit.depth > 0) {
      const std::u16string& branch = visit.path.branch;
      const std::u16string name = branch.substr(branch.rfind(u'\\') + 1);
      (void)HiveName(name, "key");  // only what a restore reads back exactly
      cell = hive.AddKey(cells[visit.depth - 1], name);
    }
    cells.resize(static_cast<std::size_t>(visit.depth) + 1);
    cells.back() = cell;
    const std::vector<RegValue> values = ValuesOf(visit.key);
    for (const RegValue& value : values) (void)HiveName(value.name, "value");
    hive.SetValues(cell, values);
    progress.Update(static_cast<std::uint64_t>(++keys));
  });
  snapshot.Commit();
  const std::string bytes = hive.Finish();
  // Into place as exports go: whole and synced, or not at all.
  ReplacementFile file(file_name);
  file.Write(bytes);
  file.Commit();
  progress.Finish();
  return keys;
}

namespace {

// The hivelist value that notes a loaded hive, as Windows names it.
std::u16string HiveListName(const RegistryPath& path) {
  if (!path.machine.empty() || path.branch.empty() ||
      path.branch.find(u'\\') != std::u16string::npos ||
      (path.root != kHkeyLocalMachine && path.root != kHkeyUsers)) {
    throw ToolFailure("a hive is loaded as HKLM\\NAME or HKU\\NAME of this machine");
  }
  return (path.root == kHkeyLocalMachine ? u"\\REGISTRY\\MACHINE\\" : u"\\REGISTRY\\USER\\") +
         path.branch;
}

const RegistryPath kHiveList{u"", kHkeyLocalMachine,
                             u"SYSTEM\\CurrentControlSet\\Control\\hivelist", 0};

}  // namespace

int HiveFile::Load(const RegistryPath& path, const std::string& file_name) {
  const std::u16string noted = HiveListName(path);
  const std::vector<Key> keys = Read(file_name, "nothing loaded");
  std::error_code failed;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::u8path(file_name), failed);
  if (failed) throw ToolFailure(file_name + ": " + failed.message() + "; nothing loaded");
  RegistryBatch transaction(true);
  if (RegFile::KeyExists(path)) {
    throw ToolFailure(Cli::Utf8(path.FullName()) + " exists already; nothing loaded");
  }
  for (const Key& key : keys) RegFile::WriteValues(HiveFile::Below(path, key.below), key.values);
  const std::string data =
      RegText::Terminated(UnicodeText::Utf16Le(Cli::Utf16(absolute.u8string())));
  RegFile::WriteValues(kHiveList, {RegValue{noted, platform::kRegSz, data}});
  transaction.Wrote(path.root);
  transaction.Commit();
  return static_cast<int>(keys.size());
}

int HiveFile::Unload(const RegistryPath& path) {
  const std::u16string noted = HiveListName(path);
  std::string file_name;
  for (const RegValue& value :
       RegFile::KeyExists(kHiveList) ? RegFile::Values(kHiveList) : std::vector<RegValue>{}) {
    if (Cli::AsciiUpper(value.name) == Cli::AsciiUpper(noted)) {
      std::u16string text = UnicodeText::FromUtf16Le(value.data);
      text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
      file_name = Cli::Utf8(text);
    }
  }
  if (file_name.empty()) {
    throw ToolFailure(Cli::Utf8(path.FullName()) + " is not a loaded hive; nothing unloaded");
  }
  // The file first: until the key is gone, a failure leaves it loaded.
  const int keys = Save(path, file_name);
  RegistryBatch transaction(true);
  RegFile::DeleteTree(path);
  RegFile::DeleteValue(kHiveList, noted);
  transaction.Wrote(path.root);
  transaction.Commit();
  return keys;
}

}  // namespace quorvane::qv
