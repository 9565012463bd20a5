#include <gtest/gtest.h>

#include <string>

#include "fileworks/fileworks.h"
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

}  // namespace
}  // namespace quorvane
