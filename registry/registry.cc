#include <quorvane/registry/registry.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <quorvane/core/ansi_text.h>
#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/registry/registry_errors.h>

namespace quorvane {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::LONG;

constexpr std::uint32_t kOpenBranchRights = 0x3F;
constexpr std::uint32_t kQueryValueRights = platform::kKeyQueryValue;
constexpr std::uint32_t kReadRights = platform::kKeyRead;

// Room for the longest key name the platform allows (255 characters, a few
// more under some emulators) in any ANSI code page, and its zero.
constexpr DWORD kEnumBufferSize = 2048;
// Room kept for a listing's names from the start; more grow it as needed.
constexpr std::int32_t kUsualSubkeyCount = 16;

constexpr std::int32_t kResultInvalidParameter = 7;
constexpr std::int32_t kResultUnsupportedType = 10;

[[noreturn]] void RaiseUnsupportedType(std::int32_t type, const char16_t* source) {
  const std::string digits = std::to_string(type);
  throw ErrorObject(Registry::RegistryErrorBase + kResultUnsupportedType, source,
                    u"Unsupported registry type - " + std::u16string(digits.begin(), digits.end()));
}

// A key handle that is closed when it goes out of scope, so that every path out
// of a member, errors included, closes what the member opened.
class ScopedKey {
 public:
  ScopedKey() = default;
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() { Close(); }

  [[nodiscard]] HKEY Get() const { return handle_; }
  HKEY* Receive() {
    Close();
    return &handle_;
  }
  void Close() {
    if (handle_ != 0) platform::RegCloseKey(handle_);
    handle_ = 0;
  }
  // Gives the handle up without closing it (it belongs to another ScopedKey).
  void Forget() { handle_ = 0; }

 private:
  HKEY handle_ = 0;
};

// The platform calls of one member as one unit. Where the registry is a
// database of ours they are one transaction: one lock round trip instead of
// one per call, and no other process changes the key between them (a value
// cannot grow between the size query and the read). A member that writes
// takes the write lock at once and commits before it returns, so that what
// it wrote is on disk when it does. On other platforms a batch does nothing.
class CallBatch {
 public:
  explicit CallBatch(bool writing) : begun_(platform::BeginRegistryBatch(writing)) {}
  CallBatch(const CallBatch&) = delete;
  CallBatch& operator=(const CallBatch&) = delete;
  // A failed call inside has already undone its own work, so ending the
  // batch on an error keeps exactly what the bare calls would have kept.
  ~CallBatch() {
    if (begun_ == 0 && open_) platform::EndRegistryBatch(true);
  }

  // 0, or why the batch could not begin (the platform's result code).
  [[nodiscard]] LONG Begun() const { return begun_; }
  // Ends the batch and says whether its work reached the registry.
  [[nodiscard]] LONG End() {
    open_ = false;
    return platform::EndRegistryBatch(true);
  }

 private:
  LONG begun_;
  bool open_ = true;
};

// String data as text, with at most `most` terminating zeros dropped. ASCII
// data (byte for unit) lose them before they are widened, so that a short
// value fits the string's own room rather than the heap.
std::u16string TextWithoutTerminators(const char* bytes, std::size_t size, int most) {
  if (AnsiText::IsAscii(bytes, size)) {
    for (int i = 0; i < most && size > 0 && bytes[size - 1] == '\0'; ++i) --size;
    return AnsiText::Decode(bytes, size);
  }
  std::u16string text = AnsiText::Decode(bytes, size);
  for (int i = 0; i < most && !text.empty() && text.back() == u'\0'; ++i) text.pop_back();
  return text;
}

}  // namespace

bool Registry::CheckRegistryResult(std::int32_t result) {
  if (result != 0) RegistryErrors::Raise(result);
  return true;
}

PlatformText Registry::ToPlatformText(std::u16string_view text, bool allow_nul) {
  PlatformText bytes;
  bool has_nul = false;
  const bool ascii = bytes.AssignIfAscii(text, &has_nul);
  if (has_nul && !allow_nul) CheckRegistryResult(kResultInvalidParameter);
  if (ascii) return bytes;
  std::string encoded;
  if (!AnsiText::EncodeExactly(std::u16string(text), &encoded)) {
    CheckRegistryResult(kResultInvalidParameter);
  }
  bytes.Assign(encoded);
  return bytes;
}

std::u16string Registry::AddMachinePrefix(const std::u16string& machine_name) {
  if ((machine_name + u"  ").substr(0, 2) != u"\\\\") return u"\\\\" + machine_name;
  return machine_name;
}

Registry::Handle Registry::OpenBranch(HKeyValue hKey, std::u16string_view path,
                                      const std::u16string& machine_name, std::uint32_t rights) {
  ScopedKey key;
  CheckRegistryResult(TryOpen(hKey, path, machine_name, rights, rights, key.Receive()));
  const Handle opened = key.Get();
  key.Forget();
  return opened;
}

std::int32_t Registry::TryOpen(HKeyValue hKey, std::u16string_view path,
                               const std::u16string& machine_name, std::uint32_t local_rights,
                               std::uint32_t remote_rights, Handle* key) {
  *key = 0;
  const PlatformText platform_path = ToPlatformText(path, false);
  if (machine_name.empty()) {
    return platform::RegOpenKeyExA(hKey, platform_path.c_str(), 0, local_rights, key);
  }
  const PlatformText machine = ToPlatformText(AddMachinePrefix(machine_name), false);
  ScopedKey connection;
  const LONG connected = platform::RegConnectRegistryA(machine.c_str(), hKey, connection.Receive());
  if (connected != 0) return connected;
  const LONG result =
      platform::RegOpenKeyExA(connection.Get(), platform_path.c_str(), 0, remote_rights, key);
  // The connection is only the way to the key: it is closed here, and never
  // twice when the platform handed back the root itself.
  if (connection.Get() == *key) connection.Forget();
  return result;
}

void Registry::DeleteValue(HKeyValue hKey, std::u16string_view Branch,
                           const std::u16string& ValueName, const std::u16string& MachineName) {
  const PlatformText name = ToPlatformText(ValueName, false);
  CallBatch batch(true);
  CheckRegistryResult(batch.Begun());
  ScopedKey key;
  *key.Receive() = OpenBranch(hKey, Branch, MachineName, kOpenBranchRights);
  CheckRegistryResult(platform::RegDeleteValueA(key.Get(), name.c_str()));
  CheckRegistryResult(batch.End());
}

void Registry::DeleteKey(HKeyValue hKey, std::u16string_view Branch,
                         const std::u16string& MachineName) {
  const PlatformText path = ToPlatformText(Branch, false);
  CallBatch batch(true);
  CheckRegistryResult(batch.Begun());
  ScopedKey root;
  *root.Receive() = OpenBranch(hKey, u"", MachineName, kOpenBranchRights);
  CheckRegistryResult(platform::RegDeleteKeyA(root.Get(), path.c_str()));
  CheckRegistryResult(batch.End());
}

std::int32_t Registry::QueryType(HKeyValue hKey, std::u16string_view Branch,
                                 const std::u16string& ValueName,
                                 const std::u16string& MachineName) {
  const PlatformText name = ToPlatformText(ValueName, false);
  CallBatch batch(false);
  CheckRegistryResult(batch.Begun());
  ScopedKey key;
  CheckRegistryResult(TryOpen(hKey, Branch, MachineName, kReadRights, kReadRights, key.Receive()));
  return QueryValueType(key.Get(), name);
}

std::int32_t Registry::QueryValueType(Handle key, const PlatformText& value_name) {
  DWORD type = 0;
  DWORD size = 0;
  CheckRegistryResult(
      platform::RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size));
  return static_cast<std::int32_t>(type);
}

Variant Registry::QueryValue(HKeyValue hKey, std::u16string_view Branch,
                             const std::u16string& ValueName, const std::u16string& MachineName) {
  const PlatformText name = ToPlatformText(ValueName, false);
  CallBatch batch(false);
  CheckRegistryResult(batch.Begun());
  ScopedKey key;
  CheckRegistryResult(
      TryOpen(hKey, Branch, MachineName, kQueryValueRights, kReadRights, key.Receive()));
  Variant value;
  CheckRegistryResult(QueryValueEx(key.Get(), name, value));
  return value;
}

std::int32_t Registry::QueryValueEx(Handle key, const PlatformText& value_name, Variant& value) {
  value = Variant();
  DWORD type = 0;
  DWORD size = 0;
  LONG result = platform::RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size);
  if (result != 0) return result;
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
    case platform::kRegBinary:
    case platform::kRegMultiSz: {
      // Most values fit the buffer on the stack.
      std::array<char, 512> small;
      std::vector<char> large(size < small.size() ? 0 : size + 1);
      char* buffer = size < small.size() ? small.data() : large.data();
      result = platform::RegQueryValueExA(key, value_name.c_str(), nullptr, &type,
                                          reinterpret_cast<platform::BYTE*>(buffer), &size);
      if (result != 0) return result;
      // Terminators are dropped, never data: a value stored without its zero
      // keeps every character.
      const int terminators =
          type == platform::kRegBinary ? 0 : (type == platform::kRegMultiSz ? 2 : 1);
      value = TextWithoutTerminators(buffer, size, terminators);
      return 0;
    }
    case platform::kRegDword: {
      std::array<platform::BYTE, 4> bytes{};
      size = 4;
      result =
          platform::RegQueryValueExA(key, value_name.c_str(), nullptr, &type, bytes.data(), &size);
      if (result != 0) return result;
      const std::uint32_t bits = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                 (static_cast<std::uint32_t>(bytes[3]) << 24);
      value = static_cast<std::int32_t>(bits);
      return 0;
    }
    default:
      RaiseUnsupportedType(static_cast<std::int32_t>(type), u"qvRegistry.Registry.QueryValueEx");
  }
}

void Registry::SetValue(HKeyValue hKey, std::u16string_view Branch, const std::u16string& ValueName,
                        std::int32_t ValueType, const Variant& NewValue,
                        const std::u16string& MachineName) {
  const PlatformText name = ToPlatformText(ValueName, false);
  CallBatch batch(true);
  CheckRegistryResult(batch.Begun());
  ScopedKey key;
  *key.Receive() = OpenBranch(hKey, Branch, MachineName, kOpenBranchRights);
  switch (ValueType) {
    case kRegSz:
      CheckRegistryResult(WriteStringValue(key.Get(), name, NewValue.ToText()));
      break;
    case kRegExpandSz:
      CheckRegistryResult(WriteExpandStringValue(key.Get(), name, NewValue.ToText()));
      break;
    case kRegBinary:
      CheckRegistryResult(WriteBinaryValue(key.Get(), name, NewValue.ToText()));
      break;
    case kRegDword:
      CheckRegistryResult(WriteDwordValue(key.Get(), name, NewValue.ToInt32()));
      break;
    case kRegMultiSz:
      CheckRegistryResult(WriteMultiStringValue(key.Get(), name, NewValue));
      break;
    default:
      // A type no writer handles is reported, not silently skipped.
      RaiseUnsupportedType(ValueType, u"qvRegistry.Registry.SetValue");
  }
  CheckRegistryResult(batch.End());
}

std::int32_t Registry::WriteText(Handle key, const PlatformText& value_name, std::uint32_t type,
                                 const std::u16string& text) {
  // U+0000 inside string data is the caller's own business (multi-strings
  // are built from it); characters the code page cannot hold are refused.
  // The data end in the zero that follows the text.
  const PlatformText bytes = ToPlatformText(text, true);
  return platform::RegSetValueExA(key, value_name.c_str(), 0, type,
                                  reinterpret_cast<const platform::BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size() + 1));
}

std::int32_t Registry::WriteStringValue(Handle key, const PlatformText& value_name,
                                        const std::u16string& text) {
  return WriteText(key, value_name, platform::kRegSz, text);
}

std::int32_t Registry::WriteExpandStringValue(Handle key, const PlatformText& value_name,
                                              const std::u16string& text) {
  return WriteText(key, value_name, platform::kRegExpandSz, text);
}

std::int32_t Registry::WriteBinaryValue(Handle key, const PlatformText& value_name,
                                        const std::u16string& text) {
  return WriteText(key, value_name, platform::kRegBinary, text);
}

std::int32_t Registry::WriteDwordValue(Handle key, const PlatformText& value_name,
                                       std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::array<platform::BYTE, 4> bytes = {
      static_cast<platform::BYTE>(bits), static_cast<platform::BYTE>(bits >> 8),
      static_cast<platform::BYTE>(bits >> 16), static_cast<platform::BYTE>(bits >> 24)};
  return platform::RegSetValueExA(key, value_name.c_str(), 0, platform::kRegDword, bytes.data(), 4);
}

std::int32_t Registry::WriteMultiStringValue(Handle key, const PlatformText& value_name,
                                             const Variant& value) {
  return WriteText(key, value_name, platform::kRegMultiSz, value.ToText());
}

void Registry::CreateKey(HKeyValue hKey, std::u16string_view Branch,
                         const std::u16string& MachineName) {
  const PlatformText path = ToPlatformText(Branch, false);
  CallBatch batch(true);
  CheckRegistryResult(batch.Begun());
  ScopedKey root;
  *root.Receive() = OpenBranch(hKey, u"", MachineName, kOpenBranchRights);
  ScopedKey created;
  const LONG result = platform::RegCreateKeyA(root.Get(), path.c_str(), created.Receive());
  // The platform may hand back the root itself: close that handle once.
  if (created.Get() == root.Get()) created.Forget();
  CheckRegistryResult(result);
  CheckRegistryResult(batch.End());
}

Collection Registry::GetBranchNames(HKeyValue hKey, std::u16string_view Branch,
                                    const std::u16string& MachineName) {
  Collection names;
  CallBatch batch(false);
  if (batch.Begun() != 0) return names;
  ScopedKey key;
  try {
    if (TryOpen(hKey, Branch, MachineName, kReadRights, kReadRights, key.Receive()) != 0) {
      return names;
    }
  } catch (const ErrorObject&) {
    return names;  // a name the platform could not be given
  }
  std::array<char, kEnumBufferSize> buffer;
  names.Reserve(kUsualSubkeyCount);
  for (DWORD index = 0;; ++index) {
    if (platform::RegEnumKeyA(key.Get(), index, buffer.data(), kEnumBufferSize) != 0) break;
    const void* end = std::memchr(buffer.data(), '\0', buffer.size());
    const std::size_t length =
        end == nullptr ? buffer.size() : static_cast<const char*>(end) - buffer.data();
    names.Add(AnsiText::Decode(buffer.data(), length));
  }
  return names;
}

}  // namespace quorvane
