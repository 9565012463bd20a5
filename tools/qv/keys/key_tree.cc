#include "tools/qv/keys/key_tree.h"

#include <memory>
#include <utility>

#include <quorvane/core/ansi_text.h>
#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/registry/registry_errors.h>
#include "tools/qv/cli/cli.h"

namespace quorvane::qv {
namespace {

using platform::DWORD;
using platform::HKEY;

bool IsMissing(const ErrorObject& error) {
  return error.Number() == RegistryErrors::kBase + platform::kErrorFileNotFound;
}

RegistryPath Below(const RegistryPath& path, const std::u16string& child) {
  RegistryPath below = path;
  below.branch = path.branch.empty() ? child : path.branch + u"\\" + child;
  return below;
}

// The first subkey's name, or false when the key has none.
bool FirstSubkey(const OpenKey& key, std::u16string* name) {
  char16_t buffer[256 + 1];
  DWORD size = 256 + 1;
  const platform::LONG result =
      platform::RegEnumKeyExW(key.Get(), 0, buffer, &size, nullptr, nullptr, nullptr, nullptr);
  if (result == platform::kErrorNoMoreItems) return false;
  CheckRegistryCall(result);
  name->assign(buffer, size);
  return true;
}

// The registry's own name of the key `path` leads to or, when it does not
// exist yet, of its deepest ancestor that does; false when the registry gives
// none (a key of another machine).
bool ResolvedName(RegistryPath path, std::u16string* name) {
  while (true) {
    try {
      OpenKey key(path, platform::kKeyQueryValue);
      return platform::NtQueryKeyName(key.Get(), name) == platform::kErrorSuccess;
    } catch (const ErrorObject& error) {
      if (error.Number() != RegistryErrors::kBase + platform::kErrorFileNotFound ||
          path.branch.empty()) {
        return false;
      }
    }
    const std::size_t slash = path.branch.rfind(u'\\');
    path.branch = slash == std::u16string::npos ? u"" : path.branch.substr(0, slash);
  }
}

}  // namespace

void CheckRegistryCall(platform::LONG result) {
  if (result != 0) RegistryErrors::Raise(result);
}

OpenKey::OpenKey(const RegistryPath& path, platform::REGSAM rights, bool create) {
  HKEY root = path.root;
  HKEY connection = 0;
  if (!path.machine.empty()) {
    const std::string machine = AnsiText::Encode(u"\\\\" + path.machine);
    CheckRegistryCall(platform::RegConnectRegistryA(machine.c_str(), path.root, &connection));
    root = connection;
  }
  const platform::REGSAM sam = rights | path.view;
  const platform::LONG result =
      create ? platform::RegCreateKeyExW(root, path.branch.c_str(), 0, nullptr, 0, sam, nullptr,
                                         &key_, nullptr)
             : platform::RegOpenKeyExW(root, path.branch.c_str(), 0, sam, &key_);
  if (connection != 0 && connection != key_) platform::RegCloseKey(connection);
  CheckRegistryCall(result);
}

OpenKey::OpenKey(const OpenKey& parent, const std::u16string& name, platform::REGSAM rights,
                 std::uint32_t view) {
  CheckRegistryCall(platform::RegOpenKeyExW(parent.Get(), name.c_str(), 0, rights | view, &key_));
}

OpenKey::~OpenKey() { platform::RegCloseKey(key_); }

std::vector<RegValue> ValuesOf(const OpenKey& key) {
  std::vector<RegValue> values;
  std::vector<char16_t> name(16384 + 1);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD data_size = 0;
    platform::LONG result = platform::RegEnumValueW(key.Get(), index, name.data(), &name_size,
                                                    nullptr, &type, nullptr, &data_size);
    if (result == platform::kErrorNoMoreItems) break;
    CheckRegistryCall(result);
    std::string data(data_size, '\0');
    name_size = static_cast<DWORD>(name.size());
    result = platform::RegEnumValueW(key.Get(), index, name.data(), &name_size, nullptr, &type,
                                     reinterpret_cast<platform::BYTE*>(data.data()), &data_size);
    CheckRegistryCall(result);
    data.resize(data_size);
    values.push_back(RegValue{std::u16string(name.data(), name_size), type, std::move(data)});
  }
  return values;
}

void WriteValueTo(const OpenKey& key, const RegValue& value) {
  // Wine counts a zero that follows string data not ending in one, so the data
  // are followed by bytes that are not zero.
  std::string buffer = value.data + "xx";
  CheckRegistryCall(platform::RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type,
                                             reinterpret_cast<const platform::BYTE*>(buffer.data()),
                                             static_cast<DWORD>(value.data.size())));
}

std::vector<std::u16string> SubkeyNamesOf(const OpenKey& key) {
  std::vector<std::u16string> names;
  std::vector<char16_t> name(256 + 1);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    const platform::LONG result = platform::RegEnumKeyExW(key.Get(), index, name.data(), &name_size,
                                                          nullptr, nullptr, nullptr, nullptr);
    if (result == platform::kErrorNoMoreItems) break;
    CheckRegistryCall(result);
    names.emplace_back(name.data(), name_size);
  }
  return names;
}

void KeyTree::Walk(const RegistryPath& top, platform::REGSAM rights,
                   const std::function<void(const Visit&)>& visit) {
  // One level per key on the way down: its handle, its path and the names of
  // its subkeys, of which `next` is the one to visit next.
  struct Level {
    std::unique_ptr<OpenKey> key;
    RegistryPath path;
    std::vector<std::u16string> subkeys;
    std::size_t next = 0;
  };
  rights |= platform::kKeyEnumerateSubKeys;
  std::vector<Level> levels;
  const auto enter = [&](std::unique_ptr<OpenKey> key, RegistryPath path) {
    visit(Visit{*key, path, static_cast<int>(levels.size())});
    std::vector<std::u16string> subkeys = SubkeyNamesOf(*key);
    levels.push_back(Level{std::move(key), std::move(path), std::move(subkeys), 0});
  };
  enter(std::make_unique<OpenKey>(top, rights), top);
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.subkeys.size()) {
      levels.pop_back();
      continue;
    }
    if (levels.size() > static_cast<std::size_t>(kMaxDepth)) {
      throw ToolFailure(Cli::Utf8(top.FullName()) + " holds keys more than " +
                        std::to_string(kMaxDepth) +
                        " levels below it, deeper than a Windows registry allows (qv reg delete "
                        "removes such a tree)");
    }
    const std::u16string& name = level.subkeys[level.next++];
    auto child = std::make_unique<OpenKey>(*level.key, name, rights, top.view);
    RegistryPath path = Below(level.path, name);
    enter(std::move(child), std::move(path));
  }
}

bool KeyTree::Contains(const RegistryPath& outer, const RegistryPath& inner) {
  const auto same_or_below = [](const std::u16string& inside, const std::u16string& tree) {
    return inside == tree || inside.rfind(tree + u"\\", 0) == 0;
  };
  if (inner.root == outer.root &&
      Cli::AsciiUpper(inner.machine) == Cli::AsciiUpper(outer.machine) &&
      (outer.branch.empty() ||
       same_or_below(Cli::AsciiUpper(inner.branch), Cli::AsciiUpper(outer.branch)))) {
    return true;
  }
  std::u16string inner_name;
  std::u16string outer_name;
  return Cli::AsciiUpper(inner.machine) == Cli::AsciiUpper(outer.machine) &&
         ResolvedName(outer, &outer_name) && ResolvedName(inner, &inner_name) &&
         same_or_below(Cli::AsciiUpper(inner_name), Cli::AsciiUpper(outer_name));
}

void KeyTree::Delete(const RegistryPath& path) {
  // Down through the first subkey until a key has none, which is deleted
  // from its parent; then on from the parent. Only the keys on the way down
  // are held, each with its name in the key above it.
  constexpr platform::REGSAM kRights =
      platform::kDelete | platform::kKeyEnumerateSubKeys | platform::kKeyQueryValue;
  RegistryPath parent = path;
  const std::size_t slash = path.branch.rfind(u'\\');
  parent.branch = slash == std::u16string::npos ? u"" : path.branch.substr(0, slash);
  const std::u16string name =
      slash == std::u16string::npos ? path.branch : path.branch.substr(slash + 1);
  std::vector<std::pair<std::unique_ptr<OpenKey>, std::u16string>> chain;
  try {
    chain.emplace_back(std::make_unique<OpenKey>(parent, kRights), u"");
    chain.emplace_back(std::make_unique<OpenKey>(*chain.back().first, name, kRights, path.view),
                       name);
  } catch (const ErrorObject& error) {
    if (IsMissing(error)) return;  // already gone
    throw;
  }
  while (chain.size() > 1) {
    std::u16string first;
    if (FirstSubkey(*chain.back().first, &first)) {
      auto child = std::make_unique<OpenKey>(*chain.back().first, first, kRights, path.view);
      chain.emplace_back(std::move(child), std::move(first));
      continue;
    }
    const std::u16string leaf = std::move(chain.back().second);
    chain.pop_back();  // closes it before it is deleted
    const platform::LONG result = platform::RegDeleteKeyW(chain.back().first->Get(), leaf.c_str());
    if (result != platform::kErrorFileNotFound) CheckRegistryCall(result);
  }
}

}  // namespace quorvane::qv
