// When the SQLite store answers from its image of earlier reads: a scope that
// only reads, begun when the file's stamp is the image's, needs no
// transaction until something misses; the first miss begins one and checks
// that the file is still as the image has it.
#include <sqlite3.h>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

bool SqliteStore::BeginImageScope() {
  if (!stamp_.Attached()) return false;
  const WalStamp::Value now = stamp_.Read();
  if (!image_current_ || now != image_stamp_ || image_.Full()) {
    image_.Clear();
    image_stamp_ = now;
    image_current_ = true;
  }
  scope_stamp_ = now;
  image_scope_ = true;
  lazy_scope_ = true;
  snapshot_taken_ = false;
  served_from_image_ = false;
  return true;
}

void SqliteStore::TakeSnapshot() {
  if (!lazy_scope_ || snapshot_taken_) return;
  Run(Sql::kBeginRead);
  snapshot_taken_ = true;
  Run(Sql::kTouch);
  // The snapshot is the file as the scope's stamp has it unless a commit
  // came between the two looks; then what the image answered may be older.
  if (stamp_.Read() == scope_stamp_) return;
  image_.Clear();
  image_current_ = false;
  image_scope_ = false;
  generation_unknown_ = true;
  if (served_from_image_ && batch_depth_ == 0) throw ImageOutdated{};
}

void SqliteStore::LeaveImage() {
  if (!image_scope_) return;
  TakeSnapshot();
  image_.Clear();
  image_current_ = false;
  image_scope_ = false;
  generation_unknown_ = true;
}

bool SqliteStore::EndLazyScope() {
  if (!lazy_scope_) return false;
  const bool began = snapshot_taken_;
  lazy_scope_ = false;
  image_scope_ = false;
  snapshot_taken_ = false;
  return !began;
}

void SqliteStore::BeginWritingOverImage() {
  writing_over_image_ = stamp_.Attached() && image_current_ && stamp_.Read() == image_stamp_;
  image_followed_writes_ = false;
  if (!writing_over_image_) {
    image_.Clear();
    image_current_ = false;
  }
}

void SqliteStore::EndWritingOverImage(bool committed) {
  if (!writing_over_image_) return;
  writing_over_image_ = false;
  // A rollback leaves the file as it was: so is the image, unless it
  // followed writes that were undone (a key added or deleted in place).
  if (!committed) {
    if (image_followed_writes_) {
      image_.Clear();
      image_current_ = false;
    }
    return;
  }
  // Every commit moves the WAL index's change counter by exactly one and a
  // restart of the log changes its salts: one step with the same salts is
  // this commit alone.
  const WalStamp::Value now = stamp_.Read();
  if (now == image_stamp_) return;  // nothing was written
  if (now.change == image_stamp_.change + 1 && now.salt1 == image_stamp_.salt1 &&
      now.salt2 == image_stamp_.salt2) {
    image_stamp_ = now;
    return;
  }
  image_.Clear();
  image_current_ = false;
}

void SqliteStore::ForgetInImage(KeyId key) {
  if (writing_over_image_) image_.Forget(key);
}

std::uint64_t SqliteStore::Generation() {
  if (!stamp_.Attached()) {
    // data_version moves when another connection commits; our own writes
    // are counted here.
    Statement version(*this, Sql::kDataVersion);
    const std::uint64_t others =
        version.Step() ? static_cast<std::uint64_t>(version.Integer(0)) : 0;
    return (others << 32) + own_changes_;
  }
  // A scope that read past a commit, or wrote through its image, sees no one
  // stamp: every call of it gets a generation of its own.
  if (generation_unknown_) return (std::uint64_t{1} << 63) | ++unknown_generations_;
  // A scope that writes holds the write lock, so the stamp stands still
  // until it commits.
  const WalStamp::Value stamp = image_scope_ ? scope_stamp_ : stamp_.Read();
  return ((std::uint64_t{stamp.change} << 32) ^ (std::uint64_t{stamp.salt1} << 16) ^ stamp.frames ^
          stamp.salt2) +
         own_changes_;
}

}  // namespace quorvane::platform::portable
