#include <quorvane/core/error_object.h>

#include <utility>

#include <quorvane/platform/unicode_text.h>

namespace quorvane {
namespace {

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
      what_(UnicodeText::Utf8FromUtf16(description_)) {}

ErrorObject StandardErrors::Make(std::int32_t number) {
  return ErrorObject(number, u"qvSupport", DescriptionOf(number));
}

void StandardErrors::Raise(std::int32_t number) { throw Make(number); }

}  // namespace quorvane
