// The .reg writer: keys and values as lines of either format.
#include "tools/qv/regfile/reg_writer.h"

#include <utility>

#include <quorvane/core/ansi_text.h>
#include <quorvane/platform/unicode_text.h>
#include "tools/qv/regfile/reg_text_internal.h"

namespace quorvane::qv {
namespace {

constexpr std::size_t kLineWidth = 76;

std::u16string Quoted(const std::u16string& text) {
  std::u16string quoted = u"\"";
  for (char16_t unit : text) {
    if (unit == u'\\' || unit == u'"') {
      quoted.push_back(u'\\');
      quoted.push_back(unit);
    } else if (unit == u'\n') {
      quoted += u"\\n";
    } else if (unit == u'\r') {
      quoted += u"\\r";
    } else {
      quoted.push_back(unit);
    }
  }
  return quoted + u"\"";
}

// 1 to `max_digits` hex digits, exactly.

}  // namespace

RegWriter::RegWriter(RegFormat format, Sink sink) : format_(format), sink_(std::move(sink)) {
  if (format_ == RegFormat::kVersion5) sink_("\xFF\xFE");
  Line(format == RegFormat::kVersion5 ? kVersion5Header : kRegedit4Header);
}

void RegWriter::Line(const std::u16string& line) {
  text_ += line;
  text_ += u"\r\n";
  Drain(false);
}

void RegWriter::Drain(bool all) {
  constexpr std::size_t kPiece = 32 * 1024;  // characters
  if (!all && text_.size() < kPiece) return;
  if (format_ == RegFormat::kVersion5) {
    bytes_ = UnicodeText::Utf16Le(text_);
  } else if (!AnsiText::EncodeExactly(text_, &bytes_)) {
    throw RegTextError("the tree holds text that the ANSI code page cannot carry");
  }
  sink_(bytes_);
  text_.clear();
}

std::string RegWriter::Whole(RegFormat format, const std::function<void(RegWriter&)>& write) {
  std::string file;
  RegWriter writer(format, [&file](std::string_view bytes) { file.append(bytes); });
  write(writer);
  writer.Finish();
  return file;
}

void RegWriter::Key(const std::u16string& full_name) {
  CheckKeyName(full_name);
  key_ = full_name;
  Line(u"");
  Line(u"[" + full_name + u"]");
}

void RegWriter::CheckKeyName(const std::u16string& full_name) const {
  if (full_name.find_first_of(u"\r\n") != std::u16string::npos) {
    throw RegTextError("the key \"" + Narrow(full_name) +
                       "\" has a line break in its name, which a .reg file cannot carry");
  }
  std::string ignored;
  if (format_ == RegFormat::kRegedit4 && !AnsiText::EncodeExactly(full_name, &ignored)) {
    throw RegTextError("the key \"" + Narrow(full_name) +
                       "\" has a name the ANSI code page cannot carry (the version-5 form can)");
  }
}

void RegWriter::CheckValueName(const std::u16string& name) const {
  std::string ignored;
  if (format_ == RegFormat::kRegedit4 && !AnsiText::EncodeExactly(name, &ignored)) {
    throw RegTextError("the value \"" + Narrow(name) + "\" of \"" + Narrow(key_) +
                       "\" has a name the ANSI code page cannot carry (the version-5 form can)");
  }
}

void RegWriter::DeleteKey(const std::u16string& full_name) {
  CheckKeyName(full_name);
  key_ = full_name;
  Line(u"");
  Line(u"[-" + full_name + u"]");
}

void RegWriter::DeleteValue(const std::u16string& name) {
  CheckValueName(name);
  Line((name.empty() ? u"@" : Quoted(name)) + u"=-");
}

std::u16string RegWriter::Hex(const std::u16string& left, const std::string& prefix,
                              const std::string& bytes) const {
  std::u16string out = left + Cli::Utf16(prefix);
  std::size_t column = out.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    out += Cli::Utf16(pair);
    column += 2;
    if (i + 1 < bytes.size()) {
      out += u",";
      ++column;
      if (column >= kLineWidth) {
        out += u"\\\r\n  ";
        column = 2;
      }
    }
  }
  return out;
}

void RegWriter::Value(const RegValue& value) {
  const std::u16string left = value.name.empty() ? u"@=" : Quoted(value.name) + u"=";
  const auto fail = [&](const char* why) {
    throw RegTextError("the value \"" + Narrow(value.name) + "\" of \"" + Narrow(key_) + "\" " +
                       why);
  };
  CheckValueName(value.name);
  if (value.type == kRegDwordType && value.data.size() == 4) {
    const auto byte = [&](int i) {
      return static_cast<unsigned>(static_cast<unsigned char>(value.data[i]));
    };
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x",
                  byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
    Line(left + Cli::Utf16(digits));
    return;
  }
  char prefix[24];
  if (value.type == kRegBinaryType) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
  }
  if (!IsStringType(value.type)) {
    Line(Hex(left, prefix, value.data));
    return;
  }
  const std::u16string text = UnicodeText::FromUtf16Le(value.data);
  const bool whole = value.data.size() % 2 == 0;
  const bool quotable = whole && value.type == kRegSzType && !text.empty() &&
                        text.back() == u'\0' &&
                        text.find_first_of(std::u16string(u"\r\n\0", 3)) == text.size() - 1;
  if (format_ == RegFormat::kVersion5) {
    // Strings are UTF-16 in this format: the hex form carries the bytes as
    // they are, whatever they hold.
    Line(quotable ? left + Quoted(text.substr(0, text.size() - 1)) : Hex(left, prefix, value.data));
    return;
  }
  std::string ansi;
  if (!whole || !AnsiText::EncodeExactly(text, &ansi)) {
    fail("holds text the ANSI code page cannot carry (the version-5 form can)");
  }
  Line(quotable ? left + Quoted(text.substr(0, text.size() - 1)) : Hex(left, prefix, ansi));
}

void RegWriter::Finish() {
  Line(u"");
  Drain(true);
}

}  // namespace quorvane::qv
