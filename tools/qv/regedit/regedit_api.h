// What the regedit page asks of the registry, as JSON: a key's subkeys and
// values (a page at a time, so that a key of any size opens at once), and
// the edits (new key, value written, renamed, deleted), each one
// transaction. A failure answers with the registry's own words.
#pragma once

#include <string>

namespace quorvane::qv {

class RegeditApi {
 public:
  // `request` is the JSON the page sent (for a read, its query as an
  // object); returns the JSON answer, and sets `failed` for an error answer.
  [[nodiscard]] static std::string Answer(const std::string& action, const std::string& request,
                                          bool* failed);
  // Bytes as the API carries them: two lower-case hex digits each.
  [[nodiscard]] static std::string Hex(const std::string& bytes);
  // Whether `action` changes the registry (only a POST may ask for it).
  [[nodiscard]] static bool Changes(const std::string& action);
};

}  // namespace quorvane::qv
