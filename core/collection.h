// Collection: an ordered list of Variant items addressed by position from 1.
#pragma once

#include <cstdint>
#include <vector>

#include <quorvane/core/variant.h>

namespace quorvane {

class Collection {
 public:
  void Add(Variant item) { items_.push_back(std::move(item)); }
  // Makes room for `count` items, so that adding them moves none.
  void Reserve(std::int32_t count) { items_.reserve(static_cast<std::size_t>(count)); }
  [[nodiscard]] std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // The item at `index`, counted from 1; error 5 outside 1 to Count().
  [[nodiscard]] const Variant& Item(std::int32_t index) const;

  [[nodiscard]] std::vector<Variant>::const_iterator begin() const { return items_.begin(); }
  [[nodiscard]] std::vector<Variant>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<Variant> items_;
};

}  // namespace quorvane
