#include "tools/qv/regedit/regedit_api.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"

namespace quorvane::qv {

namespace {

using nlohmann::json;

constexpr std::size_t kMostInAPage = 2000;  // the page asks for fewer

std::string Bytes(const std::string& hex) {
  if (hex.size() % 2 != 0) throw ToolFailure("the data are not whole bytes of hex digits");
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = RegText::HexDigit(static_cast<char16_t>(hex[i]));
    const int low = RegText::HexDigit(static_cast<char16_t>(hex[i + 1]));
    if (high < 0 || low < 0) throw ToolFailure("the data are not hex digits");
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

std::u16string Text(const json& request, const char* field) {
  const auto found = request.find(field);
  if (found == request.end() || !found->is_string()) {
    throw ToolFailure(std::string("the request has no ") + field);
  }
  return Cli::Utf16(found->get<std::string>());
}

RegistryPath KeyOf(const json& request) {
  RegistryPath path = RegistryPath::Parse(Text(request, "path"));
  const auto view = request.find("view");
  if (view != request.end() && view->is_string()) {
    if (*view == "32") path.view = kKeyWow6432Key;
    if (*view == "64") path.view = kKeyWow6464Key;
  }
  return path;
}

std::size_t Number(const json& request, const char* field, std::size_t otherwise) {
  const auto found = request.find(field);
  if (found == request.end()) return otherwise;
  if (found->is_number_unsigned()) return found->get<std::size_t>();
  if (found->is_string()) return std::strtoull(found->get<std::string>().c_str(), nullptr, 10);
  return otherwise;
}

RegistryPath Child(const RegistryPath& parent, const std::u16string& name) {
  if (name.empty() || name.find(u'\\') != std::u16string::npos) {
    throw ToolFailure("a key's name is not empty and holds no backslash");
  }
  RegistryPath child = parent;
  child.branch = parent.branch.empty() ? name : parent.branch + u"\\" + name;
  return child;
}

// Whether a subkey has subkeys of its own, as regedit shows by its sign; a
// key that cannot be opened shows none, and opening it says why.
bool HasSubkeys(const OpenKey& parent, const std::u16string& name, std::uint32_t view) {
  try {
    const OpenKey child(parent, name, platform::kKeyRead, view);
    char16_t first[256];
    platform::DWORD size = 256;
    const platform::LONG status =
        platform::RegEnumKeyExW(child.Get(), 0, first, &size, nullptr, nullptr, nullptr, nullptr);
    return status == platform::kErrorSuccess || status == platform::kErrorMoreData;
  } catch (const std::exception&) {
    return false;
  }
}

json Subkeys(const json& request) {
  const RegistryPath key = KeyOf(request);
  RegistryBatch snapshot(false);
  const OpenKey parent(key, platform::kKeyRead);
  const std::vector<std::u16string> names = SubkeyNamesOf(parent);
  const std::size_t from = std::min(Number(request, "from", 0), names.size());
  const std::size_t count = std::min(Number(request, "count", kMostInAPage), kMostInAPage);
  json answer = {{"total", names.size()}, {"from", from}, {"subkeys", json::array()}};
  for (std::size_t i = from; i < names.size() && i < from + count; ++i) {
    answer["subkeys"].push_back(
        {{"name", Cli::Utf8(names[i])}, {"below", HasSubkeys(parent, names[i], key.view)}});
  }
  snapshot.Commit();
  return answer;
}

json Values(const json& request) {
  const std::vector<RegValue> values = RegFile::Values(KeyOf(request));
  const std::size_t from = std::min(Number(request, "from", 0), values.size());
  const std::size_t count = std::min(Number(request, "count", kMostInAPage), kMostInAPage);
  json answer = {{"total", values.size()}, {"from", from}, {"values", json::array()}};
  for (std::size_t i = from; i < values.size() && i < from + count; ++i) {
    answer["values"].push_back({{"name", Cli::Utf8(values[i].name)},
                                {"type", values[i].type},
                                {"data", RegeditApi::Hex(values[i].data)}});
  }
  return answer;
}

// The whole tree below `from`, written again below `to` (a rename).
void CopyTree(const RegistryPath& from, const RegistryPath& to) {
  struct Copied {
    std::u16string below;
    std::vector<RegValue> values;
  };
  std::vector<Copied> tree;
  const std::size_t skip = from.branch.empty() ? 0 : from.branch.size() + 1;
  KeyTree::Walk(from, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
    tree.push_back(
        {visit.depth == 0 ? u"" : visit.path.branch.substr(skip), RegFile::Values(visit.path)});
  });
  for (const Copied& key : tree) {
    RegistryPath target = to;
    if (!key.below.empty()) target.branch += u"\\" + key.below;
    RegFile::WriteValues(target, key.values);
  }
}

json Edit(const std::string& action, const json& request) {
  const RegistryPath key = KeyOf(request);
  RegistryBatch transaction(true, key.root);
  if (action == "key/create") {
    const RegistryPath child = Child(key, Text(request, "name"));
    if (RegFile::KeyExists(child)) throw ToolFailure("a key of that name is there already");
    RegFile::CreateKey(child);
  } else if (action == "key/delete") {
    if (key.branch.empty()) throw ToolFailure("a root key cannot be deleted");
    RegFile::RequireKey(key);
    RegFile::DeleteTree(key);
  } else if (action == "key/rename") {
    if (key.branch.empty()) throw ToolFailure("a root key cannot be renamed");
    RegFile::RequireKey(key);
    RegistryPath parent = key;
    const std::size_t split = key.branch.rfind(u'\\');
    parent.branch = split == std::u16string::npos ? u"" : key.branch.substr(0, split);
    const RegistryPath renamed = Child(parent, Text(request, "name"));
    if (RegFile::KeyExists(renamed)) throw ToolFailure("a key of that name is there already");
    CopyTree(key, renamed);
    RegFile::DeleteTree(key);
  } else if (action == "value/set") {
    RegFile::RequireKey(key);
    const auto type = request.find("type");
    if (type == request.end() || !type->is_number_unsigned()) {
      throw ToolFailure("the request has no type");
    }
    RegFile::WriteValue(key, {Text(request, "name"), type->get<std::uint32_t>(),
                              Bytes(Cli::Utf8(Text(request, "data")))});
  } else if (action == "value/delete") {
    const std::u16string name = Text(request, "name");
    if (!RegFile::ValueExists(key, name)) throw ToolFailure("no value of that name");
    RegFile::DeleteValue(key, name);
  } else if (action == "value/rename") {
    const std::u16string name = Text(request, "name");
    const std::u16string renamed = Text(request, "to");
    if (RegFile::ValueExists(key, renamed))
      throw ToolFailure("a value of that name is there already");
    for (RegValue value : RegFile::Values(key)) {
      if (value.name == name) {
        value.name = renamed;
        RegFile::WriteValue(key, value);
        RegFile::DeleteValue(key, name);
        transaction.Commit();
        return {{"done", true}};
      }
    }
    throw ToolFailure("no value of that name");
  } else {
    throw ToolFailure("no such action");
  }
  transaction.Commit();
  return {{"done", true}};
}

}  // namespace

std::string RegeditApi::Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    text.push_back(kDigits[static_cast<unsigned char>(byte) >> 4]);
    text.push_back(kDigits[static_cast<unsigned char>(byte) & 15]);
  }
  return text;
}

bool RegeditApi::Changes(const std::string& action) {
  return action != "keys" && action != "values";
}

std::string RegeditApi::Answer(const std::string& action, const std::string& request,
                               bool* failed) {
  *failed = false;
  try {
    const json asked = json::parse(request.empty() ? "{}" : request);
    if (!asked.is_object()) throw ToolFailure("the request is not an object");
    if (action == "keys") return Subkeys(asked).dump();
    if (action == "values") return Values(asked).dump();
    return Edit(action, asked).dump();
  } catch (const ErrorObject& error) {
    *failed = true;
    return json{{"error", ErrorWords(error)}}.dump();
  } catch (const json::exception&) {
    *failed = true;
    return json{{"error", "the request is not JSON"}}.dump();
  } catch (const UsageError& usage) {
    *failed = true;
    return json{{"error", usage.hint}}.dump();
  } catch (const std::exception& failure) {
    *failed = true;
    return json{{"error", failure.what()}}.dump();
  }
}

}  // namespace quorvane::qv
