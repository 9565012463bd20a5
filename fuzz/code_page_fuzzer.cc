// The ANSI code page conversion: every byte string survives a round trip, and
// text that encodes exactly decodes back to itself.
#include <quorvane/core/ansi_text.h>
#include "fuzz/fuzz_input.h"

using quorvane::AnsiText;
using quorvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // Windows-1252 gives every byte a character.
  const std::u16string decoded = AnsiText::Decode(bytes.data(), bytes.size());
  Require(decoded.size() == bytes.size());
  Require(AnsiText::Encode(decoded) == bytes);

  quorvane::fuzz::FuzzInput input(data, size);
  const std::u16string text = input.Text(256);
  std::string encoded;
  if (AnsiText::EncodeExactly(text, &encoded)) {
    Require(AnsiText::Decode(encoded.data(), encoded.size()) == text);
  } else {
    Require(!text.empty());
  }
  return 0;
}
