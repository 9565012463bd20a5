#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quorvane/fileworks/fileworks.h>
#include "tests/support/test_support.h"

namespace quorvane {
namespace {

using testing_support::Narrow;

TEST(FileWorksDrivesTest, DrivesAndVolumes) {
  struct Row {
    std::u16string path, drive, rest, checked;
  };
  const Row rows[] = {
      {u"C:\\dir\\file", u"C:", u"\\dir\\file", u"C:\\dir\\file"},
      {u"C:", u"C:", u"", u"C:"},
      {u"c:file", u"c:", u"file", u"c:file"},
      {u"abc:def", u"abc:", u"def", u"\\\\abc:def"},
      {u"\\\\server\\share\\dir\\file", u"\\\\server\\share\\", u"dir\\file",
       u"\\\\server\\share\\dir\\file"},
      {u"\\\\server\\share\\", u"\\\\server\\share\\", u"", u"\\\\server\\share\\"},
      {u"\\\\server\\share", u"\\\\server\\", u"share", u"\\\\server\\share"},
      {u"\\\\server\\", u"\\\\server\\", u"", u"\\\\server\\"},
      {u"\\\\server", u"", u"\\\\server", u"\\\\server"},
      {u"\\\\ab", u"", u"\\\\ab", u"\\\\ab"},
      {u"\\\\server\\C:\\x", u"\\\\server\\C:", u"\\x", u"\\\\server\\C:\\x"},
      {u"dir\\file", u"", u"dir\\file", u"\\\\dir\\file"},
      {u"\\dir\\file", u"", u"\\dir\\file", u"\\\\\\dir\\file"},
      {u"\\", u"", u"\\", u"\\\\\\"},
      {u":", u":", u"", u"\\\\:"},
      {u"", u"", u"", u"\\\\"},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("argument: [" + Narrow(row.path) + "]");
    EXPECT_EQ(files.GetDrive(row.path), row.drive);
    EXPECT_EQ(files.RemoveDriveOrVol(row.path), row.rest);
    EXPECT_EQ(files.CheckForDrive(row.path), row.checked);
  }
}

TEST(FileWorksDrivesTest, RootOfADriveEntry) {
  struct Row {
    std::u16string entry, root;
  };
  const Row rows[] = {
      {u"c: [SYSTEM]", u"c:\\"},
      {u"h: [\\\\server\\share]", u"h:\\"},
      {u"C:", u"C:\\"},
      {u"C:\\", u"C:\\"},
      {u"  d:  ", u"d:\\"},
      {u"\\\\server\\share", u"\\\\server\\share\\"},
      {u"[x]", u""},
      {u"x", u"x\\"},
      {u"", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    Variant entry = row.entry;
    EXPECT_EQ(files.GetRootDrive(entry), row.root) << Narrow(row.entry);
    EXPECT_EQ(entry, Variant(row.entry)) << "only read";
  }
}

TEST(FileWorksDrivesTest, MachineNameRewritesItsArgument) {
  struct Row {
    std::u16string path, name, after;
  };
  const Row rows[] = {
      {u"\\\\server\\share\\dir", u"server", u"server"},
      {u"\\\\server", u"server", u"server"},
      {u"\\server\\share", u"server", u"server"},
      {u"server\\share", u"server", u"server"},
      {u"C:\\dir", u"C:", u"C:"},
      {u"\\\\ srv \\x", u"srv", u"srv "},
      {u" server ", u"server", u" server "},
      {u"\\\\\\\\server", u"", u""},
      {u"\\\\", u"", u""},
      {u"", u"", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("psvPath: [" + Narrow(row.path) + "]");
    Variant path = row.path;
    EXPECT_EQ(files.GetMachineName(path), row.name);
    EXPECT_EQ(path, Variant(row.after));
  }
  Variant empty;
  EXPECT_EQ(files.GetMachineName(empty), u"");
  EXPECT_TRUE(empty.IsEmpty()) << "untouched when nothing applies";
}

TEST(FileWorksDrivesTest, ServerSlashes) {
  struct Row {
    std::u16string name, added, removed;
  };
  const Row rows[] = {
      {u"server", u"\\\\server", u"server"},
      {u"\\\\server", u"\\\\server", u"server"},
      {u"\\server", u"\\\\\\server", u"\\server"},
      {u"s", u"\\\\s", u"s"},
      {u"\\", u"\\\\\\", u"\\"},
      {u"\\\\ server ", u"\\\\ server ", u"server"},
      {u"\\\\", u"\\\\", u""},
      {u"", u"", u""},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("argument: [" + Narrow(row.name) + "]");
    EXPECT_EQ(files.AddServerSlashes(row.name), row.added);
    std::u16string unc = row.name;
    EXPECT_EQ(files.RemoveServerSlashes(unc), row.removed);
    EXPECT_EQ(unc, row.removed);
  }
}

TEST(FileWorksDrivesTest, RemoveServerRewritesItsArgument) {
  struct Row {
    std::u16string path, result, after;
  };
  const Row rows[] = {
      {u"\\\\server\\share\\dir", u"share\\dir", u"server\\share\\dir"},
      {u"\\\\server\\share", u"share", u"server\\share"},
      {u"\\\\server\\", u"", u"server\\"},
      {u"\\\\server", u"\\\\server", u"server"},
      {u"\\\\x", u"\\\\x", u"x"},
      {u"\\\\ server \\ share ", u"share", u"server \\ share"},
      {u"C:\\dir", u"C:\\dir", u"C:\\dir"},
      {u"\\\\", u"\\\\", u"\\\\"},
  };
  FileWorks files;
  for (const Row& row : rows) {
    SCOPED_TRACE("pvPathName: [" + Narrow(row.path) + "]");
    Variant path = row.path;
    EXPECT_EQ(files.RemoveServer(path), Variant(row.result));
    EXPECT_EQ(path, Variant(row.after));
  }
  Variant number = std::int32_t{123};
  EXPECT_EQ(files.RemoveServer(number), Variant(std::int32_t{123}));
  EXPECT_EQ(number, Variant(std::int32_t{123}));
  Variant null = Variant::Null();
  EXPECT_TRUE(files.RemoveServer(null).IsNull());
  EXPECT_TRUE(null.IsNull());
}

TEST(FileWorksDrivesTest, NullAndEmptyVariants) {
  FileWorks files;
  Variant null = Variant::Null();
  EXPECT_RAISES(94, files.GetRootDrive(null));
  EXPECT_RAISES(94, files.GetMachineName(null));
  EXPECT_RAISES(94, files.RemoveDriveOrVol(null));
  Variant empty;
  EXPECT_EQ(files.GetRootDrive(empty), u"");
  EXPECT_EQ(files.RemoveDriveOrVol(empty), u"");
  EXPECT_EQ(files.RemoveDriveOrVol(std::int32_t{42}), u"42");
}

TEST(FileWorksDrivesTest, PositionsBeyond32767Overflow) {
  FileWorks files;
  const std::u16string far(32767, u'x');
  EXPECT_RAISES(6, files.GetDrive(far + u":"));
  EXPECT_EQ(files.GetDrive(std::u16string(32766, u'x') + u":"), std::u16string(32766, u'x') + u":");
  EXPECT_RAISES(6, files.GetDrive(u"\\\\" + std::u16string(32764, u's') + u"\\share"))
      << "the server ends at 32767";
  EXPECT_EQ(files.GetDrive(u"\\\\" + std::u16string(32763, u's') + u"\\share"),
            u"\\\\" + std::u16string(32763, u's') + u"\\");
  EXPECT_RAISES(6, files.GetRootDrive(far + u"["));
  Variant path = far + u"\\";
  EXPECT_RAISES(6, files.GetMachineName(path));
  Variant unc = u"\\\\" + std::u16string(32766, u's') + u"\\x";
  EXPECT_RAISES(6, files.RemoveServer(unc));
  EXPECT_EQ(unc, Variant(std::u16string(32766, u's') + u"\\x")) << "rewritten before the failure";
  EXPECT_EQ(files.CheckForDrive(far), u"\\\\" + far);
}

TEST(FileWorksDrivesTest, DriveAndRemainderJoinToTheArgument) {
  // Built from the pieces that matter to the drive and volume rules.
  const std::u16string pieces[] = {u"",    u"\\", u"\\\\", u":", u"C:",
                                   u"srv", u"x",  u" ",    u".", u"\\\\s\\t\\"};
  FileWorks files;
  int checked = 0;
  for (const std::u16string& a : pieces) {
    for (const std::u16string& b : pieces) {
      for (const std::u16string& c : pieces) {
        for (const std::u16string& d : pieces) {
          const std::u16string path = a + b + c + d;
          EXPECT_EQ(files.GetDrive(path) + files.RemoveDriveOrVol(path), path) << Narrow(path);
          ++checked;
        }
      }
    }
  }
  EXPECT_EQ(checked, 10000);
}

}  // namespace
}  // namespace quorvane
