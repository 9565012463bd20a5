#include "tools/qv/cli.h"

#include <cstdio>

#include "core/error_object.h"
#include "core/utf8_text.h"

namespace quorvane::qv {

std::string Cli::Utf8(const std::u16string& text) { return Utf8Text::FromUtf16(text); }

std::u16string Cli::Utf16(const std::string& text) { return Utf8Text::ToUtf16(text); }

void Cli::Print(const std::u16string& line) { PrintRaw(Utf8(line) + "\n"); }

void Cli::PrintRaw(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::u16string Cli::Show(const Variant& value) {
  if (value.IsNull()) return u"(null)";
  if (value.IsMissing()) return u"(missing)";
  return value.ToText();
}

bool Arguments::WantsHelp() const {
  for (std::size_t i = next_; i < words_.size(); ++i) {
    if (words_[i] == u"--help" || words_[i] == u"-h" || words_[i] == u"/?") return true;
  }
  return false;
}

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

}  // namespace quorvane::qv
