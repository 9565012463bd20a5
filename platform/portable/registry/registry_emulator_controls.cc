// The test controls behind test_controls.h: the call log, injected failures,
// the machine's name and bitness, remote machines and restricted rights.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <new>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {

void RegistryEmulator::Log(const CallRecord& record) {
  // Bounded, so that a long-running host does not grow it without end.
  constexpr std::size_t kCallLogLimit = 4096;
  if (call_log_.size() >= kCallLogLimit) {
    call_log_.erase(call_log_.begin(), call_log_.begin() + kCallLogLimit / 2);
  }
  call_log_.push_back(record);
}

bool RegistryEmulator::TakeInjectedFailure(RegCall call, LONG* code) {
  for (auto failure = failures_.begin(); failure != failures_.end(); ++failure) {
    const bool counts =
        failure->call == call || (failure->call == RegCall::kAny && call != RegCall::kCloseKey);
    if (counts && --failure->remaining == 0) {
      *code = failure->code;
      failures_.erase(failure);
      return true;
    }
  }
  return false;
}

void RegistryEmulator::SetComputerName(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  computer_name_ = name;
}

void RegistryEmulator::SetProcessIs32Bit(bool is_32_bit) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  process_is_32_bit_ = is_32_bit;
}

bool RegistryEmulator::ProcessIs32Bit() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return process_is_32_bit_;
}

void RegistryEmulator::DeclareRemoteMachine(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  remote_machines_.push_back(NameFolding::Fold(name));
}

void RegistryEmulator::RestrictRights(const std::u16string& machine, HKEY root,
                                      const std::u16string& path, REGSAM granted) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  try {
    store_->Begin(true);
    KeyId target = 0;
    LONG status = kErrorFileNotFound;
    if (machine.empty() && IsPredefined(root)) {
      Resolved from;
      std::u16string classes_path;
      status = Resolve(root, 0, &from);
      if (status == kErrorSuccess) status = Locate(root, from, path, false, &target, &classes_path);
    } else {
      status = Walk(store_->Root(NameFolding::Fold(machine), root), path, false, &target);
    }
    if (status == kErrorSuccess) store_->SetGrantedRights(target, granted);
    store_->Commit();
  } catch (const StoreFailure&) {
    store_->Rollback();
  }
}

void RegistryEmulator::FailCall(RegCall call, int nth, LONG code) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  failures_.push_back({call, nth, code});
}

void RegistryEmulator::ClearFailures() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  failures_.clear();
}

int RegistryEmulator::PendingFailureCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return static_cast<int>(failures_.size());
}

void RegistryEmulator::LockForFork() {
  mutex_.lock();
  flusher_.LockForFork();
}

void RegistryEmulator::UnlockInParent() {
  flusher_.UnlockInParent();
  mutex_.unlock();
}

void RegistryEmulator::RestartInChild() {
  flusher_.RestartInChild();
  // NOTE: the lock was taken by the forking thread, which has another
  // identity here: the child's lock is made anew over it (do not fork in a
  // batch).
  new (&mutex_) std::recursive_mutex();
}

void RegistryEmulator::UseManualFlushClock() { flusher_.UseManualClock(); }

void RegistryEmulator::AdvanceFlushClock(int milliseconds) {
  flusher_.AdvanceClock(std::chrono::milliseconds(milliseconds));
}

int RegistryEmulator::OpenHandleCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return static_cast<int>(handles_.size());
}

std::vector<CallRecord> RegistryEmulator::CallLog() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return call_log_;
}

void RegistryEmulator::ClearCallLog() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.clear();
  log_calls_ = true;
}

}  // namespace quorvane::platform::portable
