#include "tools/qv/hive/hive_file.h"

#include <hivex.h>
#include <unistd.h>

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

void Put16(std::string* bytes, std::size_t at, std::uint16_t value) {
  for (int i = 0; i < 2; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Put32(std::string* bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// A hive with a root key and nothing else: the base block, then one 4 KiB
// bin holding the root's key cell, its security cell (a descriptor with no
// DACL: everyone may do anything, as in a hive made for moving data) and
// the free rest. hivex adds to it from there.
std::string EmptyHive() {
  constexpr std::size_t kBin = 0x1000;
  constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::string hive(2 * kBin, '\0');
  hive.replace(0, 4, "regf");
  Put32(&hive, 4, 1);  // sequence numbers, equal: the file is consistent
  Put32(&hive, 8, 1);
  Put32(&hive, 20, 1);  // format version 1.3
  Put32(&hive, 24, 3);
  Put32(&hive, 28, 0);     // a primary file
  Put32(&hive, 32, 1);     // in direct memory-load form
  Put32(&hive, 36, 0x20);  // the root key's cell, from the first bin
  Put32(&hive, 40, kBin);  // the bins' size
  Put32(&hive, 44, 1);     // clustering factor
  std::uint32_t checksum = 0;
  for (std::size_t at = 0; at < 508; at += 4) checksum ^= Get32(hive, at);
  Put32(&hive, 508, checksum);

  hive.replace(kBin, 4, "hbin");
  Put32(&hive, kBin + 8, kBin);
  const std::string root_name = "ROOT";
  const std::size_t key_cell = kBin + 0x20;
  const std::size_t key_size = (80 + root_name.size() + 7) / 8 * 8;
  const std::size_t security_cell = key_cell + key_size;
  Put32(&hive, key_cell, static_cast<std::uint32_t>(-static_cast<std::int32_t>(key_size)));
  hive.replace(key_cell + 4, 2, "nk");
  Put16(&hive, key_cell + 6, 0x2C);    // the hive's entry, not deletable, ASCII name
  Put32(&hive, key_cell + 32, kNone);  // no subkeys, volatile ones, values
  Put32(&hive, key_cell + 36, kNone);
  Put32(&hive, key_cell + 44, kNone);
  Put32(&hive, key_cell + 48, static_cast<std::uint32_t>(security_cell - kBin));
  Put32(&hive, key_cell + 52, kNone);  // no class name
  Put16(&hive, key_cell + 76, static_cast<std::uint16_t>(root_name.size()));
  hive.replace(key_cell + 80, root_name.size(), root_name);

  const std::size_t descriptor_size = 20;  // self-relative, DACL present and null
  const std::size_t security_size = (24 + descriptor_size + 7) / 8 * 8;
  Put32(&hive, security_cell,
        static_cast<std::uint32_t>(-static_cast<std::int32_t>(security_size)));
  hive.replace(security_cell + 4, 2, "sk");
  Put32(&hive, security_cell + 8, static_cast<std::uint32_t>(security_cell - kBin));   // a list
  Put32(&hive, security_cell + 12, static_cast<std::uint32_t>(security_cell - kBin));  // of one
  Put32(&hive, security_cell + 16, 1);  // used by the root
  Put32(&hive, security_cell + 20, descriptor_size);
  hive[security_cell + 24] = 1;              // revision
  Put16(&hive, security_cell + 26, 0x8004);  // self-relative, DACL present
  const std::size_t free_cell = security_cell + security_size;
  Put32(&hive, free_cell, static_cast<std::uint32_t>(2 * kBin - free_cell));
  return hive;
}

// A file of our own in the temporary folder, removed at the end.
class ScratchFile {
 public:
  ScratchFile() {
    std::string name = (std::filesystem::temp_directory_path() / "qv-hive-XXXXXX").string();
    const int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) throw ToolFailure("cannot make a temporary file: " + Reason());
    ::close(descriptor);
    path_ = name;
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A name as hivex takes it (UTF-8); one that UTF-8 cannot carry exactly (a
// lone surrogate, a zero) is refused rather than changed.
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

std::vector<HiveFile::Key> HiveFile::Read(const std::string& file_name,
                                          const std::string& consequence) {
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
  std::vector<Key> keys;
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
      if (current.depth + 1 > KeyTree::kMaxDepth) {
        throw damaged("the tree is deeper than the registry allows (" +
                      std::to_string(KeyTree::kMaxDepth) + " levels)");
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
    keys.push_back(std::move(key));
  }
  return keys;
}

bool HiveFile::Available() { return true; }

int HiveFile::Save(const RegistryPath& top, const std::string& file_name) {
  RegFile::RefuseOwnDatabase(file_name);
  ScratchFile scratch;
  {
    std::ofstream out(scratch.Path(), std::ios::binary | std::ios::trunc);
    const std::string empty = EmptyHive();
    out.write(empty.data(), static_cast<std::streamsize>(empty.size()));
    if (!out.flush()) throw ToolFailure("cannot make a hive: " + Reason());
  }
  Hive hive(hivex_open(scratch.Path().c_str(), HIVEX_OPEN_WRITE));
  if (!hive) throw ToolFailure("cannot make a hive: " + Reason());
  Progress progress("saved", "keys");
  std::vector<hive_node_h> nodes;
  int keys = 0;
  RegistryBatch snapshot{RegistryBatch::Scan{}};
  KeyTree::Walk(top, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
    hive_node_h node = hivex_root(hive.get());
    if (visit.depth > 0) {
      const std::u16string& branch = visit.path.branch;
      const std::string name = HiveName(branch.substr(branch.rfind(u'\\') + 1), "key");
      node = hivex_node_add_child(hive.get(), nodes[visit.depth - 1], name.c_str());
      if (node == 0)
        throw ToolFailure("cannot add the key '" + name + "' to the hive: " + Reason());
    }
    nodes.resize(static_cast<std::size_t>(visit.depth) + 1);
    nodes.back() = node;
    const std::vector<RegValue> values = ValuesOf(visit.key);
    std::vector<std::string> names;
    names.reserve(values.size());  // the pointers below stay put
    std::vector<hive_set_value> set(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      names.push_back(HiveName(values[i].name, "value"));
      set[i].key = names.back().data();
      std::memcpy(&set[i].t, &values[i].type, sizeof set[i].t);
      set[i].len = values[i].data.size();
      set[i].value = const_cast<char*>(values[i].data.data());
    }
    if (hivex_node_set_values(hive.get(), node, set.size(), set.data(), 0) != 0) {
      throw ToolFailure("cannot write values to the hive: " + Reason());
    }
    progress.Update(static_cast<std::uint64_t>(++keys));
  });
  snapshot.Commit();
  if (hivex_commit(hive.get(), nullptr, 0) != 0) {
    throw ToolFailure("cannot write the hive: " + Reason());
  }
  hive.reset();
  // Into place as exports go: whole and synced, or not at all.
  ReplacementFile file(file_name);
  std::ifstream in(scratch.Path(), std::ios::binary);
  std::vector<char> buffer(1 << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    file.Write(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  if (in.bad()) throw ToolFailure("cannot read the hive back: " + Reason());
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
