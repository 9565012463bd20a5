#include "tools/qv/cli/progress.h"

#include <cstdio>
#include <utility>

#include "tools/qv/cli/cli.h"

namespace quorvane::qv {

Progress::Progress(std::string done_word, std::string unit, std::uint64_t total)
    : done_word_(std::move(done_word)),
      unit_(std::move(unit)),
      total_(total),
      terminal_(StandardErrorIsTerminal()),
      start_(Clock::now()),
      last_(start_) {}

Progress::~Progress() { Finish(); }

void Progress::Update(std::uint64_t done) {
  if (!terminal_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) {
    return;
  }
  last_ = now;
  shown_ = true;
  if (total_ > 0) {
    std::fprintf(stderr, "\rqv: %llu of %llu %s %s (%llu%%)   ",
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                 unit_.c_str(), done_word_.c_str(),
                 static_cast<unsigned long long>(done * 100 / total_));
  } else {
    std::fprintf(stderr, "\rqv: %llu %s %s so far   ", static_cast<unsigned long long>(done),
                 unit_.c_str(), done_word_.c_str());
  }
  std::fflush(stderr);
}

void Progress::NextPhase(std::string done_word) {
  done_word_ = std::move(done_word);
  last_ = Clock::time_point{};
}

void Progress::Finish() {
  if (!shown_) return;
  shown_ = false;
  std::fprintf(stderr, "\r%60s\r", "");
  std::fflush(stderr);
}

}  // namespace quorvane::qv
