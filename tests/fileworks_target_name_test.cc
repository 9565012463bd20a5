#include <gtest/gtest.h>

#include <string>

#include <quorvane/fileworks/fileworks.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

TEST(TargetNameTest, WorkedExamples) {
  struct Row {
    std::u16string file, pattern, target;
  };
  const Row rows[] = {
      {u"readme.txt", u"*.bak", u"readme.bak"},
      {u"archive.tar.gz", u"*.bak", u"archive.bak"},
      {u"archive.tar.gz", u"*.*", u"archive.tar.gz"},
      {u"readme.txt", u"*", u"readme.txt"},
      {u"readme.txt", u"new", u"new"},
      {u"readme.txt", u"???", u"rea"},
      {u"readme.txt", u"x*", u"xeadme.txt"},
      {u"readme.txt", u"new*", u"newdme.txt"},
      {u"readme.txt", u"*x", u"readme"},
      {u"report.doc", u"r*port.txt", u"report.txt"},
      {u"readme.txt", u"??b*.t?t", u"rebdme.txt"},
      {u"readme.txt", u"*.x*", u"readme.xxt"},
      {u"report.doc", u"?.txt", u"r.txt"},
      {u"ab.doc", u"??????.txt", u"ab.txt"},
      {u"xyz.doc", u"a?c.*", u"ayc.doc"},
      {u"readme.txt", u"*.?", u"readme.t"},
      {u"readme.txt", u"*.", u"readme"},
      {u"readme.txt", u".txt", u".txt"},
      {u"readme", u"*.bak", u"readme.bak"},
      {u"readme", u"*.*", u"readme"},
      {u"data.log", u"data*.old", u"data.old"},
      {u"data1234.log", u"data*.old", u"data1234.old"},
      {u".profile", u"*.bak", u".bak"},
      {u".profile", u"*.*", u".profile"},
      {u"my file.txt", u"*.bak", u"my file.bak"},
      {u"readme.txt", u"a.b.c", u"a.b.c"},
      {u"", u"*.*", u""},
      {u"readme.txt", u"", u""},
      {u"readme. txt ", u"*.*", u"readme.txt"},
      {u"readme.txt", u"*. bak ", u"readme.bak"},
      {u"readme.txt", u" *.bak", u" eadme.bak"},
      {u"readme.", u"*.*", u"readme"},
      {u"readme.txt", u"*.*.*", u"readme.txt"},
  };
  FileWorks files;
  for (const Row& row : rows) {
    EXPECT_EQ(files.GetTargetName(row.file, row.pattern), row.target)
        << "FileName: [" << Narrow(row.file) << "] Pattern: [" << Narrow(row.pattern) << "]";
  }
}

TEST(TargetNameTest, LongPatternsOverflow) {
  FileWorks files;
  const std::u16string questions(32766, u'?');
  EXPECT_EQ(files.GetTargetName(u"ab.c", questions + u".*"), u"ab.c");
  EXPECT_RAISES(6, files.GetTargetName(u"ab.c", questions + u"?.*"));
  EXPECT_RAISES(6, files.GetTargetName(std::u16string(32767, u'x') + u".c", u"*.*"));
  EXPECT_EQ(files.GetTargetName(u"a.c", std::u16string(40000, u'x')), std::u16string(40000, u'x'));
}

}  // namespace
}  // namespace quorvane
