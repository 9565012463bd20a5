#include "tools/qv/cli.h"

#include <cstdio>

#include "core/error_object.h"
#include "platform/unicode_text.h"

namespace quorvane::qv {

std::string Cli::Utf8(const std::u16string& text) { return UnicodeText::Utf8FromUtf16(text); }

std::u16string Cli::Utf16(const std::string& text) { return UnicodeText::Utf16FromUtf8(text); }

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

bool Arguments::NextIsHelp() const {
  return !Empty() && (words_[next_] == u"--help" || words_[next_] == u"-h" ||
                      words_[next_] == u"/?" || words_[next_] == u"-?");
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

namespace {

std::u16string Lower(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z') unit += 0x20;
  }
  return text;
}

}  // namespace

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
    const std::u16string name = switch_like ? Lower(word.substr(1)) : u"";
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

}  // namespace quorvane::qv
