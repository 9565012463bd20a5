#include <quorvane/platform/portable/store/lazy_flusher.h>

#include <unistd.h>

#include <new>
#include <utility>

namespace quorvane::platform::portable {

LazyFlusher::LazyFlusher(std::function<void()> flush, std::chrono::milliseconds interval)
    : flush_(std::move(flush)), interval_(interval) {}

LazyFlusher::~LazyFlusher() { Stop(); }

LazyFlusher::Clock::time_point LazyFlusher::Now() const {
  return manual_clock_ ? manual_now_ : Clock::now();
}

void LazyFlusher::Written() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_ != nullptr && owner_ != ::getpid()) {
    // Made by fork: the thread is the parent's and does not run here.
    (void)thread_.release();
  }
  if (thread_ == nullptr && !stopping_) {
    owner_ = ::getpid();
    thread_ = std::make_unique<std::thread>([this] { Loop(); });
  }
  // Only the first write after a flush sets the time and wakes the thread:
  // the writes after it cost a lock and nothing more.
  if (!pending_) {
    pending_ = true;
    due_ = Now() + interval_;
    changed_.notify_all();
  }
}

void LazyFlusher::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ = false;
  changed_.notify_all();
}

void LazyFlusher::Stop() {
  std::unique_ptr<std::thread> thread;
  bool due = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
    if (thread_ != nullptr && owner_ != ::getpid()) (void)thread_.release();
    thread = std::move(thread_);
  }
  if (thread != nullptr) thread->join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    due = pending_;
    pending_ = false;
    stopping_ = false;  // a later write starts a thread again
  }
  if (due) flush_();
}

void LazyFlusher::RestartInChild() {
  // NOTE: the parent's thread, lock and condition are not this process's:
  // the thread is forgotten, the lock and condition are made anew over the
  // old ones, which are not destroyed (that would wait for the parent's
  // thread, which is not here).
  (void)thread_.release();
  new (&mutex_) std::mutex();
  new (&changed_) std::condition_variable();
  flushing_ = false;
  stopping_ = false;
}

void LazyFlusher::UseManualClock() {
  std::lock_guard<std::mutex> lock(mutex_);
  manual_now_ = Now();
  manual_clock_ = true;
  changed_.notify_all();
}

void LazyFlusher::AdvanceClock(std::chrono::milliseconds by) {
  std::unique_lock<std::mutex> lock(mutex_);
  manual_now_ += by;
  changed_.notify_all();
  changed_.wait(
      lock, [this] { return thread_ == nullptr || (!flushing_ && !(pending_ && Now() >= due_)); });
}

void LazyFlusher::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (pending_ && Now() >= due_) {
      pending_ = false;
      flushing_ = true;
      lock.unlock();
      flush_();
      lock.lock();
      flushing_ = false;
      changed_.notify_all();
      continue;
    }
    if (pending_ && !manual_clock_) {
      changed_.wait_until(lock, due_);
    } else {
      changed_.wait(lock);
    }
  }
}

}  // namespace quorvane::platform::portable
