// A line on the terminal for work that takes longer than a second (imports,
// their check pass included, and exports of large trees): what has been done and, when it is known, how
// much there is in all. Only where standard error is a terminal; redrawn at
// most ten times a second, and erased when the work ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quorvane::qv {

class Progress {
 public:
  // "12,000 keys exported", or with a total "3 of 8 MB imported (37%)".
  Progress(std::string done_word, std::string unit, std::uint64_t total = 0);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(std::uint64_t done);
  // The same work's next pass, counted again from 0 with another word
  // ("checked", then "imported"); shown at once where the line already is.
  void NextPhase(std::string done_word);
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::string done_word_;
  std::string unit_;
  std::uint64_t total_;
  bool terminal_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point last_;
};

}  // namespace quorvane::qv
