// Variant: the tagged value that crosses the library's interfaces.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

class Variant {
 public:
  enum class Kind { kEmpty, kNull, kMissing, kText, kInt16, kInt32, kDouble, kBoolean };

  Variant() = default;                                                          // empty
  Variant(std::u16string text) : kind_(Kind::kText), text_(std::move(text)) {}  // NOLINT
  Variant(const char16_t* text) : kind_(Kind::kText), text_(text) {}            // NOLINT
  Variant(std::int16_t value) : kind_(Kind::kInt16), integer_(value) {}         // NOLINT
  Variant(std::int32_t value) : kind_(Kind::kInt32), integer_(value) {}         // NOLINT
  Variant(double value) : kind_(Kind::kDouble), double_(value) {}               // NOLINT
  Variant(bool value) : kind_(Kind::kBoolean), integer_(value ? -1 : 0) {}      // NOLINT
  // Narrow text would silently become a boolean; say u"..." instead.
  Variant(const char*) = delete;

  [[nodiscard]] static Variant Null();
  // What an optional argument holds when the caller leaves it out.
  [[nodiscard]] static Variant Missing();

  [[nodiscard]] Kind GetKind() const { return kind_; }
  [[nodiscard]] bool IsEmpty() const { return kind_ == Kind::kEmpty; }
  [[nodiscard]] bool IsNull() const { return kind_ == Kind::kNull; }
  [[nodiscard]] bool IsMissing() const { return kind_ == Kind::kMissing; }
  [[nodiscard]] bool IsText() const { return kind_ == Kind::kText; }
  // Whether the text form is "" (empty, or empty text), without making it.
  [[nodiscard]] bool HasEmptyText() const {
    return kind_ == Kind::kEmpty || (kind_ == Kind::kText && text_.empty());
  }

  // The text form: the text itself, a number's usual form ("12", "0.5",
  // "1E+20"), "True"/"False", "" for empty. Null raises 94, the missing
  // marker 13.
  [[nodiscard]] std::u16string ToText() const;

  // Whole-number conversions: numbers round half to even, text is read in the
  // user's locale; 13 for text that is no number, 6 outside the range, 94 for
  // null.
  [[nodiscard]] std::int16_t ToInt16() const;
  [[nodiscard]] std::int32_t ToInt32() const;

  friend bool operator==(const Variant& a, const Variant& b);
  friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

 private:
  // Rounds a number or reads text to a whole number within [minimum, maximum].
  [[nodiscard]] double ToWhole(double minimum, double maximum, bool as_int16) const;

  Kind kind_ = Kind::kEmpty;
  std::u16string text_;
  std::int32_t integer_ = 0;
  double double_ = 0;
};

}  // namespace quorvane
