// Registry: keys and values of the local registry or of a remote machine's.
//
// Every member addresses a key by a root key (`hKey`, one of the values in
// root_keys.h), a path below it (`Branch`, names separated by "\", "" for the
// root itself) and a machine (`MachineName`, "" for this one; "server" and
// "\\server" name the same remote machine).
//
// Failures are raised as ErrorObject with source "qvReg.Registry" and the
// number RegistryErrorBase + the platform's result code:
//   key or value missing (2)   -2147210502 "The registry key is invalid."
//   access refused (5)         -2147210499 "The registry key could not be written."
//   bad text in a name (7)     -2147210497 "Invalid parameter in registry request."
//   any code outside 1..8      base + code "Undefined registry error."
// so the platform's code is always Number() - RegistryErrorBase.
// Every key handle a member opens is closed before it returns or raises.
// Where the registry is a database (the portable backend's), the calls a
// member makes are one transaction: what it reads is one snapshot, and what
// it writes is on disk when it returns.
// Names and string values travel in the system's ANSI code page; text with
// U+0000 in a name, or with a character that code page cannot hold exactly, is
// refused with the invalid-parameter error before the registry is touched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <quorvane/core/collection.h>
#include <quorvane/core/error_object.h>
#include <quorvane/core/variant.h>
#include <quorvane/registry/platform_text.h>
#include <quorvane/registry/registry_errors.h>
#include <quorvane/registry/root_keys.h>

namespace quorvane {

class Registry {
 public:
  static constexpr std::int32_t RegistryErrorBase = RegistryErrors::kBase;  // 0x80042AF8
  // Raised for a value type that cannot be read or written; the description
  // is "Unsupported registry type - " and the type code.
  static constexpr std::int32_t kUnsupportedTypeError = RegistryErrorBase + 10;

  // Removes a value. A missing value raises "The registry key is invalid.".
  void DeleteValue(HKeyValue hKey, std::u16string_view Branch, const std::u16string& ValueName,
                   const std::u16string& MachineName = u"");

  // Removes a key without subkeys (the platform refuses one with subkeys: 5).
  void DeleteKey(HKeyValue hKey, std::u16string_view Branch,
                 const std::u16string& MachineName = u"");

  // The type code of a value, also of types QueryValue cannot read.
  [[nodiscard]] std::int32_t QueryType(HKeyValue hKey, std::u16string_view Branch,
                                       const std::u16string& ValueName,
                                       const std::u16string& MachineName = u"");

  // A value as a Variant:
  //   REG_SZ, REG_EXPAND_SZ   text, its terminating U+0000 dropped ("abc\0" -> "abc",
  //                           "abc" -> "abc"); never expanded
  //   REG_BINARY              text of every stored byte ("abc\0" -> "abc\0")
  //   REG_DWORD               32-bit integer (2 stored bytes 34 12 -> 4660)
  //   REG_MULTI_SZ            text with U+0000 between items, the final one or two
  //                           terminators dropped ("a\0b\0\0" -> "a\0b")
  //   anything else           raises kUnsupportedTypeError, source
  //                           "qvRegistry.Registry.QueryValueEx"
  [[nodiscard]] Variant QueryValue(HKeyValue hKey, std::u16string_view Branch,
                                   const std::u16string& ValueName,
                                   const std::u16string& MachineName = u"");

  // Writes a value into an existing key (nothing is created):
  //   1, 2, 3  NewValue's text in ANSI plus one zero byte ("abc" -> 61 62 63 00)
  //   4        NewValue as a 32-bit integer, 4 bytes, low byte first
  //   7        as 1; end each item with U+0000 ("a\0b\0" -> 61 00 62 00 00)
  //   other    raises kUnsupportedTypeError, source "qvRegistry.Registry.SetValue",
  //            after the key was opened; nothing is written
  // Conversion errors of NewValue (13, 6, 94) reach the caller unchanged.
  void SetValue(HKeyValue hKey, std::u16string_view Branch, const std::u16string& ValueName,
                std::int32_t ValueType, const Variant& NewValue,
                const std::u16string& MachineName = u"");

  // Creates every missing key along Branch; existing keys are left as they are.
  void CreateKey(HKeyValue hKey, std::u16string_view Branch,
                 const std::u16string& MachineName = u"");

  // The names of Branch's subkeys, exactly as stored, in the platform's order.
  // Never raises: a key that cannot be opened gives an empty collection, a
  // failure while listing the names found before it.
  [[nodiscard]] Collection GetBranchNames(HKeyValue hKey, std::u16string_view Branch,
                                          const std::u16string& MachineName = u"");

 private:
  friend class RegistryTestPeer;  // tests reach the private members through it
  using Handle = std::uint32_t;

  [[nodiscard]] std::int32_t QueryValueEx(Handle key, const PlatformText& value_name,
                                          Variant& value);
  [[nodiscard]] std::int32_t QueryValueType(Handle key, const PlatformText& value_name);
  bool CheckRegistryResult(std::int32_t result);
  [[nodiscard]] Handle OpenBranch(HKeyValue hKey, std::u16string_view path,
                                  const std::u16string& machine_name, std::uint32_t rights);
  // Opens path below hKey on this machine or on a remote one (connecting,
  // then closing the connection) and returns the result code. QueryValue asks
  // for other rights on a remote machine than on this one; OpenBranch raises
  // what this returns.
  [[nodiscard]] std::int32_t TryOpen(HKeyValue hKey, std::u16string_view path,
                                     const std::u16string& machine_name, std::uint32_t local_rights,
                                     std::uint32_t remote_rights, Handle* key);
  [[nodiscard]] std::int32_t WriteStringValue(Handle key, const PlatformText& value_name,
                                              const std::u16string& text);
  [[nodiscard]] std::int32_t WriteExpandStringValue(Handle key, const PlatformText& value_name,
                                                    const std::u16string& text);
  [[nodiscard]] std::int32_t WriteBinaryValue(Handle key, const PlatformText& value_name,
                                              const std::u16string& text);
  [[nodiscard]] std::int32_t WriteDwordValue(Handle key, const PlatformText& value_name,
                                             std::int32_t value);
  [[nodiscard]] std::int32_t WriteMultiStringValue(Handle key, const PlatformText& value_name,
                                                   const Variant& value);
  [[nodiscard]] std::int32_t WriteText(Handle key, const PlatformText& value_name,
                                       std::uint32_t type, const std::u16string& text);
  [[nodiscard]] std::u16string AddMachinePrefix(const std::u16string& machine_name);
  // The ANSI form of a name or value; raises the invalid-parameter error when
  // the text would not reach the platform unchanged.
  [[nodiscard]] PlatformText ToPlatformText(std::u16string_view text, bool allow_nul);
};

}  // namespace quorvane
