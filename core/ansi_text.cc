#include <quorvane/core/ansi_text.h>

#include <climits>

#include <quorvane/platform/platform.h>

namespace quorvane {
namespace {

// Narrows ASCII text into `bytes`; false (and `bytes` unspecified) when some
// unit is not ASCII. Two plain loops rather than one with an early exit: the
// compiler turns both into vector code.
bool EncodeAscii(const std::u16string& text, std::string* bytes) {
  const std::size_t size = text.size();
  const char16_t* units = text.data();
  char16_t all_bits = 0;
  for (std::size_t i = 0; i < size; ++i) all_bits |= units[i];
  if (all_bits >= 0x80) return false;
  bytes->resize(size);
  char* out = bytes->data();
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(units[i]);
  return true;
}

// No look-alikes ("A" for U+0100): what the code page cannot hold becomes
// "?", so that a conversion is exact or visibly not. UTF-8 takes no such flag.
std::string EncodeWithPlatform(const std::u16string& text) {
  if (text.size() > INT_MAX / 4) return std::string();
  const int units = static_cast<int>(text.size());
  const platform::DWORD flags =
      platform::GetACP() == platform::kCpUtf8 ? 0 : platform::kWcNoBestFitChars;
  const int size = platform::WideCharToMultiByte(platform::kCpAcp, flags, text.data(), units,
                                                 nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size > 0) {
    const int written = platform::WideCharToMultiByte(platform::kCpAcp, flags, text.data(), units,
                                                      bytes.data(), size, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  }
  return bytes;
}

}  // namespace

std::string AnsiText::Encode(const std::u16string& text) {
  std::string ascii;
  return EncodeAscii(text, &ascii) ? ascii : EncodeWithPlatform(text);
}

bool AnsiText::IsAscii(const char* bytes, std::size_t size) {
  unsigned char all_bits = 0;
  for (std::size_t i = 0; i < size; ++i) all_bits |= static_cast<unsigned char>(bytes[i]);
  return all_bits < 0x80;
}

std::u16string AnsiText::Decode(const char* bytes, std::size_t size) {
  if (IsAscii(bytes, size)) {
    const auto* units = reinterpret_cast<const unsigned char*>(bytes);
    return std::u16string(units, units + size);
  }
  if (size > INT_MAX / 2) return std::u16string();
  const int length = static_cast<int>(size);
  const int units = platform::MultiByteToWideChar(platform::kCpAcp, 0, bytes, length, nullptr, 0);
  std::u16string text(static_cast<std::size_t>(units), u'\0');
  if (units > 0) {
    const int written =
        platform::MultiByteToWideChar(platform::kCpAcp, 0, bytes, length, text.data(), units);
    text.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  }
  return text;
}

bool AnsiText::EncodeExactly(const std::u16string& text, std::string* bytes) {
  if (EncodeAscii(text, bytes)) return true;
  *bytes = EncodeWithPlatform(text);
  return Decode(bytes->data(), bytes->size()) == text;
}

}  // namespace quorvane
