#include <gtest/gtest.h>

#include <string>

#include <quorvane/fileworks/fileworks.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

bool Greater(const std::u16string& first, const std::u16string& second) {
  Variant a = first;
  Variant b = second;
  return FileWorks().VersionGreater(a, b);
}

TEST(VersionGreaterTest, WorkedExamples) {
  struct Row {
    std::u16string first, second;
    bool greater;
  };
  const Row rows[] = {
      {u"1.2.3.4", u"1.2.3.3", true},
      {u"1.2.3.4", u"1.2.3.4", false},
      {u"1.10.0.0", u"1.9.0.0", true},
      {u"2.0.0.0", u"10.0.0.0", false},
      {u"1.2", u"1.1.5", false},
      {u"2", u"1.9.9.9", false},
      {u"5", u"4.9.9.9", false},
      {u"1.2.3", u"1.2.0.3", false},
      {u"1.2.0.3", u"1.2.3", false},
      {u"01.02.03.04", u"1.2.3.4", false},
      {u" 1 . 2 ", u"1.0.0.1", true},
      {u"0", u"-1", true},
      {u"-1", u"0", false},
      {u"01.2", u"1.2", false},
      {u"1.2.3.4.5", u"1.2.3.4", false},
      {u"1.2.3.5.5", u"1.2.3.5", true},
      {u"1.2.3.-1", u"1.2.3.0", false},
      {u"32767", u"-32768", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Greater(row.first, row.second), row.greater)
        << Narrow(row.first) << " > " << Narrow(row.second);
  }
}

TEST(VersionGreaterTest, ArgumentsAreConsumedInPlace) {
  FileWorks files;
  Variant first = u"1.2.3.4";
  Variant second = u"2.0";
  EXPECT_FALSE(files.VersionGreater(first, second));
  EXPECT_EQ(first, Variant(u"4"));
  EXPECT_EQ(second, Variant(u"0"));

  Variant plain = u"7";
  Variant number = std::int32_t{3};
  EXPECT_TRUE(files.VersionGreater(plain, number));
  EXPECT_EQ(plain, Variant(u"7")) << "no separator: value and kind kept";
  EXPECT_EQ(number, Variant(std::int32_t{3}));
}

TEST(VersionGreaterTest, EmptyVariantReadsAsZero) {
  FileWorks files;
  Variant empty;
  Variant zero = u"0";
  EXPECT_FALSE(files.VersionGreater(empty, zero));
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(VersionGreaterTest, Failures) {
  struct Row {
    std::u16string first, second;
    std::int32_t error;
  };
  const Row rows[] = {
      {u"", u"1", 13},
      {u"1.", u"1", 13},
      {u"1.2.3.", u"1", 13},
      {u"1..2", u"1", 13},
      {u".5", u"1", 13},
      {u"1.a", u"1", 13},
      {u"1.2.3.4.5.6", u"1", 13},
      {u"1.2.3.40000", u"1", 6},
      {u"1", u"70000.1", 6},
      {std::u16string(32767, u'1') + u".1", u"1", 6},
      // A zero inside a field is no digit, wherever the field stands.
      {std::u16string(u"1\0x", 3), u"1", 13},
      {std::u16string(u"1\0.2", 4), u"1", 13},
      {u"1", std::u16string(u"2.3\0", 4), 13},
  };
  for (const Row& row : rows) {
    EXPECT_RAISES(row.error, Greater(row.first, row.second)) << Narrow(row.first.substr(0, 20));
  }
  FileWorks files;
  Variant null = Variant::Null();
  Variant one = u"1";
  EXPECT_RAISES(94, files.VersionGreater(null, one));
}

TEST(VersionGreaterTest, FailuresLeaveWhatWasConsumed) {
  FileWorks files;
  Variant first = u"1.2.x.4";
  Variant second = u"1.2";
  EXPECT_RAISES(13, files.VersionGreater(first, second));
  EXPECT_EQ(first, Variant(u"x.4")) << "partly consumed";
  EXPECT_EQ(second, Variant(u"1.2")) << "not touched yet";

  first = u"1.2.3.4";
  second = u"x.1";
  EXPECT_RAISES(13, files.VersionGreater(first, second));
  EXPECT_EQ(first, Variant(u"4"));
  EXPECT_EQ(second, Variant(u"x.1")) << "the failing field is read before the rewrite";
}

}  // namespace
}  // namespace quorvane
