// Makes what a process wrote durable within a set time without making the
// writer wait, as Windows writes its hives lazily: a thread, started on the
// first write (a process that only reads never has one), runs `flush` at most
// one interval after a write returned; stopping it (at exit) runs what is
// still due. A process made by fork starts a thread of its own when it writes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvane::platform::portable {

class LazyFlusher {
 public:
  LazyFlusher(std::function<void()> flush, std::chrono::milliseconds interval);
  ~LazyFlusher();
  LazyFlusher(const LazyFlusher&) = delete;
  LazyFlusher& operator=(const LazyFlusher&) = delete;

  // A write returned just now: a flush is due within the interval.
  void Written();
  // What was written needs no flush from here (it has been made durable
  // another way).
  void Cancel();
  // Runs a flush that is due and ends the thread.
  void Stop();

  // Around a fork: the lock is held by the forking thread, so that no state
  // is half-changed; the new process, which has none of the other threads,
  // starts over with a lock and a condition of its own and no thread.
  void LockForFork() { mutex_.lock(); }
  void UnlockInParent() { mutex_.unlock(); }
  void RestartInChild();

  // Test controls: the flusher's clock moves only when advanced, and
  // AdvanceClock returns once the flushes then due have run.
  void UseManualClock();
  void AdvanceClock(std::chrono::milliseconds by);

 private:
  using Clock = std::chrono::steady_clock;
  [[nodiscard]] Clock::time_point Now() const;  // under mutex_
  void Loop();

  std::function<void()> flush_;
  std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<std::thread> thread_;
  long owner_ = 0;  // the process that started thread_
  bool pending_ = false;
  bool flushing_ = false;
  bool stopping_ = false;
  Clock::time_point due_;
  bool manual_clock_ = false;
  Clock::time_point manual_now_;
};

}  // namespace quorvane::platform::portable
