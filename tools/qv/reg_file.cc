#include "tools/qv/reg_file.h"

#include <filesystem>
#include <fstream>

#include "core/ansi_text.h"
#include "core/error_object.h"
#include "platform/platform.h"
#include "registry/registry.h"
#include "registry/registry_errors.h"
#include "tools/qv/cli.h"

namespace quorvane::qv {
namespace {

using platform::DWORD;
using platform::HKEY;

// Windows keeps key trees at most 512 levels deep; a deeper walk can only be
// following a damaged registry.
constexpr int kMaxDepth = 512;

// Raises the registry's own error for a failed platform call.
void Check(platform::LONG result) {
  if (result != 0) RegistryErrors::Raise(result);
}

// A key opened for a while, on this machine or another.
class OpenKey {
 public:
  // Opens the key, or with `create` creates every missing level of it.
  OpenKey(const RegistryPath& path, platform::REGSAM rights, bool create = false) {
    HKEY root = path.root;
    HKEY connection = 0;
    if (!path.machine.empty()) {
      const std::string machine = AnsiText::Encode(u"\\\\" + path.machine);
      Check(platform::RegConnectRegistryA(machine.c_str(), path.root, &connection));
      root = connection;
    }
    const platform::REGSAM sam = rights | path.view;
    const platform::LONG result =
        create ? platform::RegCreateKeyExW(root, path.branch.c_str(), 0, nullptr, 0, sam, nullptr,
                                           &key_, nullptr)
               : platform::RegOpenKeyExW(root, path.branch.c_str(), 0, sam, &key_);
    if (connection != 0 && connection != key_) platform::RegCloseKey(connection);
    Check(result);
  }
  ~OpenKey() { platform::RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  [[nodiscard]] HKEY Get() const { return key_; }

 private:
  HKEY key_ = 0;
};

std::vector<RegValue> Values(HKEY key) {
  std::vector<RegValue> values;
  std::vector<char16_t> name(16384 + 1);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD data_size = 0;
    platform::LONG result = platform::RegEnumValueW(key, index, name.data(), &name_size, nullptr,
                                                    &type, nullptr, &data_size);
    if (result == platform::kErrorNoMoreItems) break;
    Check(result);
    std::string data(data_size, '\0');
    name_size = static_cast<DWORD>(name.size());
    result = platform::RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type,
                                     reinterpret_cast<platform::BYTE*>(data.data()), &data_size);
    Check(result);
    data.resize(data_size);
    values.push_back(RegValue{std::u16string(name.data(), name_size), type, std::move(data)});
  }
  return values;
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
  std::vector<std::u16string> names;
  std::vector<char16_t> name(256 + 1);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    const platform::LONG result = platform::RegEnumKeyExW(key, index, name.data(), &name_size,
                                                          nullptr, nullptr, nullptr, nullptr);
    if (result == platform::kErrorNoMoreItems) break;
    Check(result);
    names.emplace_back(name.data(), name_size);
  }
  return names;
}

RegistryPath Below(const RegistryPath& path, const std::u16string& child) {
  RegistryPath below = path;
  below.branch = path.branch.empty() ? child : path.branch + u"\\" + child;
  return below;
}

void ExportKey(const RegistryPath& path, RegWriter* writer, int depth, int* keys) {
  if (depth > kMaxDepth) {
    throw ToolFailure("the tree below " + Cli::Utf8(path.FullName()) + " is deeper than " +
                      std::to_string(kMaxDepth) + " levels: the registry is damaged");
  }
  ++*keys;
  writer->Key(path.FullName());
  std::vector<std::u16string> children;
  {
    OpenKey key(path, platform::kKeyRead);
    for (const RegValue& value : Values(key.Get())) writer->Value(value);
    children = SubkeyNames(key.Get());
  }
  for (const std::u16string& child : children) {
    ExportKey(Below(path, child), writer, depth + 1, keys);
  }
}

std::string Canonical(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::weakly_canonical(std::filesystem::u8path(path), ignored).u8string();
}

// The registry's own database (and its companions) is never an export target.
void RefuseRegistryFile(const std::string& file_name) {
  const std::string database = platform::RegistryStoreLocation();
  if (database.empty()) return;
  const std::string target = Canonical(file_name);
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    if (target == Canonical(database + suffix)) {
      throw ToolFailure("cannot export to " + file_name + ": it is the registry's own database");
    }
  }
}

void Apply(const RegEntry& entry, const std::u16string& machine, std::uint32_t view, int* values) {
  RegistryPath key = entry.key;
  key.machine = machine;
  key.view = view;
  switch (entry.kind) {
    case RegEntry::Kind::kDeleteKey:
      RegFile::DeleteTree(key);
      return;
    case RegEntry::Kind::kKey:
      if (!key.branch.empty()) RegFile::CreateKey(key);
      return;
    case RegEntry::Kind::kDeleteValue: {
      OpenKey open(key, platform::kKeySetValue);
      const platform::LONG result = platform::RegDeleteValueW(open.Get(), entry.value.name.c_str());
      if (result != platform::kErrorFileNotFound) Check(result);
      return;
    }
    case RegEntry::Kind::kValue:
      RegFile::WriteValue(key, entry.value);
      ++*values;
      return;
  }
}

std::ifstream OpenForImport(const std::string& file_name) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::u8path(file_name), error);
  if (error || !std::filesystem::exists(status)) {
    throw ToolFailure("cannot read " + file_name + ": no such file");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw ToolFailure("cannot import " + file_name + ": it is not a regular file");
  }
  std::ifstream file(std::filesystem::u8path(file_name), std::ios::binary);
  if (!file) throw ToolFailure("cannot read " + file_name);
  return file;
}

}  // namespace

RegistryBatch::RegistryBatch(bool writing) { Check(platform::BeginRegistryBatch(writing)); }

RegistryBatch::~RegistryBatch() {
  if (open_) platform::EndRegistryBatch(false);
}

void RegistryBatch::Commit() {
  open_ = false;
  Check(platform::EndRegistryBatch(true));
}

std::vector<RegValue> RegFile::Values(const RegistryPath& key) {
  OpenKey open(key, platform::kKeyQueryValue);
  return ::quorvane::qv::Values(open.Get());
}

void RegFile::DeleteValues(const RegistryPath& key) {
  OpenKey open(key, platform::kKeyQueryValue | platform::kKeySetValue);
  for (const RegValue& value : ::quorvane::qv::Values(open.Get())) {
    Check(platform::RegDeleteValueW(open.Get(), value.name.c_str()));
  }
}

void RegFile::WriteValue(const RegistryPath& key, const RegValue& value) {
  OpenKey open(key, platform::kKeySetValue);
  // Wine counts a zero that follows string data not ending in one, so the data
  // are followed by bytes that are not zero.
  std::string buffer = value.data + "xx";
  Check(platform::RegSetValueExW(open.Get(), value.name.c_str(), 0, value.type,
                                 reinterpret_cast<const platform::BYTE*>(buffer.data()),
                                 static_cast<DWORD>(value.data.size())));
}

bool RegFile::ValueExists(const RegistryPath& key, const std::u16string& name) {
  OpenKey open(key, platform::kKeyQueryValue);
  const platform::LONG result =
      platform::RegQueryValueExW(open.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
  if (result == platform::kErrorFileNotFound) return false;
  Check(result);
  return true;
}

std::vector<std::u16string> RegFile::SubkeyNames(const RegistryPath& key) {
  RegistryBatch snapshot(false);
  std::vector<std::u16string> names;
  {
    OpenKey open(key, platform::kKeyEnumerateSubKeys);
    names = ::quorvane::qv::SubkeyNames(open.Get());
  }
  snapshot.Commit();
  return names;
}

void RegFile::RequireKey(const RegistryPath& key) { OpenKey open(key, platform::kKeyRead); }

void RegFile::CreateKey(const RegistryPath& key) {
  OpenKey created(key, platform::kKeySetValue, true);
}

void RegFile::DeleteValue(const RegistryPath& key, const std::u16string& name) {
  OpenKey open(key, platform::kKeySetValue);
  Check(platform::RegDeleteValueW(open.Get(), name.c_str()));
}

void RegFile::DeleteTree(const RegistryPath& path) {
  // Deepest first: a key is deleted once it has no subkeys.
  std::vector<std::u16string> children;
  try {
    children = SubkeyNames(path);
  } catch (const ErrorObject& error) {
    if (error.Number() == RegistryErrors::kBase + platform::kErrorFileNotFound) return;
    throw;
  }
  for (const std::u16string& child : children) DeleteTree(Below(path, child));
  RegistryPath parent = path;
  const std::size_t slash = path.branch.rfind(u'\\');
  parent.branch = slash == std::u16string::npos ? u"" : path.branch.substr(0, slash);
  const std::u16string name =
      slash == std::u16string::npos ? path.branch : path.branch.substr(slash + 1);
  OpenKey open(parent, platform::kDelete | platform::kKeyEnumerateSubKeys);
  const platform::LONG result = platform::RegDeleteKeyW(open.Get(), name.c_str());
  if (result != platform::kErrorFileNotFound) Check(result);  // already gone is fine
}

int RegFile::Export(const RegistryPath& path, const std::string& file_name, RegFormat format) {
  RefuseRegistryFile(file_name);
  RegWriter writer(format);
  int keys = 0;
  {
    RegistryBatch snapshot(false);
    try {
      ExportKey(path, &writer, 0, &keys);
    } catch (const RegTextError& failure) {
      throw ToolFailure(std::string("cannot export: ") + failure.what() + "; nothing written");
    }
    snapshot.Commit();
  }
  std::string bytes;
  try {
    bytes = writer.Finish();
  } catch (const RegTextError& failure) {
    throw ToolFailure(std::string("cannot export: ") + failure.what() + "; nothing written");
  }
  ReplaceFileDurably(file_name, bytes);
  return keys;
}

RegFile::ImportResult RegFile::Import(const std::string& file_name, const std::u16string& machine,
                                      std::uint32_t view, bool skip_bad_lines) {
  ImportResult result;
  // First the whole file is read and checked, holding one entry at a time.
  std::vector<std::string> bad_lines;
  try {
    std::ifstream file = OpenForImport(file_name);
    RegReader reader(file);
    RegEntry entry;
    std::string error;
    while (reader.Next(&entry, &error)) {
      if (!error.empty()) bad_lines.push_back(error);
    }
  } catch (const RegTextError& failure) {
    throw ToolFailure(file_name + ": " + failure.what() + "; nothing imported");
  }
  if (!bad_lines.empty() && !skip_bad_lines) {
    std::string message = file_name + ": nothing imported, " + std::to_string(bad_lines.size()) +
                          " bad line(s) (add /skip to import the rest):";
    for (const std::string& line : bad_lines) message += "\n  " + line;
    throw ToolFailure(message);
  }
  // Then it is applied, all or nothing where the registry has transactions.
  std::ifstream file = OpenForImport(file_name);
  RegReader reader(file);
  RegistryBatch transaction(true);
  RegEntry entry;
  std::string error;
  while (reader.Next(&entry, &error)) {
    if (!error.empty()) {
      result.skipped.push_back(error);
      continue;
    }
    Apply(entry, machine, view, &result.values);
  }
  transaction.Commit();
  return result;
}

}  // namespace quorvane::qv
