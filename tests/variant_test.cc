#include <quorvane/core/variant.h>

#include <gtest/gtest.h>

#include <quorvane/core/collection.h>
#include <quorvane/core/error_object.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

TEST(VariantTest, TextFormOfEachKind) {
  struct Row {
    Variant value;
    std::u16string text;
  };
  const Row rows[] = {
      {Variant(), u""},
      {Variant(u"abc"), u"abc"},
      {Variant(std::int16_t{-12}), u"-12"},
      {Variant(std::int32_t{2147483647}), u"2147483647"},
      {Variant(true), u"True"},
      {Variant(false), u"False"},
      {Variant(0.1), u"0.1"},
      {Variant(1.5), u"1.5"},
      {Variant(-2.25), u"-2.25"},
      {Variant(100.0), u"100"},
      {Variant(-0.0), u"0"},
      {Variant(1.0 / 3), u"0.333333333333333"},
      {Variant(2.0 / 3), u"0.666666666666667"},
      {Variant(123456789012345.0), u"123456789012345"},
      {Variant(1e15), u"1E+15"},
      {Variant(1234567890123456.0), u"1.23456789012346E+15"},
      {Variant(1e20), u"1E+20"},
      {Variant(1e-4), u"0.0001"},
      {Variant(1e-5), u"1E-05"},
      {Variant(1.234e-5), u"1.234E-05"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.value.ToText(), row.text) << "expected " << Narrow(row.text);
  }
}

TEST(VariantTest, NullAndMissingHaveNoTextForm) {
  EXPECT_RAISES(94, Variant::Null().ToText());
  EXPECT_RAISES(13, Variant::Missing().ToText());
}

TEST(VariantTest, TextToInt16FollowsTheLocaleAwareReading) {
  struct Row {
    std::u16string text;
    std::int32_t error;  // 0: no error
    std::int16_t value;
  };
  const Row rows[] = {
      {u"12", 0, 12},           {u" 12 ", 0, 12},  {u"\t7\t", 0, 7}, {u"+5", 0, 5},
      {u"-5", 0, -5},           {u"5-", 0, -5},    {u"(5)", 0, -5},  {u"04", 0, 4},
      {u"2.5", 0, 2},           {u"3.5", 0, 4},    {u"-2.5", 0, -2}, {u"4.5", 0, 4},
      {u"5.5", 0, 6},           {u".5", 0, 0},     {u"1.", 0, 1},    {u"1,000", 0, 1000},
      {u"1e3", 0, 1000},        {u"&H10", 0, 16},  {u"&O10", 0, 8},  {u"32766.5", 0, 32766},
      {u"-32768.5", 0, -32768}, {u"", 13, 0},      {u" ", 13, 0},    {u"abc", 13, 0},
      {u"1.2.3", 13, 0},        {u"1 2", 13, 0},   {u"0x10", 13, 0}, {u",5", 13, 0},
      {u"1e", 13, 0},           {u"--1", 13, 0},   {u"1d2", 13, 0},  {u"40000", 6, 0},
      {u"32767.5", 6, 0},       {u"-32769", 6, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("text: [" + Narrow(row.text) + "]");
    if (row.error != 0) {
      EXPECT_RAISES(row.error, Variant(row.text).ToInt16());
    } else {
      EXPECT_EQ(Variant(row.text).ToInt16(), row.value);
    }
  }
}

TEST(VariantTest, NumbersRoundHalfToEvenAndCheckTheRange) {
  EXPECT_EQ(Variant(2.5).ToInt16(), 2);
  EXPECT_EQ(Variant(3.5).ToInt16(), 4);
  EXPECT_EQ(Variant(-3.5).ToInt32(), -4);
  EXPECT_EQ(Variant(true).ToInt16(), -1);
  EXPECT_EQ(Variant().ToInt16(), 0);
  EXPECT_EQ(Variant(std::int32_t{32767}).ToInt16(), 32767);
  EXPECT_RAISES(6, Variant(std::int32_t{40000}).ToInt16());
  EXPECT_RAISES(6, Variant(32767.5).ToInt16());
  EXPECT_RAISES(6, Variant(2147483647.5).ToInt32());
  EXPECT_RAISES(6, Variant(u"3000000000").ToInt32());
  EXPECT_EQ(Variant(u"-2147483648").ToInt32(), -2147483647 - 1);
  EXPECT_RAISES(94, Variant::Null().ToInt32());
  EXPECT_RAISES(13, Variant::Missing().ToInt32());
}

TEST(VariantTest, ErrorsCarryTheLibrarySourceAndStandardDescriptions) {
  const ErrorObject error = testing_support::CatchError([] { (void)Variant(u"x").ToInt16(); });
  EXPECT_EQ(error.Source(), u"qvSupport");
  EXPECT_EQ(error.Description(), u"Type mismatch");
  EXPECT_STREQ(error.what(), "Type mismatch");
}

TEST(VariantTest, EqualityComparesKindAndValue) {
  EXPECT_EQ(Variant(u"1"), Variant(u"1"));
  EXPECT_NE(Variant(u"1"), Variant(std::int32_t{1}));
  EXPECT_NE(Variant(std::int16_t{1}), Variant(std::int32_t{1}));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant::Null(), Variant());
  EXPECT_NE(Variant::Missing(), Variant());
}

TEST(CollectionTest, ItemsAreAddressedFromOne) {
  Collection items;
  EXPECT_EQ(items.Count(), 0);
  items.Add(u"a");
  items.Add(std::int32_t{2});
  EXPECT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item(1), Variant(u"a"));
  EXPECT_EQ(items.Item(2), Variant(std::int32_t{2}));
  EXPECT_RAISES(5, items.Item(0));
  EXPECT_RAISES(5, items.Item(3));
}

}  // namespace
}  // namespace quorvane
