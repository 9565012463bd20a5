#include "tools/qv/keys/reg_file.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include <quorvane/core/ansi_text.h>
#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/registry/registry.h>
#include <quorvane/registry/registry_errors.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/cli/input_file.h"
#include "tools/qv/cli/progress.h"
#include "tools/qv/cli/replacement_file.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/regfile/reg_reader.h"
#include "tools/qv/regfile/reg_writer.h"

namespace quorvane::qv {
namespace {

using platform::DWORD;

std::string Canonical(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::weakly_canonical(std::filesystem::u8path(path), ignored).u8string();
}

// Applies a file's entries in order, keeping the key last named open for the
// values that follow it (a file names each key once, above its values).
class Applier {
 public:
  Applier(const std::u16string& machine, std::uint32_t view) : machine_(machine), view_(view) {}

  void Apply(const RegEntry& entry, int* values) {
    RegistryPath key = entry.key;
    key.machine = machine_;
    key.view = view_;
    switch (entry.kind) {
      case RegEntry::Kind::kDeleteKey:
        open_.reset();
        RegFile::DeleteTree(key);
        return;
      case RegEntry::Kind::kKey:
        open_.reset();
        if (!key.branch.empty()) Keep(key, true);
        return;
      case RegEntry::Kind::kDeleteValue: {
        const platform::LONG result =
            platform::RegDeleteValueW(Target(key).Get(), entry.value.name.c_str());
        if (result != platform::kErrorFileNotFound) CheckRegistryCall(result);
        return;
      }
      case RegEntry::Kind::kValue:
        WriteValueTo(Target(key), entry.value);
        ++*values;
        return;
    }
  }

 private:
  void Keep(const RegistryPath& key, bool create) {
    open_.reset();
    open_ = std::make_unique<OpenKey>(key, platform::kKeySetValue, create);
    open_path_ = key;
  }
  const OpenKey& Target(const RegistryPath& key) {
    if (open_ == nullptr || open_path_.root != key.root || open_path_.branch != key.branch) {
      Keep(key, false);
    }
    return *open_;
  }

  std::u16string machine_;
  std::uint32_t view_;
  std::unique_ptr<OpenKey> open_;
  RegistryPath open_path_;
};

}  // namespace

RegistryBatch::RegistryBatch(bool writing, platform::HKEY written)
    : writing_(writing), written_{written} {
  CheckRegistryCall(platform::BeginRegistryBatch(writing));
}

RegistryBatch::RegistryBatch(Scan) : writing_(false) {
  CheckRegistryCall(platform::BeginRegistryScan());
}

RegistryBatch::~RegistryBatch() {
  if (open_) platform::EndRegistryBatch(false);
}

void RegistryBatch::Wrote(platform::HKEY root) {
  if (std::find(written_.begin(), written_.end(), root) == written_.end()) {
    written_.push_back(root);
  }
}

void RegistryBatch::Commit() {
  open_ = false;
  CheckRegistryCall(platform::EndRegistryBatch(true));
  if (!writing_) return;
  for (const platform::HKEY root : written_) CheckRegistryCall(platform::RegFlushKey(root));
}

std::vector<RegValue> RegFile::Values(const RegistryPath& key) {
  OpenKey open(key, platform::kKeyQueryValue);
  return ValuesOf(open);
}

void RegFile::DeleteValues(const RegistryPath& key) {
  OpenKey open(key, platform::kKeyQueryValue | platform::kKeySetValue);
  for (const RegValue& value : ValuesOf(open)) {
    CheckRegistryCall(platform::RegDeleteValueW(open.Get(), value.name.c_str()));
  }
}

void RegFile::WriteValue(const RegistryPath& key, const RegValue& value) {
  OpenKey open(key, platform::kKeySetValue);
  WriteValueTo(open, value);
}

void RegFile::WriteValues(const RegistryPath& key, const std::vector<RegValue>& values) {
  OpenKey created(key, platform::kKeySetValue, true);
  for (const RegValue& value : values) WriteValueTo(created, value);
}

bool RegFile::KeyExists(const RegistryPath& key) {
  try {
    OpenKey open(key, platform::kKeyQueryValue);
    return true;
  } catch (const ErrorObject& error) {
    if (error.Number() == RegistryErrors::kBase + platform::kErrorFileNotFound) return false;
    throw;
  }
}

bool RegFile::ValueExists(const RegistryPath& key, const std::u16string& name) {
  OpenKey open(key, platform::kKeyQueryValue);
  const platform::LONG result =
      platform::RegQueryValueExW(open.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
  if (result == platform::kErrorFileNotFound) return false;
  CheckRegistryCall(result);
  return true;
}

std::vector<std::u16string> RegFile::SubkeyNames(const RegistryPath& key) {
  RegistryBatch snapshot(false);
  std::vector<std::u16string> names;
  {
    OpenKey open(key, platform::kKeyEnumerateSubKeys);
    names = SubkeyNamesOf(open);
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
  const platform::LONG result = platform::RegDeleteValueW(open.Get(), name.c_str());
  if (result == platform::kErrorFileNotFound) {
    throw ToolFailure(kNotFound);
  }
  CheckRegistryCall(result);
}

void RegFile::DeleteTree(const RegistryPath& path) { KeyTree::Delete(path); }

void RegFile::RefuseOwnDatabase(const std::string& file_name) {
  const std::string database = platform::RegistryStoreLocation();
  if (database.empty()) return;
  const std::string target = Canonical(file_name);
  for (const char* suffix : {"", "-wal", "-shm", "-journal", "-checked"}) {
    if (target == Canonical(database + suffix)) {
      throw ToolFailure("cannot write to " + file_name + ": it is the registry's own database");
    }
  }
}

int RegFile::Export(const RegistryPath& path, const std::string& file_name, RegFormat format) {
  RefuseOwnDatabase(file_name);
  // Written as it is read: memory stays small whatever the tree's size, and
  // the file replaces the old one only once all of it is written.
  ReplacementFile file(file_name);
  Progress progress("exported", "keys");
  int keys = 0;
  RegistryBatch snapshot{RegistryBatch::Scan{}};
  try {
    RegWriter writer(format, [&file](std::string_view bytes) { file.Write(bytes); });
    KeyTree::Walk(path, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      writer.Key(visit.path.FullName());
      for (const RegValue& value : ValuesOf(visit.key)) writer.Value(value);
      progress.Update(static_cast<std::uint64_t>(++keys));
    });
    writer.Finish();
  } catch (const RegTextError& failure) {
    throw ToolFailure(std::string("cannot export: ") + failure.what() + "; nothing written");
  }
  snapshot.Commit();
  file.Commit();
  progress.Finish();
  return keys;
}

RegFile::ImportResult RegFile::Import(const std::string& file_name, const std::u16string& machine,
                                      std::uint32_t view, bool skip_bad_lines,
                                      const std::function<void()>& between_passes) {
  ImportResult result;
  // One descriptor for both passes: what is applied is the file that was
  // checked, whatever happens to its name meanwhile.
  InputFile input(file_name);
  // First the whole file is read and checked, holding one entry at a time;
  // the progress line covers this pass as the next.
  Progress progress("checked", "bytes", input.Size());
  std::vector<std::string> bad_lines;
  try {
    RegReader reader(input.Stream());
    RegEntry entry;
    std::string error;
    while (reader.Next(&entry, &error)) {
      if (!error.empty()) bad_lines.push_back(error);
      progress.Update(input.Position());
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
  if (between_passes) between_passes();
  // Then it is applied, all or nothing where the registry has transactions.
  // A bad line here, or a file written to since it was checked, means it is
  // not the file that was checked: nothing is applied.
  const auto changed = [&file_name] {
    return ToolFailure(file_name + " changed while it was imported; nothing imported");
  };
  input.Rewind();
  RegistryBatch transaction(true);
  Applier applier(machine, view);
  progress.NextPhase("imported");
  try {
    RegReader reader(input.Stream());
    RegEntry entry;
    std::string error;
    while (reader.Next(&entry, &error)) {
      if (!error.empty()) {
        if (!skip_bad_lines) throw changed();
        result.skipped.push_back(error);
        continue;
      }
      applier.Apply(entry, &result.values);
      transaction.Wrote(entry.key.root);
      progress.Update(input.Position());
    }
  } catch (const RegTextError&) {
    throw changed();
  }
  if (!input.Unchanged()) throw changed();
  transaction.Commit();
  return result;
}

}  // namespace quorvane::qv
