#include <quorvane/core/variant.h>

#include <cmath>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>

namespace quorvane {
namespace {

void RaiseConversionFailure(platform::HRESULT result) {
  StandardErrors::Raise(result == platform::kDispEOverflow ? StandardErrors::kOverflow
                                                           : StandardErrors::kTypeMismatch);
}

std::u16string DecimalText(std::int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

Variant Variant::Null() {
  Variant value;
  value.kind_ = Kind::kNull;
  return value;
}

Variant Variant::Missing() {
  Variant value;
  value.kind_ = Kind::kMissing;
  return value;
}

std::u16string Variant::ToText() const {
  switch (kind_) {
    case Kind::kEmpty:
      return u"";
    case Kind::kText:
      return text_;
    case Kind::kInt16:
    case Kind::kInt32:
      return DecimalText(integer_);
    case Kind::kBoolean:
      return integer_ != 0 ? u"True" : u"False";
    case Kind::kDouble: {
      std::u16string text;
      const platform::HRESULT result =
          platform::VarBstrFromR8(double_, platform::kLocaleUserDefault, 0, &text);
      if (result != platform::kSOk) RaiseConversionFailure(result);
      return text;
    }
    case Kind::kNull:
      StandardErrors::Raise(StandardErrors::kInvalidUseOfNull);
    case Kind::kMissing:
      break;
  }
  StandardErrors::Raise(StandardErrors::kTypeMismatch);
}

double Variant::ToWhole(double minimum, double maximum, bool as_int16) const {
  double value = 0;
  switch (kind_) {
    case Kind::kEmpty:
      return 0;
    case Kind::kNull:
      StandardErrors::Raise(StandardErrors::kInvalidUseOfNull);
    case Kind::kMissing:
      StandardErrors::Raise(StandardErrors::kTypeMismatch);
    case Kind::kInt16:
    case Kind::kInt32:
    case Kind::kBoolean:
      value = integer_;
      break;
    case Kind::kDouble:
      value = std::nearbyint(double_);  // the default rounding: half to even
      break;
    case Kind::kText: {
      platform::HRESULT result = platform::kSOk;
      if (as_int16) {
        std::int16_t parsed = 0;
        result = platform::VarI2FromStr(text_.c_str(), platform::kLocaleUserDefault, 0, &parsed);
        value = parsed;
      } else {
        std::int32_t parsed = 0;
        result = platform::VarI4FromStr(text_.c_str(), platform::kLocaleUserDefault, 0, &parsed);
        value = parsed;
      }
      if (result != platform::kSOk) RaiseConversionFailure(result);
      break;
    }
  }
  if (!(value >= minimum && value <= maximum)) StandardErrors::Raise(StandardErrors::kOverflow);
  return value;
}

std::int16_t Variant::ToInt16() const {
  return static_cast<std::int16_t>(ToWhole(-32768.0, 32767.0, true));
}

std::int32_t Variant::ToInt32() const {
  return static_cast<std::int32_t>(ToWhole(-2147483648.0, 2147483647.0, false));
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Variant::Kind::kText:
      return a.text_ == b.text_;
    case Variant::Kind::kDouble:
      return a.double_ == b.double_;
    default:
      return a.integer_ == b.integer_;
  }
}

}  // namespace quorvane
