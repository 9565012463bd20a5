// Keys the tool holds open, and walks over whole trees of them. A walk opens
// each key once, below its parent's handle, and never recurses, so that a
// tree's depth costs neither stack nor a reopen from the root per level.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <quorvane/platform/win_types.h>
#include "tools/qv/cli/registry_path.h"
#include "tools/qv/regfile/reg_text.h"

namespace quorvane::qv {

// Raises the registry's own error for a failed platform call.
void CheckRegistryCall(platform::LONG result);

// A key opened for a while, on this machine or another.
class OpenKey {
 public:
  // Opens `path`, or with `create` creates every missing level of it.
  OpenKey(const RegistryPath& path, platform::REGSAM rights, bool create = false);
  // Opens the subkey `name` of an open key.
  OpenKey(const OpenKey& parent, const std::u16string& name, platform::REGSAM rights,
          std::uint32_t view);
  ~OpenKey();
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  [[nodiscard]] platform::HKEY Get() const { return key_; }

 private:
  platform::HKEY key_ = 0;
};

// A key's values in the registry's order, with their exact bytes.
[[nodiscard]] std::vector<RegValue> ValuesOf(const OpenKey& key);
// Writes one value into an open key with exactly the bytes given.
void WriteValueTo(const OpenKey& key, const RegValue& value);
// The names of a key's subkeys in the registry's order.
[[nodiscard]] std::vector<std::u16string> SubkeyNamesOf(const OpenKey& key);

class KeyTree {
 public:
  // Deeper than this below the key a walk starts from, a tree cannot have
  // been made on Windows (nor, since it keeps the same limit, by this registry).
  static constexpr int kMaxDepth = 512;

  struct Visit {
    const OpenKey& key;
    const RegistryPath& path;
    int depth;  // 0 for the key the walk starts from
  };
  // Calls `visit` for `top` and every key below it, each before its subkeys,
  // subkeys in the registry's order. Each key is opened with `rights`; the
  // names of a key's subkeys are read before its first subkey is visited.
  // A tree deeper than kMaxDepth raises ToolFailure before anything deeper
  // is visited.
  static void Walk(const RegistryPath& top, platform::REGSAM rights,
                   const std::function<void(const Visit&)>& visit);
  // Whether `inner` is `outer` or lies below it. Names are compared as typed
  // and, since HKCR, HKCU, HKU\<SID> and the 32-bit view are several names for
  // one key, as the registry resolves them (the deepest existing ancestor
  // stands for a key not made yet).
  [[nodiscard]] static bool Contains(const RegistryPath& outer, const RegistryPath& inner);
  // Deletes `path` with every key below it, deepest first, at any depth and
  // with memory in proportion to the depth; a key already gone is no error.
  static void Delete(const RegistryPath& path);
};

}  // namespace quorvane::qv
