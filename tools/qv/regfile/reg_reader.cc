// The .reg reader: lines of either format, in UTF-16, UTF-8 or the ANSI code
// page, read back into keys and values exactly, or refused line by line.
#include "tools/qv/regfile/reg_reader.h"

#include <cstdio>

#include <quorvane/core/ansi_text.h>
#include <quorvane/platform/unicode_text.h>
#include "tools/qv/regfile/reg_text_internal.h"

namespace quorvane::qv {
namespace {

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

std::u16string TrimEnd(std::u16string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

void TrimEndInPlace(std::u16string* text) {
  while (!text->empty() && IsBlank(text->back())) text->pop_back();
}

std::size_t SkipBlanks(const std::u16string& text, std::size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

// ANSI bytes as text, only when that is exact.
bool DecodeAnsiExactly(const std::string& bytes, std::u16string* text) {
  *text = AnsiText::Decode(bytes.data(), bytes.size());
  std::string again;
  return AnsiText::EncodeExactly(*text, &again) && again == bytes;
}

bool ParseHexNumber(const std::u16string& digits, std::size_t max_digits, std::uint32_t* value) {
  if (digits.empty() || digits.size() > max_digits) return false;
  std::uint32_t result = 0;
  for (char16_t unit : digits) {
    const int digit = RegText::HexDigit(unit);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<std::uint32_t>(digit);
  }
  *value = result;
  return true;
}

// A quoted text starting at text[*pos] (the opening quote), with the escapes
// the registry editors write: \\ \" \n \r \0.
std::u16string Unquote(const std::u16string& text, std::size_t* pos) {
  std::u16string out;
  for (std::size_t i = *pos + 1; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == u'"') {
      *pos = i + 1;
      return out;
    }
    if (unit != u'\\') {
      out.push_back(unit);
      continue;
    }
    if (++i >= text.size()) break;
    switch (text[i]) {
      case u'\\':
      case u'"':
        out.push_back(text[i]);
        break;
      case u'n':
        out.push_back(u'\n');
        break;
      case u'r':
        out.push_back(u'\r');
        break;
      case u'0':
        out.push_back(u'\0');
        break;
      default:
        throw RegTextError("unknown escape '\\" + Narrow(std::u16string(1, text[i])) + "'");
    }
  }
  throw RegTextError("a quoted text is not closed");
}

// Hex bytes "01,ab, ff" (a trailing comma allowed), read in one pass.
std::string HexBytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() / 3 + 1);
  std::size_t pos = SkipBlanks(text, 0);
  if (pos == text.size()) return bytes;
  while (true) {
    pos = SkipBlanks(text, pos);
    std::size_t end = pos;
    int byte = 0;
    while (end < text.size() && text[end] != u',' && !IsBlank(text[end])) {
      const int digit = RegText::HexDigit(text[end]);
      if (digit < 0 || end - pos == 2) byte = -1;
      if (byte >= 0) byte = byte * 16 + digit;
      ++end;
    }
    if (end == pos || byte < 0) {
      throw RegTextError("bad hex byte '" + Narrow(text.substr(pos, end - pos)) + "'");
    }
    bytes.push_back(static_cast<char>(byte));
    pos = SkipBlanks(text, end);
    if (pos == text.size()) return bytes;
    if (text[pos] != u',') throw RegTextError("hex bytes are separated by ','");
    ++pos;
    if (SkipBlanks(text, pos) == text.size()) return bytes;  // a trailing comma
  }
}

// The data part of a value line starts after NAME= ; npos when the line is
// not a value line.
std::size_t DataStart(const std::u16string& text) {
  std::size_t pos = 0;
  if (text.empty()) return std::u16string::npos;
  if (text[0] == u'@') {
    pos = 1;
  } else if (text[0] == u'"') {
    try {
      (void)Unquote(text, &pos);
    } catch (const RegTextError&) {
      return std::u16string::npos;
    }
  } else {
    return std::u16string::npos;
  }
  pos = SkipBlanks(text, pos);
  if (pos >= text.size() || text[pos] != u'=') return std::u16string::npos;
  return SkipBlanks(text, pos + 1);
}

// Whether a value line's data are hex (and so may continue on the next line).
bool IsHexValue(const std::u16string& text) {
  const std::size_t data = DataStart(text);
  return data != std::u16string::npos && text.compare(data, 3, u"hex") == 0;
}

// Data without a comment after them (";" and what follows) and without the
// blanks before it. Used where the data hold no quotes.
std::u16string WithoutComment(const std::u16string& data) {
  std::u16string text = data.substr(0, data.find(u';'));
  TrimEndInPlace(&text);
  return text;
}

// The name of a key line, "[NAME]" with perhaps a comment after it: the
// last "]" after which only blanks or a comment follow.
bool KeyLineName(const std::u16string& text, std::u16string* name) {
  for (std::size_t close = text.rfind(u']'); close != std::u16string::npos && close > 0;
       close = text.rfind(u']', close - 1)) {
    const std::size_t after = SkipBlanks(text, close + 1);
    if (after == text.size() || text[after] == u';') {
      *name = text.substr(1, close - 1);
      return true;
    }
  }
  return false;
}

}  // namespace

RegReader::RegReader(std::istream& in) : in_(in) {
  // The encoding from the first bytes, then the header line.
  const int first = in_.get();
  const int second = in_.peek();
  if (first == 0xFF && second == 0xFE) {
    in_.get();
    encoding_ = Encoding::kUtf16;
  } else if (first == 0xEF && second == 0xBB) {
    in_.get();
    if (in_.get() != 0xBF) throw RegTextError("not a .reg file (a broken UTF-8 mark)");
    encoding_ = Encoding::kUtf8;
  } else if (first != std::char_traits<char>::eof()) {
    in_.unget();
  }
  std::u16string header;
  if (!PhysicalLine(&header)) throw RegTextError("not a .reg file (it is empty)");
  // Blanks around the header are taken, as Windows' editors take them.
  header = TrimEnd(header);
  header.erase(0, header.find_first_not_of(u" \t"));
  if (header == kVersion5Header) {
    format_ = RegFormat::kVersion5;
    if (encoding_ == Encoding::kAnsi) encoding_ = Encoding::kUtf8;
  } else if (header == kRegedit4Header) {
    format_ = RegFormat::kRegedit4;
  } else {
    throw RegTextError("not a .reg file (the first line is neither \"REGEDIT4\" nor \"" +
                       Narrow(kVersion5Header) + "\")");
  }
}

int RegReader::NextUnit() {
  if (pending_unit_ != -2) {
    const int unit = pending_unit_;
    pending_unit_ = -2;
    return unit;
  }
  std::streambuf* buffer = in_.rdbuf();
  const int low = buffer->sbumpc();
  if (low == std::char_traits<char>::eof()) return -1;
  if (encoding_ != Encoding::kUtf16) return low;
  const int high = buffer->sbumpc();
  if (high == std::char_traits<char>::eof()) {
    throw RegTextError("line " + std::to_string(line_number_ + 1) +
                       ": the file ends inside a UTF-16 character");
  }
  return low | (high << 8);
}

// One line of the file without its end (CR LF, LF or CR alone), decoded;
// false at the end of the file.
bool RegReader::PhysicalLine(std::u16string* line) {
  line->clear();
  line_bytes_.clear();
  const bool wide = encoding_ == Encoding::kUtf16;
  bool any = false;
  for (int unit = NextUnit(); unit >= 0; unit = NextUnit()) {
    any = true;
    if (unit == '\n') break;
    if (unit == '\r') {
      const int after = NextUnit();
      if (after != '\n' && after >= 0) pending_unit_ = after;
      break;
    }
    if (wide) {
      line->push_back(static_cast<char16_t>(unit));
    } else {
      line_bytes_.push_back(static_cast<char>(unit));
    }
    if (line->size() > kMaxLineUnits || line_bytes_.size() > kMaxLineUnits) {
      throw RegTextError("line " + std::to_string(line_number_ + 1) + " is longer than " +
                         std::to_string(kMaxLineUnits) + " characters, the most a line may hold");
    }
  }
  if (!any) return false;
  ++line_number_;
  if (encoding_ == Encoding::kUtf8) {
    *line = UnicodeText::Utf16FromUtf8(line_bytes_);
    if (UnicodeText::Utf8FromUtf16(*line) != line_bytes_) {
      line->assign(u"\uFFFF");  // reported by Parse as an unreadable line
    }
  } else if (encoding_ == Encoding::kAnsi) {
    if (!DecodeAnsiExactly(line_bytes_, line)) line->assign(u"\uFFFF");
  }
  return true;
}

bool RegReader::Next(RegEntry* entry, std::string* error) {
  error->clear();
  while (PhysicalLine(&physical_)) {
    const std::size_t start = SkipBlanks(physical_, 0);
    if (start == physical_.size() || physical_[start] == u';' || physical_[start] == u'#') {
      continue;  // blank or comment
    }
    const int first_line = line_number_;
    logical_.assign(physical_, start, std::u16string::npos);
    TrimEndInPlace(&logical_);
    // Only hex data continue on the next line after a final "\"; each line is
    // looked at once, and blank and comment lines in between are skipped.
    if (!logical_.empty() && logical_.back() == u'\\' && IsHexValue(logical_)) {
      logical_.pop_back();
      bool more = true;
      while (more) {
        if (!PhysicalLine(&physical_)) {
          *error = "line " + std::to_string(first_line) + ": the file ends inside a continued line";
          return true;
        }
        const std::size_t begin = SkipBlanks(physical_, 0);
        if (begin == physical_.size() || physical_[begin] == u';') continue;
        std::size_t stop = physical_.size();
        while (stop > begin && IsBlank(physical_[stop - 1])) --stop;
        more = physical_[stop - 1] == u'\\';
        logical_.append(physical_, begin, (more ? stop - 1 : stop) - begin);
        if (logical_.size() > kMaxLineUnits) {
          throw RegTextError("line " + std::to_string(first_line) + " is longer than " +
                             std::to_string(kMaxLineUnits) +
                             " characters, the most a line may hold");
        }
      }
    }
    entry->line = first_line;
    try {
      Parse(logical_, entry);
    } catch (const RegTextError& failure) {
      *error = "line " + std::to_string(first_line) + ": " + failure.what();
    } catch (const UsageError& failure) {
      *error = "line " + std::to_string(first_line) + ": " + failure.hint;
    }
    return true;
  }
  return false;
}

// Hex data of a string type: UTF-16LE in a version-5 file, as the registry
// keeps them; ANSI in REGEDIT4, which the registry keeps in UTF-16. Like
// Windows' registry editors, the import ends a string with its zero.
std::string RegReader::TypedHex(std::uint32_t type, const std::string& bytes) const {
  // No data stay no data, as regedit keeps them.
  if (!IsStringType(type) || bytes.empty()) return bytes;
  std::string utf16 = bytes;
  if (format_ == RegFormat::kRegedit4) {
    std::u16string text;
    if (!DecodeAnsiExactly(bytes, &text)) {
      throw RegTextError("bytes that are not text in the ANSI code page");
    }
    utf16 = UnicodeText::Utf16Le(text);
  }
  return RegText::Terminated(utf16);
}

void RegReader::Parse(const std::u16string& text, RegEntry* entry) {
  if (text.find(u'\uFFFF') != std::u16string::npos) {
    throw RegTextError("bytes that are not text in the file's encoding");
  }
  if (text[0] == u'[') {
    std::u16string bracketed;
    if (!KeyLineName(text, &bracketed)) throw RegTextError("a key line ends in ']'");
    const bool remove = !bracketed.empty() && bracketed[0] == u'-';
    const std::u16string name = remove ? bracketed.substr(1) : bracketed;
    if (name.rfind(u"\\\\", 0) == 0) {
      throw RegTextError("a key on another machine; import names the machine with /m instead");
    }
    if (name.empty()) throw RegTextError("a key line names no key");
    key_ = RegistryPath::Parse(name);
    if (remove && key_.branch.empty()) throw RegTextError("a root key cannot be deleted");
    have_key_ = !remove;
    key_deleted_ = remove;
    entry->kind = remove ? RegEntry::Kind::kDeleteKey : RegEntry::Kind::kKey;
    entry->key = key_;
    return;
  }
  const std::size_t data = DataStart(text);
  if (data == std::u16string::npos) {
    if (text[0] == u'"') {
      std::size_t pos = 0;
      (void)Unquote(text, &pos);  // raises what is wrong with the name
    }
    throw RegTextError("expected a key, a value or a comment");
  }
  if (!have_key_) {
    throw RegTextError(key_deleted_ ? "a value below a key that is being deleted"
                                    : "a value before any key");
  }
  entry->key = key_;
  entry->value = RegValue{};
  if (text[0] == u'"') {
    std::size_t pos = 0;
    entry->value.name = Unquote(text, &pos);
    if (entry->value.name.find(u'\0') != std::u16string::npos) {
      throw RegTextError("a value name with a zero in it");
    }
  }
  const std::u16string rest = text.substr(data);
  if (rest == u"-") {
    entry->kind = RegEntry::Kind::kDeleteValue;
    return;
  }
  entry->kind = RegEntry::Kind::kValue;
  RegValue& value = entry->value;
  if (!rest.empty() && rest[0] == u'"') {
    std::size_t end = 0;
    const std::u16string string = Unquote(rest, &end);
    end = SkipBlanks(rest, end);
    if (end != rest.size() && rest[end] != u';') throw RegTextError("text after the closing quote");
    value.type = kRegSzType;
    value.data = UnicodeText::Utf16Le(string + std::u16string(1, u'\0'));
  } else if (rest.rfind(u"dword:", 0) == 0) {
    std::uint32_t number = 0;
    const std::u16string digits = WithoutComment(rest.substr(SkipBlanks(rest, 6)));
    if (!ParseHexNumber(digits, 8, &number)) {
      throw RegTextError("dword: takes 1 to 8 hex digits");
    }
    value.type = kRegDwordType;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
  } else if (rest.rfind(u"hex:", 0) == 0) {
    value.type = kRegBinaryType;
    value.data = HexBytes(WithoutComment(rest.substr(4)));
  } else if (rest.rfind(u"hex(", 0) == 0 && rest.find(u"):") != std::u16string::npos) {
    const std::size_t close = rest.find(u"):");
    if (!ParseHexNumber(rest.substr(4, close - 4), 8, &value.type)) {
      throw RegTextError("hex(N): takes a type of 1 to 8 hex digits");
    }
    value.data = TypedHex(value.type, HexBytes(WithoutComment(rest.substr(close + 2))));
  } else {
    throw RegTextError("unknown value data");
  }
}

}  // namespace quorvane::qv
