// ANSI text on its way to a platform call. Names and paths are short, so the
// text is kept inline and a call needs no heap allocation for it; longer text
// goes to the heap.
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace quorvane {

class PlatformText {
 public:
  PlatformText() { inline_[0] = '\0'; }

  // Narrows `text` when it is ASCII (the same in every ANSI code page) and
  // says whether it was; `has_nul` tells whether it holds U+0000. Reading and
  // narrowing are separate loops, each of which the compiler turns into vector
  // code (a store through `char*` in the reading loop would keep it scalar).
  bool AssignIfAscii(std::u16string_view text, bool* has_nul) {
    const char16_t* units = text.data();
    const std::size_t size = text.size();
    char16_t all_bits = 0;
    char16_t lowest = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
      all_bits |= units[i];
      lowest = units[i] < lowest ? units[i] : lowest;
    }
    char* out = Reserve(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(units[i]);
    *has_nul = size != 0 && lowest == 0;
    return all_bits < 0x80;
  }
  void Assign(const std::string& bytes) {
    std::memcpy(Reserve(bytes.size()), bytes.data(), bytes.size());
  }

  // The bytes, followed by one zero that `size` does not count.
  [[nodiscard]] const char* c_str() const { return data(); }
  [[nodiscard]] const char* data() const { return size_ < kInline ? inline_.data() : heap_.data(); }
  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kInline = 264;  // a path of 260 characters and more

  char* Reserve(std::size_t size) {
    size_ = size;
    char* out = inline_.data();
    if (size >= kInline) {
      heap_.assign(size, '\0');  // its own zero follows
      out = heap_.data();
    }
    out[size] = '\0';
    return out;
  }

  std::array<char, kInline> inline_;
  std::string heap_;
  std::size_t size_ = 0;
};

}  // namespace quorvane
