// Wine's registry file text: what Wine 8 wrote here read and written back
// byte for byte, and each value written as Wine writes it and read back.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <quorvane/platform/portable/store/wine/wine_file.h>
#include <quorvane/platform/portable/store/wine/wine_text.h>
#include "tests/portable/wine/wine_files_written.h"

namespace quorvane {
namespace {

using platform::DWORD;
using platform::portable::StoredValue;
using platform::portable::WineFile;
using platform::portable::WineText;
using wine_test::kWineWrote;

TEST(WineFileTest, WhatWineWroteIsReadAndWrittenAgainByteForByte) {
  WineFile file;
  std::string error;
  ASSERT_TRUE(WineFile::Parse(kWineWrote, &file, &error)) << error;
  ASSERT_EQ(file.sections.size(), 6u);
  std::string verbatim = file.header;
  for (const WineFile::Section& section : file.sections) {
    const std::string text = kWineWrote.substr(section.offset, section.length);
    verbatim += "\n" + text;
    // Written afresh from what was read, each section is what Wine wrote.
    EXPECT_EQ(WineFile::SectionText(section.path, section.file_time, section.notes, section.values),
              text);
  }
  EXPECT_EQ(verbatim, kWineWrote);
  EXPECT_TRUE(file.sections[5].link);
  EXPECT_EQ(file.sections[2].path, u"Software\\QvEsc\\with\"quote");
}

StoredValue Text(const char16_t* name, DWORD type, const std::u16string& text) {
  std::string data;
  for (const char16_t unit : text + u'\0') {
    data.push_back(static_cast<char>(unit & 0xFF));
    data.push_back(static_cast<char>(unit >> 8));
  }
  return StoredValue{name, type, data};
}

// Each value as the data a program set and the line Wine writes for it.
TEST(WineFileTest, ValuesAreWrittenAsWineWritesThemAndReadBack) {
  const std::pair<StoredValue, std::string> cases[] = {
      {Text(u"", 1, u"default"), "@=\"default\"\n"},
      {Text(u"q", 1, u"a \"q\" \\ [x]"), "\"q\"=\"a \\\"q\\\" \\\\ [x]\"\n"},
      {Text(u"c", 1,
            u"A\n\t\x01"
            u"B\x01"
            u"7"),
       "\"c\"=\"A\\n\\t\\1B\\0017\"\n"},
      {Text(u"u", 1, u"\u00e9A\u00e9G\u2211"), "\"u\"=\"\\x00e9A\\xe9G\\x2211\"\n"},
      {Text(u"n\u00e4me", 2, u"%A%"), "\"n\\xe4me\"=str(2):\"%A%\"\n"},
      {Text(u"m", 7,
            std::u16string(u"1\0"
                           u"2",
                           3) +
                u'\0'),
       "\"m\"=str(7):\"1\\0002\\0\"\n"},
      {StoredValue{u"d", 4, std::string("\x2a\0\0\0", 4)}, "\"d\"=dword:0000002a\n"},
      {StoredValue{u"d3", 4, std::string("\x01\x02\x03", 3)}, "\"d3\"=hex(4):01,02,03\n"},
      {StoredValue{u"odd", 1, std::string("A\0B", 3)}, "\"odd\"=hex(1):41,00,42\n"},
      {StoredValue{u"e", 2, ""}, "\"e\"=hex(2):\n"},
      {StoredValue{u"t", 0x4d2, "\x01\x02"}, "\"t\"=hex(4d2):01,02\n"},
      {StoredValue{u"big", 3, std::string(24, '\xab')},
       "\"big\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
       "  ab\n"},
  };
  for (const auto& [value, line] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(WineText::ValueLines(value), line);
    std::string joined = line.substr(0, line.size() - 1);
    for (std::size_t at; (at = joined.find("\\\n  ")) != std::string::npos;) joined.erase(at, 4);
    StoredValue read;
    std::string error;
    ASSERT_TRUE(WineText::ParseValue(joined, &read, &error)) << error;
    EXPECT_EQ(read.name, value.name);
    EXPECT_EQ(read.type, value.type);
    EXPECT_EQ(read.data, value.data);
  }
}

}  // namespace
}  // namespace quorvane
