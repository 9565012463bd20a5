#include "tools/qv/hive/hive_diagnosis.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace quorvane::qv {
namespace {

constexpr std::size_t kHeaderSize = 4096;   // the base block
constexpr std::size_t kChecksumAt = 0x1FC;  // the XOR of the 127 words before it
constexpr std::size_t kBlockHeaderSize = 32;

std::uint32_t Word(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

std::string Hex(std::size_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%zX", value);
  return text;
}

std::string BaseBlock(const std::string& bytes) {
  if (bytes.size() < kHeaderSize) {
    return "the file is " + std::to_string(bytes.size()) +
           " bytes, shorter than a hive's 4096-byte header";
  }
  if (bytes.compare(0, 4, "regf") != 0) return "no 'regf' signature at offset 0x0: not a hive file";
  std::uint32_t checksum = 0;
  for (std::size_t at = 0; at < kChecksumAt; at += 4) checksum ^= Word(bytes, at);
  if (checksum != Word(bytes, kChecksumAt)) {
    return "the header's checksum at offset 0x1FC is " + Hex(Word(bytes, kChecksumAt)) +
           ", but its first 508 bytes give " + Hex(checksum);
  }
  if (Word(bytes, 20) != 1) {
    return "the header gives format version " + std::to_string(Word(bytes, 20)) + " (a hive is 1)";
  }
  const std::size_t data_size = Word(bytes, 40);
  if (data_size % 4096 != 0 || kHeaderSize + data_size > bytes.size()) {
    return "the header at offset 0x28 gives " + std::to_string(data_size) +
           " bytes of blocks, but the file holds " + std::to_string(bytes.size() - kHeaderSize);
  }
  if (Word(bytes, 36) + 4 > data_size) {
    return "the root key's cell at " + Hex(Word(bytes, 36)) +
           " (header offset 0x24) lies outside the blocks";
  }
  return "";
}

// The cells of one block: each a signed size (negative while in use), a
// multiple of 8, that ends inside the block.
std::string Cells(const std::string& bytes, std::size_t block_at, std::size_t block_size,
                  int number) {
  for (std::size_t at = block_at + kBlockHeaderSize; at < block_at + block_size;) {
    const auto size = static_cast<std::int32_t>(Word(bytes, at));
    const std::size_t length = size < 0 ? static_cast<std::size_t>(-static_cast<std::int64_t>(size))
                                        : static_cast<std::size_t>(size);
    if (length < 8 || length % 8 != 0 || at + length > block_at + block_size) {
      return "block " + std::to_string(number) + " at offset " + Hex(block_at) +
             ": the cell at offset " + Hex(at) + " gives a size of " + std::to_string(size) +
             (length % 8 != 0 || length < 8 ? " (not a multiple of 8)" : " (past the block's end)");
    }
    at += length;
  }
  return "";
}

}  // namespace

std::string HiveDiagnosis::Of(const std::string& bytes) {
  if (std::string problem = BaseBlock(bytes); !problem.empty()) return problem;
  const std::size_t end = kHeaderSize + Word(bytes, 40);
  int number = 1;
  for (std::size_t at = kHeaderSize; at < end; ++number) {
    const std::string where = "block " + std::to_string(number) + " at offset " + Hex(at);
    if (bytes.compare(at, 4, "hbin") != 0) return where + ": no 'hbin' signature";
    if (Word(bytes, at + 4) != at - kHeaderSize) {
      return where + ": it says it lies at " + Hex(Word(bytes, at + 4)) + " of the blocks, not " +
             Hex(at - kHeaderSize);
    }
    const std::size_t size = Word(bytes, at + 8);
    if (size < 4096 || size % 4096 != 0 || at + size > end) {
      return where + ": its size " + std::to_string(size) +
             " is no multiple of 4096 within the blocks";
    }
    if (std::string problem = Cells(bytes, at, size, number); !problem.empty()) return problem;
    at += size;
  }
  return "";
}

std::string HiveDiagnosis::OfFile(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return "the file cannot be opened";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Of(bytes.str());
}

}  // namespace quorvane::qv
