// What the regedit page does with whole trees and files: find (key names,
// value names, data, as `qv reg query /f` matches them), export of a key as a
// .reg or hive file for the browser to save, import of a file the page
// uploaded, and compare of two keys or of a key and an uploaded file. The
// file work runs the qv beside this program (its export, import, save,
// restore and compare, with their checks and transactions) on files in a
// folder of this process's own, which only this user can read.
#pragma once

#include <string>
#include <vector>

namespace quorvane::qv {

class RegeditFiles {
 public:
  RegeditFiles();
  ~RegeditFiles();
  RegeditFiles(const RegeditFiles&) = delete;
  RegeditFiles& operator=(const RegeditFiles&) = delete;

  // JSON answers, as RegeditApi's; `failed` set for an error answer.
  [[nodiscard]] std::string Find(const std::string& request, bool* failed);
  // The file's bytes, or the error's JSON with `failed` set.
  [[nodiscard]] std::string Export(const std::string& path, const std::string& view,
                                   const std::string& format, bool* failed);
  // `kind` is "reg" or "hive" (restored into `path`).
  [[nodiscard]] std::string Import(const std::string& kind, const std::string& path,
                                   const std::string& view, const std::string& bytes, bool* failed);
  // Two keys (`other` a key), or a key and the uploaded file (`bytes`).
  [[nodiscard]] std::string Compare(const std::string& path, const std::string& other,
                                    const std::string& view, const std::string& bytes,
                                    bool* failed);

 private:
  // Runs qv with `words`; its standard output and error joined, and its exit
  // status.
  int RunQv(const std::vector<std::string>& words, std::string* said) const;
  std::string WriteScratch(const std::string& name, const std::string& bytes) const;

  std::string folder_;  // our scratch folder, removed at the end
  std::string qv_;      // the qv program beside this one
};

}  // namespace quorvane::qv
