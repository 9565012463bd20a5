// The error object: what every failure of the library is raised as.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace quorvane {

class ErrorObject : public std::exception {
 public:
  ErrorObject(std::int32_t number, std::u16string source, std::u16string description);

  [[nodiscard]] std::int32_t Number() const noexcept { return number_; }
  [[nodiscard]] const std::u16string& Source() const noexcept { return source_; }
  [[nodiscard]] const std::u16string& Description() const noexcept { return description_; }

  // The description in UTF-8.
  [[nodiscard]] const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  std::u16string source_;
  std::u16string description_;
  std::string what_;
};

// The run-time errors with standard numbers that the library raises besides the
// registry's own; all carry the source "qvSupport".
class StandardErrors {
 public:
  static constexpr std::int32_t kInvalidArgument = 5;
  static constexpr std::int32_t kOverflow = 6;
  static constexpr std::int32_t kTypeMismatch = 13;
  static constexpr std::int32_t kBadFileName = 52;
  static constexpr std::int32_t kDeviceUnavailable = 68;
  static constexpr std::int32_t kPathFileAccess = 75;
  static constexpr std::int32_t kInvalidUseOfNull = 94;

  [[nodiscard]] static ErrorObject Make(std::int32_t number);
  [[noreturn]] static void Raise(std::int32_t number);
};

}  // namespace quorvane
