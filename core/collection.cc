#include <quorvane/core/collection.h>

#include <quorvane/core/error_object.h>

namespace quorvane {

const Variant& Collection::Item(std::int32_t index) const {
  if (index < 1 || index > Count()) StandardErrors::Raise(StandardErrors::kInvalidArgument);
  return items_[static_cast<std::size_t>(index - 1)];
}

}  // namespace quorvane
