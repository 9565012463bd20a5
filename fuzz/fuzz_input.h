// Turns a fuzzer's bytes into the library's inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <quorvane/core/error_object.h>

namespace quorvane::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // A small number from one byte (0 when the input is used up).
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // Text of up to `max_units` code units, two bytes each.
  std::u16string Text(std::size_t max_units) {
    std::u16string text;
    while (text.size() < max_units && pos_ + 1 < size_) {
      text.push_back(static_cast<char16_t>(data_[pos_] | (data_[pos_ + 1] << 8)));
      pos_ += 2;
    }
    return text;
  }

  // Text whose units are drawn from a small alphabet that exercises the
  // path rules (separators, colons, dots, blanks, wildcards, surrogates).
  std::u16string PathText(std::size_t max_units) {
    static const char16_t kAlphabet[] = {u'\\', u'\\', u'/', u':', u'.', u' ', u'*',   u'?',   u'[',
                                         u'a',  u'B',  u'1', u'-', u'+', u',', 0xD800, 0xDC00, 0};
    std::u16string text;
    const std::size_t length = Byte() % (max_units + 1);
    for (std::size_t i = 0; i < length && pos_ < size_; ++i) {
      text.push_back(kAlphabet[Byte() % (sizeof kAlphabet / sizeof kAlphabet[0])]);
    }
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Stops the run when a property does not hold, saying which line found it.
inline void Require(bool holds, int line = __builtin_LINE(), const char* file = __builtin_FILE()) {
  if (holds) return;
  std::fprintf(stderr, "property failed at %s:%d\n", file, line);
  std::abort();
}

// Only the documented error numbers may come out.
inline void RequireNumber(const ErrorObject& error, std::initializer_list<std::int32_t> allowed) {
  for (std::int32_t number : allowed) {
    if (error.Number() == number) return;
  }
  std::abort();
}

}  // namespace quorvane::fuzz
