// What is wrong with a file that should be a hive, in the regf format's own
// terms: the header's signature, version, checksum and sizes, each block
// ("hbin") of cells, and each cell's size, with the offset where it goes
// wrong. Used to tell the user why a hive was refused where the reader can
// only say that it failed.
#pragma once

#include <string>

namespace quorvane::qv {

class HiveDiagnosis {
 public:
  // "" when the structure is sound as far as this looks; else one sentence,
  // for example "block 3 at offset 0x3000: no 'hbin' signature".
  [[nodiscard]] static std::string Of(const std::string& bytes);
  [[nodiscard]] static std::string OfFile(const std::string& file_name);
};

}  // namespace quorvane::qv
