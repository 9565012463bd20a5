// The portable registry's frame: construction, the standard keys a new
// registry holds, batches, and the store it runs on.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <unistd.h>

#include <cstdlib>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/registry/registry_views.h>
#include <quorvane/platform/portable/store/memory_store.h>
#include <quorvane/platform/portable/text/code_page.h>

namespace quorvane::platform::portable {

namespace {

// The emulated machine's name: the host's, as COMPUTERNAME or the host name
// (without its domain) gives it.
std::u16string HostName() {
  if (const char* chosen = std::getenv("COMPUTERNAME"); chosen != nullptr && *chosen != '\0') {
    return CodePage::Decode(kCpUtf8, chosen);
  }
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return u"localhost";
  std::string host = name;
  host = host.substr(0, host.find('.'));
  return CodePage::Decode(kCpUtf8, host);
}

}  // namespace

RegistryEmulator::RegistryEmulator(CodePageSource code_page, bool process_is_32_bit)
    : code_page_(std::move(code_page)),
      store_(std::make_unique<MemoryStore>()),
      computer_name_(HostName()),
      process_is_32_bit_(process_is_32_bit),
      default_process_is_32_bit_(process_is_32_bit),
      flusher_([this] { FlushStore(); }, std::chrono::seconds(1)) {
  SeedStandardKeys();
}

RegistryEmulator::~RegistryEmulator() { flusher_.Stop(); }

void RegistryEmulator::FlushStore() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  try {
    store_->Flush();
  } catch (const StoreFailure&) {
    // The next write, or the flush at exit, tries again; the diagnosis stays.
  }
}

void RegistryEmulator::RollbackQuietly() {
  try {
    store_->Rollback();
  } catch (const StoreFailure&) {
    // The call's own failure is what the caller sees.
  }
}

void RegistryEmulator::Written() {
  if (store_->FlushesLazily()) flusher_.Written();
}

void RegistryEmulator::SeedStandardKeys() {
  // The keys every Windows registry holds from the start. They are looked for
  // in a read transaction, so that a registry that has them is not written.
  std::size_t count = 0;
  const RegistryViews::Place* standard = RegistryViews::StandardKeys(&count);
  const auto walk_all = [&](bool create) {
    bool all_there = true;
    for (std::size_t i = 0; i < count; ++i) {
      KeyId target = 0;
      all_there &= Walk(store_->Root(u"", standard[i].root), standard[i].path, create, &target) ==
                   kErrorSuccess;
    }
    return all_there;
  };
  view_keys_.clear();
  try {
    store_->Begin(false);
    const bool settled = walk_all(false) && !AdoptSeparateTrees(false);
    store_->Commit();
    if (settled) return;
    store_->Begin(true);
    store_->MakingStandardKeys(true);
    walk_all(true);
    AdoptSeparateTrees(true);
    store_->MakingStandardKeys(false);
    store_->Commit();
  } catch (const ImageOutdated&) {
    // Another process changed the registry meanwhile: look again.
    RollbackQuietly();
    SeedStandardKeys();
  } catch (const StoreFailure&) {
    view_keys_.clear();
    RollbackQuietly();
  }
}

LONG RegistryEmulator::BeginBatch(bool writing, bool scan) {
  if (!batches_apply_.load(std::memory_order_acquire)) return kErrorSuccess;
  mutex_.lock();
  try {
    if (scan) {
      store_->BeginScan();
    } else {
      store_->BeginBatch(writing);
    }
  } catch (const StoreFailure& failure) {
    mutex_.unlock();
    return failure.code;
  }
  if (batch_depth_ == 0) batch_writes_ = writing;
  ++batch_depth_;
  return kErrorSuccess;  // the mutex stays held until EndBatch
}

LONG RegistryEmulator::EndBatch(bool commit) {
  if (!batches_apply_.load(std::memory_order_acquire)) return kErrorSuccess;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (batch_depth_ == 0) return kErrorInvalidParameter;
  --batch_depth_;
  LONG result = kErrorSuccess;
  try {
    store_->EndBatch(commit);
    if (commit && batch_depth_ == 0 && batch_writes_) Written();
  } catch (const StoreFailure& failure) {
    result = failure.code;
  }
  mutex_.unlock();  // the hold taken by BeginBatch
  return result;
}

std::string RegistryEmulator::StoreDiagnosis() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Diagnosis();
}

LONG RegistryEmulator::CheckStore(std::string* report) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Check(report);
}

std::string RegistryEmulator::StoreLocation() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return store_->Location();
}

void RegistryEmulator::UseStore(std::unique_ptr<RegistryStore> store) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  flusher_.Cancel();  // the store going away flushes itself
  store_ = std::move(store);
  batches_apply_.store(store_->HasTransactions(), std::memory_order_release);
  handles_.clear();
  root_cursors_.clear();
  merged_lists_ = {};
  SeedStandardKeys();
}

void RegistryEmulator::Reset() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  flusher_.Cancel();
  store_ = std::make_unique<MemoryStore>();
  batches_apply_.store(false, std::memory_order_release);
  handles_.clear();
  root_cursors_.clear();
  merged_lists_ = {};
  remote_machines_.clear();
  failures_.clear();
  call_log_.clear();
  log_calls_ = false;
  process_is_32_bit_ = default_process_is_32_bit_;
  SeedStandardKeys();
}

}  // namespace quorvane::platform::portable
