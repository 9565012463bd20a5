#include "tools/qv/cli/cli.h"

#include <cstdio>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/platform/unicode_text.h>
#include <quorvane/registry/registry_errors.h>

namespace quorvane::qv {

std::string Cli::Utf8(const std::u16string& text) { return UnicodeText::Utf8FromUtf16(text); }

std::u16string Cli::Utf16(const std::string& text) { return UnicodeText::Utf16FromUtf8(text); }

std::u16string Cli::AsciiUpper(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit -= 0x20;
  }
  return text;
}

std::u16string Cli::AsciiLower(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z') unit += 0x20;
  }
  return text;
}

void Cli::Print(const std::u16string& line) { PrintRaw(Utf8(line) + "\n"); }

void Cli::PrintRaw(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::u16string Cli::Show(const Variant& value) {
  if (value.IsNull()) return u"(null)";
  if (value.IsMissing()) return u"(missing)";
  return value.ToText();
}

bool Arguments::IsHelpWord(const std::u16string& word) {
  const std::u16string lower = Cli::AsciiLower(word);
  return lower == u"--help" || lower == u"/?" || lower == u"-?" || lower == u"/h" || lower == u"-h";
}

bool Arguments::WantsHelp() const {
  for (std::size_t i = next_; i < words_.size(); ++i) {
    if (IsHelpWord(words_[i])) return true;
  }
  return false;
}

bool Arguments::NextIsHelp() const { return !Empty() && IsHelpWord(words_[next_]); }

std::u16string Arguments::Take(const char* what) {
  if (Empty()) throw UsageError{std::string("missing ") + what};
  return words_[next_++];
}

bool Arguments::TakeOptional(std::u16string* word) {
  if (Empty()) return false;
  *word = words_[next_++];
  return true;
}

void Arguments::ExpectEnd() const {
  if (!Empty()) throw UsageError{"unexpected argument '" + Cli::Utf8(words_[next_]) + "'"};
}

bool Arguments::TakeOption(const std::u16string& name, std::u16string* value) {
  for (std::size_t i = next_; i < words_.size(); ++i) {
    if (words_[i] == u"/" + name || words_[i] == u"-" + name) {
      if (i + 1 >= words_.size()) throw UsageError{"/" + Cli::Utf8(name) + " needs a value"};
      *value = words_[i + 1];
      words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i),
                   words_.begin() + static_cast<std::ptrdiff_t>(i + 2));
      return true;
    }
  }
  return false;
}

bool Arguments::TakeFlag(const std::u16string& name) {
  for (std::size_t i = next_; i < words_.size(); ++i) {
    if (words_[i] == u"/" + name || words_[i] == u"-" + name) {
      words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

Switches::Switches(Arguments& arguments, std::vector<std::u16string> with_value,
                   std::vector<std::u16string> flags) {
  const auto known = [](const std::vector<std::u16string>& names, const std::u16string& name) {
    for (const std::u16string& candidate : names) {
      if (candidate == name) return true;
    }
    return false;
  };
  std::u16string word;
  while (arguments.TakeOptional(&word)) {
    const bool switch_like = word.size() > 1 && (word[0] == u'/' || word[0] == u'-');
    const std::u16string name = switch_like ? Cli::AsciiLower(word.substr(1)) : u"";
    if (switch_like && known(with_value, name)) {
      std::u16string value;
      if (!arguments.TakeOptional(&value))
        throw UsageError{"/" + Cli::Utf8(name) + " needs a value"};
      if (Has(name)) throw UsageError{"/" + Cli::Utf8(name) + " is given twice"};
      given_.emplace_back(name, value);
    } else if (switch_like && known(flags, name)) {
      if (Has(name)) throw UsageError{"/" + Cli::Utf8(name) + " is given twice"};
      given_.emplace_back(name, u"");
    } else {
      // Anything else is positional: on POSIX hosts a path begins with "/".
      positional_.push_back(word);
    }
  }
}

bool Switches::Has(const std::u16string& name) const {
  for (const auto& [given, value] : given_) {
    if (given == name) return true;
  }
  return false;
}

bool Switches::Value(const std::u16string& name, std::u16string* value) const {
  for (const auto& [given, text] : given_) {
    if (given == name) {
      *value = text;
      return true;
    }
  }
  return false;
}

// The result codes that tell of the registry's medium rather than of a key.
bool IsStoreFailure(std::int32_t number) {
  for (platform::LONG code :
       {platform::kErrorBadDbDatabase, platform::kErrorCantOpen, platform::kErrorCantRead,
        platform::kErrorCantWrite, platform::kErrorDiskFull, platform::kErrorBusy}) {
    if (number == RegistryErrors::kBase + code) return true;
  }
  return false;
}

namespace {

// What a registry error means, in words that name its cause: reg.exe's where
// it has them, else Windows' own text for the result code; for the
// registry's medium, the diagnosis of what went wrong with its file.
std::string CauseOf(const ErrorObject& error) {
  if (IsStoreFailure(error.Number())) {
    std::string diagnosis = platform::RegistryStoreDiagnosis();
    if (!diagnosis.empty()) return diagnosis;
  }
  struct Cause {
    platform::LONG code;
    const char* words;
  };
  static constexpr Cause kCauses[] = {
      {platform::kErrorFileNotFound, kNotFound},
      {platform::kErrorAccessDenied, "Access is denied"},
      {platform::kErrorInvalidHandle, "The handle is invalid"},
      {platform::kErrorBadNetpath, "The network path was not found: the machine cannot be reached"},
      {platform::kErrorInvalidParameter, "The parameter is incorrect"},
      {platform::kErrorBadPathname, "The specified path is invalid"},
      {platform::kErrorMoreData, "More data is available"},
      {platform::kErrorKeyDeleted,
       "Illegal operation attempted on a registry key that has been marked for deletion"},
      {platform::kErrorNoSystemResources,
       "Insufficient system resources exist to complete the requested service: a registry key "
       "lies at most 512 levels below its root"},
      {platform::kErrorBadDbDatabase, "The configuration registry database is corrupt"},
      {platform::kErrorCantOpen, "The configuration registry key could not be opened"},
      {platform::kErrorCantRead, "The configuration registry key could not be read"},
      {platform::kErrorCantWrite, "The configuration registry key could not be written"},
      {platform::kErrorDiskFull, "There is not enough space on the disk"},
      {platform::kErrorBusy, "The requested resource is in use"},
  };
  for (const Cause& cause : kCauses) {
    if (error.Number() == RegistryErrors::kBase + cause.code) return cause.words;
  }
  return {};
}

}  // namespace

std::string ErrorWords(const ErrorObject& error) {
  const std::string cause = CauseOf(error);
  return cause.empty() ? error.what() : cause;
}

void ReportError(const ErrorObject& error, bool verbose) {
  std::fflush(stdout);
  std::fprintf(stderr, "qv: %s\n", ErrorWords(error).c_str());
  if (verbose) {
    std::fprintf(stderr, "qv: %s (error %d, 0x%08X, source %s)\n", error.what(), error.Number(),
                 static_cast<unsigned>(error.Number()), Cli::Utf8(error.Source()).c_str());
  }
}

}  // namespace quorvane::qv
