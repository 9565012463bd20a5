#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include <quorvane/fileworks/fileworks.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

TEST(FileWorksPathsTest, SplittingWithTheDefaultSeparator) {
  struct Row {
    std::u16string path, dir, file, base, ext;
  };
  const Row rows[] = {
      {u"C:\\dir\\file.txt", u"C:\\dir", u"file.txt", u"file", u"txt"},
      {u"C:\\file.txt", u"C:", u"file.txt", u"file", u"txt"},
      {u"file.txt", u"", u"file.txt", u"file", u"txt"},
      {u"\\file.txt", u"", u"\\file.txt", u"\\file", u"txt"},
      {u"C:\\dir\\", u"C:\\dir", u"", u"", u""},
      {u"\\\\server\\share\\a.b.c", u"\\\\server\\share", u"a.b.c", u"a", u"b.c"},
      {u"\\\\server", u"\\", u"server", u"server", u""},
      {u"\\", u"", u"\\", u"\\", u""},
      {u"a", u"", u"a", u"a", u""},
      {u"", u"", u"", u"", u""},
      {u"C:\\my.dir\\file", u"C:\\my.dir", u"file", u"file", u"dir\\file"},
      {u"archive.tar.gz", u"", u"archive.tar.gz", u"archive", u"tar.gz"},
      {u".profile", u"", u".profile", u"", u"profile"},
      {u"file.", u"", u"file.", u"file", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("Pathname: [" + Narrow(row.path) + "]");
    EXPECT_EQ(files.GetPath(row.path), row.dir);
    EXPECT_EQ(files.GetFile(row.path), row.file);
    EXPECT_EQ(files.GetFileLessExt(row.path), row.base);
    EXPECT_EQ(files.GetExt(row.path), row.ext);
  }
}

TEST(FileWorksPathsTest, SplittingWithOtherSeparators) {
  struct Row {
    std::u16string path, separator, dir, file, base;
  };
  const Row rows[] = {
      {u"a/b/c", u"/", u"a/b", u"c", u"c"},
      {u"C:\\dir\\x", u"/", u"", u"C:\\dir\\x", u"C:\\dir\\x"},
      {u"a::b::c", u"::", u"a::b", u":c", u":c"},
      {u"a:::b", u"::", u"a:", u":b", u":b"},
      {u"abc", u"", u"ab", u"", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("Pathname: [" + Narrow(row.path) + "] PathSepChar: [" + Narrow(row.separator) +
                 "]");
    EXPECT_EQ(files.GetPath(row.path, row.separator), row.dir);
    EXPECT_EQ(files.GetFile(row.path, row.separator), row.file);
    EXPECT_EQ(files.GetFileLessExt(row.path, row.separator), row.base);
  }
}

TEST(FileWorksPathsTest, AddingAndRemovingSeparators) {
  struct Row {
    std::u16string name, added, removed, lead_removed;
  };
  const Row rows[] = {
      {u"C:\\dir", u"C:\\dir\\", u"C:\\dir", u"C:\\dir"},
      {u"C:\\dir\\", u"C:\\dir\\", u"C:\\dir", u"C:\\dir\\"},
      {u"C:\\dir\\\\", u"C:\\dir\\\\", u"C:\\dir\\", u"C:\\dir\\\\"},
      {u"\\dir\\file", u"\\dir\\file\\", u"\\dir\\file", u"dir\\file"},
      {u"\\\\server\\share", u"\\\\server\\share\\", u"\\\\server\\share", u"\\server\\share"},
      {u"\\", u"\\", u"", u""},
      {u"a", u"a\\", u"a", u"a"},
      {u"", u"", u"", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("DirName: [" + Narrow(row.name) + "]");
    EXPECT_EQ(files.AddSlash(row.name), row.added);
    EXPECT_EQ(files.RemoveSlash(row.name), row.removed);
    EXPECT_EQ(files.RemoveLeadSlash(row.name), row.lead_removed);
  }
}

TEST(FileWorksPathsTest, AddingAndRemovingOtherSeparators) {
  struct Row {
    std::u16string name, separator, added, removed;
  };
  const Row rows[] = {
      {u"a/b", u"/", u"a/b/", u"a/b"},
      {u"a/b/", u"/", u"a/b/", u"a/b"},
      {u"dir\\\\", u"\\\\", u"dir\\\\\\\\", u"dir\\\\"},
      {u"dir", u"", u"dir", u"dir"},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("DirName: [" + Narrow(row.name) + "] SpecifyCharToUse: [" + Narrow(row.separator) +
                 "]");
    EXPECT_EQ(files.AddSlash(row.name, row.separator), row.added);
    EXPECT_EQ(files.RemoveSlash(row.name, row.separator), row.removed);
  }
}

TEST(FileWorksPathsTest, LeadSlashOfOtherVariants) {
  FileWorks files;
  EXPECT_EQ(files.RemoveLeadSlash(std::int32_t{12}), u"12");
  EXPECT_EQ(files.RemoveLeadSlash(Variant()), u"");
  EXPECT_RAISES(94, files.RemoveLeadSlash(Variant::Null()));
}

TEST(FileWorksPathsTest, PositionsBeyond32767Overflow) {
  FileWorks files;
  // The only separator early: every member splits normally.
  std::u16string early(40000, u'x');
  early[9] = u'\\';
  EXPECT_EQ(files.GetPath(early), std::u16string(9, u'x'));
  EXPECT_EQ(files.GetFile(early), std::u16string(40000 - 10, u'x'));
  EXPECT_EQ(files.GetFileLessExt(early), std::u16string(40000 - 10, u'x'));

  for (std::size_t position : {32766u, 32767u, 32768u}) {
    SCOPED_TRACE("separator at " + std::to_string(position));
    std::u16string path(40000, u'x');
    path[9] = u'\\';
    path[position - 1] = u'\\';
    if (position < 32767) {
      EXPECT_EQ(files.GetPath(path), path.substr(0, position - 1));
      EXPECT_EQ(files.GetFile(path), path.substr(position));
    } else {
      EXPECT_RAISES(6, files.GetPath(path));
      EXPECT_RAISES(6, files.GetFile(path));
      EXPECT_RAISES(6, files.GetFileLessExt(path));
    }
    // Only the separator members count positions.
    EXPECT_EQ(files.AddSlash(path), path + u"\\");
    EXPECT_EQ(files.RemoveSlash(path + u"\\"), path);
  }

  const std::u16string dotted(32765, u'x');
  EXPECT_EQ(files.GetExt(dotted + u".e"), u"e") << "a dot at 32766";
  EXPECT_EQ(files.GetExt(dotted + u"x."), u"") << "a final dot at 32767";
  EXPECT_RAISES(6, files.GetExt(dotted + u"x.e")) << "a dot at 32767 with more after it";
  EXPECT_RAISES(6, files.GetExt(dotted + u"xx.e"));
  EXPECT_RAISES(6, files.GetFileLessExt(u"a\\" + dotted + u"xxx.e"));
}

TEST(FileWorksPathsTest, OddTextNeverCrashes) {
  FileWorks files;
  const std::u16string odd[] = {u"\xD800", u"\xDC00\\\xD800", std::u16string(3, u'\0'),
                                std::u16string(100000, u'\\'), u"\\\\\\"};
  for (const std::u16string& text : odd) {
    for (const std::u16string& separator : {std::u16string(u"\\"), std::u16string(u""),
                                            std::u16string(u"\\\\\\"), std::u16string(u"\xD800")}) {
      try {
        (void)files.GetPath(text, separator);
        (void)files.GetFile(text, separator);
        (void)files.GetFileLessExt(text, separator);
        (void)files.GetExt(text);
        (void)files.AddSlash(text, separator);
        (void)files.RemoveSlash(text, separator);
        (void)files.RemoveLeadSlash(text);
      } catch (const ErrorObject& error) {
        EXPECT_EQ(error.Number(), 6);
      }
    }
  }
}

TEST(FileWorksPathsTest, OneUnitSeparatorSplitsComplementarily) {
  FileWorks files;
  const std::u16string pieces[] = {u"a", u"\\", u"b.c", u"", u"\\\\", u"."};
  for (const std::u16string& a : pieces) {
    for (const std::u16string& b : pieces) {
      for (const std::u16string& c : pieces) {
        const std::u16string path = a + b + c;
        const std::u16string dir = files.GetPath(path);
        const std::u16string file = files.GetFile(path);
        if (dir.empty()) {
          EXPECT_EQ(file, path) << Narrow(path);
        } else {
          EXPECT_EQ(dir + u"\\" + file, path) << Narrow(path);
        }
      }
    }
  }
}

// The forward chain of the position rules, kept here as the reference the
// members are held to: from each occurrence, search again one unit after it
// began; positions are 16-bit (6 beyond 32767).
std::int32_t ForwardChainLast(const std::u16string& text, const std::u16string& separator) {
  const auto find = [&](std::int64_t start) -> std::int64_t {
    if (text.empty() || start < 1 || static_cast<std::size_t>(start) > text.size()) return 0;
    const std::size_t found = text.find(separator, static_cast<std::size_t>(start - 1));
    if (found == std::u16string::npos) return 0;
    if (found + 1 > 32767) throw 6;
    return static_cast<std::int64_t>(found) + 1;
  };
  std::int64_t last = find(1);
  while (last >= 1) {
    if (last + 1 > 32767) throw 6;
    if (last + 1 > static_cast<std::int64_t>(text.size())) break;
    const std::int64_t next = find(last + 1);
    if (next == 0) break;
    last = next;
  }
  return static_cast<std::int32_t>(last);
}

struct Split {
  std::u16string path, file, file_less_ext;
  std::int32_t error = 0;
};

Split ByReference(const std::u16string& text, const std::u16string& separator) {
  Split split;
  try {
    const std::int32_t last = ForwardChainLast(text, separator);
    split.path = last >= 2 ? text.substr(0, static_cast<std::size_t>(last - 1)) : u"";
    split.file = last >= 2 ? (static_cast<std::size_t>(last) < text.size()
                                  ? text.substr(static_cast<std::size_t>(last))
                                  : u"")
                           : text;
    const std::size_t dot = split.file.find(u'.');
    if (dot != std::u16string::npos && dot + 1 > 32767) throw 6;
    split.file_less_ext = dot == std::u16string::npos ? split.file : split.file.substr(0, dot);
  } catch (int error) {
    split = Split{};
    split.error = error;
  }
  return split;
}

Split ByMembers(const std::u16string& text, const std::u16string& separator) {
  FileWorks files;
  Split split;
  try {
    split.path = files.GetPath(text, separator);
    split.file = files.GetFile(text, separator);
    split.file_less_ext = files.GetFileLessExt(text, separator);
  } catch (const ErrorObject& error) {
    split = Split{};
    split.error = error.Number();
  }
  return split;
}

TEST(PathMembersPropertyTest, TheLastSeparatorAsTheForwardChainFindsIt) {
  std::uint32_t seed = 12345;
  const auto random = [&seed](std::uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  const std::u16string separators[] = {u"\\", u"/", u"\\\\", u"ab", u"aa", u"aba", u""};
  const std::u16string alphabet = u"ab.\\/x";
  int errors = 0;
  for (int round = 0; round < 400; ++round) {
    const std::u16string& separator = separators[random(7)];
    // Lengths around the 16-bit limit, and short ones.
    const std::size_t length = round % 4 == 0 ? random(40) : 32700 + random(140);
    std::u16string text(length, u'x');
    const int marks = static_cast<int>(random(6));
    for (int mark = 0; mark < marks && length > 0; ++mark) {
      // Units near the end, near the limit and anywhere.
      const std::size_t where[] = {length - 1 - random(std::min<std::size_t>(length, 8)),
                                   std::min<std::size_t>(length - 1, 32760 + random(12)),
                                   random(static_cast<std::uint32_t>(length))};
      text[where[random(3)]] = alphabet[random(static_cast<std::uint32_t>(alphabet.size()))];
    }
    const Split expected = ByReference(text, separator);
    const Split actual = ByMembers(text, separator);
    errors += expected.error != 0;
    ASSERT_EQ(actual.error, expected.error) << "round " << round << ", length " << length;
    ASSERT_EQ(actual.path, expected.path) << "round " << round;
    ASSERT_EQ(actual.file, expected.file) << "round " << round;
    ASSERT_EQ(actual.file_less_ext, expected.file_less_ext) << "round " << round;
  }
  EXPECT_GT(errors, 10) << "the overflow cases are exercised";
}

}  // namespace
}  // namespace quorvane
