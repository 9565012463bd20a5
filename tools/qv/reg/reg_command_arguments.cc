// What the reg commands share (see reg_commands.h).
#include <cstdio>
#include <string>

#include <quorvane/platform/unicode_text.h>
#include <quorvane/platform/win_types.h>
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

namespace {

// The longest names Windows' registry holds.
constexpr std::size_t kLongestKeyName = 255;
constexpr std::size_t kLongestValueName = 16383;

struct TypeName {
  std::int32_t code;
  const char16_t* name;
};

constexpr TypeName kTypes[] = {
    {0, u"REG_NONE"},   {1, u"REG_SZ"},       {2, u"REG_EXPAND_SZ"},
    {3, u"REG_BINARY"}, {4, u"REG_DWORD"},    {5, u"REG_DWORD_BIG_ENDIAN"},
    {6, u"REG_LINK"},   {7, u"REG_MULTI_SZ"}, {8, u"REG_RESOURCE_LIST"},
    {9, u"REG_FULL_RESOURCE_DESCRIPTOR"},   {11, u"REG_QWORD"},
};

}  // namespace

std::u16string TypeToName(std::int32_t code) {
  for (const TypeName& type : kTypes) {
    if (type.code == code) return type.name;
  }
  return Cli::Utf16(std::to_string(code));
}

std::int32_t TypeFromName(const std::u16string& name) {
  for (const TypeName& type : kTypes) {
    if (Cli::AsciiUpper(name) == type.name) return type.code;
  }
  // Another name reg.exe documents for the same type.
  if (Cli::AsciiUpper(name) == u"REG_DWORD_LITTLE_ENDIAN") return 4;
  throw UsageError{"unsupported registry data type '" + Cli::Utf8(name) + "'"};
}

// /v NAME or /ve (the default value); false when neither is given.
bool ValueName(const Switches& switches, std::u16string* name) {
  const bool named = switches.Value(u"v", name);
  if (named && switches.Has(u"ve")) throw UsageError{"give /v NAME or /ve, not both"};
  if (named && name->size() > kLongestValueName) {
    throw ToolFailure("the value name '" + Cli::Utf8(name->substr(0, 40)) + "...' is longer than " +
                      std::to_string(kLongestValueName) +
                      " characters, the most a value name may hold");
  }
  if (switches.Has(u"ve")) name->clear();
  return named || switches.Has(u"ve");
}

// A key named on the command line, in the registry view /reg:32 or /reg:64
// chooses (the 32-bit view finds HKLM\Software\X at Wow6432Node\X).
RegistryPath KeyIn(const Switches& switches, const std::u16string& text) {
  RegistryPath path = RegistryPath::Parse(text);
  for (std::size_t begin = 0; begin <= path.branch.size();) {
    std::size_t end = path.branch.find(u'\\', begin);
    if (end == std::u16string::npos) end = path.branch.size();
    if (end - begin > kLongestKeyName) {
      throw ToolFailure("the key name '" + Cli::Utf8(path.branch.substr(begin, 40)) +
                        "...' is longer than " + std::to_string(kLongestKeyName) +
                        " characters, the most a key name may hold");
    }
    begin = end + 1;
  }
  if (switches.Has(u"reg:32") && switches.Has(u"reg:64")) {
    throw UsageError{"give /reg:32 or /reg:64, not both"};
  }
  if (switches.Has(u"reg:32")) path.view = kKeyWow6432Key;
  if (switches.Has(u"reg:64")) path.view = kKeyWow6464Key;
  return path;
}

// The one positional word a command takes.
std::u16string OnlyPositional(const Switches& switches, const char* what) {
  if (switches.Positional().empty()) throw UsageError{std::string("missing ") + what};
  if (switches.Positional().size() > 1) {
    throw UsageError{"unexpected argument '" + Cli::Utf8(switches.Positional()[1]) + "'"};
  }
  return switches.Positional()[0];
}

// Value data as reg query shows them.
std::u16string Shown(const RegValue& value, const ShowOptions& options) {
  const std::string& data = value.data;
  const auto byte = [&](std::size_t i) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(data[i]));
  };
  char number[32];
  switch (value.type) {
    case kRegSz:
    case kRegExpandSz: {
      const std::u16string text = UnicodeText::FromUtf16Le(data);
      const std::size_t end = text.find(u'\0');
      return end == std::u16string::npos ? text : text.substr(0, end);
    }
    case kRegMultiSz: {
      std::u16string text = UnicodeText::FromUtf16Le(data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      std::u16string shown;
      for (char16_t unit : text)
        shown += unit == u'\0' ? options.separator : std::u16string(1, unit);
      return shown;
    }
    case kRegDword:
    case 5:  // REG_DWORD_BIG_ENDIAN
      if (data.size() == 4) {
        // reg.exe shows both as the bytes are stored, low byte first.
        const std::uint64_t bits = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(bits));
        return Cli::Utf16(number);
      }
      break;
    case 11:  // REG_QWORD
      if (data.size() == 8) {
        std::uint64_t bits = 0;
        for (std::size_t i = 8; i-- > 0;) bits = bits << 8 | byte(i);
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(bits));
        return Cli::Utf16(number);
      }
      break;
    default:
      break;
  }
  std::string hex;
  for (char unit : data) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(unit));
    hex += pair;
  }
  return Cli::Utf16(hex);
}

std::u16string ValueLine(const RegValue& value, const ShowOptions& options) {
  std::u16string type = TypeToName(static_cast<std::int32_t>(value.type));
  if (options.type_numbers) type += u" (" + Cli::Utf16(std::to_string(value.type)) + u")";
  return u"    " + (value.name.empty() ? std::u16string(u"(Default)") : value.name) + u"    " +
         type + u"    " + Shown(value, options);
}

bool Confirm(const std::string& question) {
  if (!StandardInputIsInteractive()) return false;
  for (;;) {
    std::fprintf(stderr, "%s (Yes/No)? ", question.c_str());
    std::fflush(stderr);
    char line[64] = {};
    // No answer at all is no one to ask.
    if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
    std::string answer(line);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    const std::u16string word = Cli::AsciiLower(Cli::Utf16(answer));
    if (word == u"y" || word == u"yes") return true;
    if (word == u"n" || word == u"no") throw Cancelled{};
  }
}

}  // namespace quorvane::qv
