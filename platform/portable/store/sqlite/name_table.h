// A table of entries looked up by name, laid out for lookups that miss the
// processor's caches: an array of hashes probed in place and the entries in
// a parallel array, so that a lookup in a large image costs about one access
// to main memory (the entry, fetched while the hashes are probed) where a
// node-based map costs three or four dependent ones. Entries are never
// removed one by one; an entry's address holds until the next Add or Clear.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::platform::portable {

template <typename Mapped>
class NameTable {
 public:
  [[nodiscard]] const Mapped* Find(const std::u16string& name) const {
    // A few names are compared sooner than one is hashed.
    if (size_ <= kScannedSize) {
      for (std::size_t at = 0; at < hashes_.size(); ++at) {
        if (hashes_[at] != 0 && entries_[at].first == name) return &entries_[at].second;
      }
      return nullptr;
    }
    const std::size_t at = SlotOf(name, HashOf(name));
    return hashes_.empty() || hashes_[at] == 0 ? nullptr : &entries_[at].second;
  }

  [[nodiscard]] Mapped* Find(const std::u16string& name) {
    return const_cast<Mapped*>(std::as_const(*this).Find(name));
  }

  // Adds `mapped` under `name` unless the name is there already; returns the
  // entry's mapped value and whether it was added.
  std::pair<Mapped*, bool> Add(const std::u16string& name, Mapped mapped) {
    return Put(name, std::move(mapped), false);
  }
  // Adds or replaces; true when the name was not there.
  bool Set(const std::u16string& name, Mapped mapped) {
    return Put(name, std::move(mapped), true).second;
  }

  template <typename Visit>
  void ForEach(Visit visit) {
    for (std::size_t at = 0; at < hashes_.size(); ++at) {
      if (hashes_[at] != 0) visit(entries_[at].first, entries_[at].second);
    }
  }
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (std::size_t at = 0; at < hashes_.size(); ++at) {
      if (hashes_[at] != 0) visit(entries_[at].first, entries_[at].second);
    }
  }

  [[nodiscard]] std::size_t Size() const { return size_; }
  void Clear() {
    hashes_.clear();
    entries_.clear();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kScannedSize = 8;

  // FNV-1a over the units, inlined: names are short, and a call through to
  // the standard library's byte hash cost a hot read a sixth of its time.
  // Zero marks a free slot, so stored hashes are never zero.
  static std::uint32_t HashOf(const std::u16string& name) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char16_t unit : name) hash = (hash ^ unit) * 1099511628211ull;
    return static_cast<std::uint32_t>(hash ^ (hash >> 32)) | 1u;
  }
  std::size_t HomeOf(std::uint32_t hash) const {
    return static_cast<std::size_t>((std::uint64_t{hash} * hashes_.size()) >> 32);
  }

  // The slot holding `name`, or the free slot where it would go.
  std::size_t SlotOf(const std::u16string& name, std::uint32_t hash) const {
    if (hashes_.empty()) return 0;
    std::size_t at = HomeOf(hash);
    // The entry is almost always in its home slot: fetched alongside the
    // hashes rather than after them.
#if defined(__GNUC__)
    __builtin_prefetch(&entries_[at]);
#endif
    while (hashes_[at] != 0 && (hashes_[at] != hash || entries_[at].first != name)) {
      at = at + 1 == hashes_.size() ? 0 : at + 1;
    }
    return at;
  }

  std::pair<Mapped*, bool> Put(const std::u16string& name, Mapped mapped, bool replace) {
    // At most four fifths full, so that probes stay short.
    if ((size_ + 1) * 5 > hashes_.size() * 4) Grow();
    const std::uint32_t hash = HashOf(name);
    const std::size_t at = SlotOf(name, hash);
    if (hashes_[at] != 0) {
      if (replace) entries_[at].second = std::move(mapped);
      return {&entries_[at].second, false};
    }
    hashes_[at] = hash;
    entries_[at] = {name, std::move(mapped)};
    ++size_;
    return {&entries_[at].second, true};
  }

  void Grow() {
    std::vector<std::uint32_t> hashes(std::max<std::size_t>(8, hashes_.size() * 3 / 2 + 1), 0);
    std::vector<std::pair<std::u16string, Mapped>> entries(hashes.size());
    hashes.swap(hashes_);
    entries.swap(entries_);
    for (std::size_t from = 0; from < hashes.size(); ++from) {
      if (hashes[from] == 0) continue;
      std::size_t at = HomeOf(hashes[from]);
      while (hashes_[at] != 0) at = at + 1 == hashes_.size() ? 0 : at + 1;
      hashes_[at] = hashes[from];
      entries_[at] = std::move(entries[from]);
    }
  }

  std::vector<std::uint32_t> hashes_;
  std::vector<std::pair<std::u16string, Mapped>> entries_;
  std::size_t size_ = 0;
};

}  // namespace quorvane::platform::portable
