#include "core/variant.h"

#include <gtest/gtest.h>

#include "core/error_object.h"

namespace quorvane {
namespace {

TEST(VariantTest, Placeholder) { EXPECT_EQ(Variant(std::int32_t{12}).ToText(), u"12"); }

}  // namespace
}  // namespace quorvane
