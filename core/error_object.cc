#include "core/error_object.h"

#include <utility>

namespace quorvane {
namespace {

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

const char16_t* DescriptionOf(std::int32_t number) {
  switch (number) {
    case StandardErrors::kInvalidArgument:
      return u"Invalid procedure call or argument";
    case StandardErrors::kOverflow:
      return u"Overflow";
    case StandardErrors::kTypeMismatch:
      return u"Type mismatch";
    case StandardErrors::kBadFileName:
      return u"Bad file name or number";
    case StandardErrors::kDeviceUnavailable:
      return u"Device unavailable";
    case StandardErrors::kPathFileAccess:
      return u"Path/File access error";
    case StandardErrors::kInvalidUseOfNull:
      return u"Invalid use of Null";
    default:
      return u"Application-defined or object-defined error";
  }
}

}  // namespace

ErrorObject::ErrorObject(std::int32_t number, std::u16string source, std::u16string description)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      what_(Utf8(description_)) {}

ErrorObject StandardErrors::Make(std::int32_t number) {
  return ErrorObject(number, u"qvSupport", DescriptionOf(number));
}

void StandardErrors::Raise(std::int32_t number) { throw Make(number); }

}  // namespace quorvane
