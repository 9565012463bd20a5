// A Wine prefix's registry as the store: what a change writes, links, a
// 32-bit prefix, another writer and a wrong index, and damaged files refused
// with their line and left as they are.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/store/wine/wine_file.h>
#include <quorvane/platform/portable/store/wine/wine_store.h>
#include <quorvane/platform/portable/test_controls.h>
#include <quorvane/platform/portable/text/name_folding.h>
#include "tests/portable/wine/wine_files_written.h"

namespace quorvane {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::portable::StoredValue;
using platform::portable::TestControls;
using platform::portable::WineFile;
using platform::portable::WineStore;
using wine_test::kWineWrote;
using wine_test::ReadAll;

class WineStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = std::filesystem::temp_directory_path() /
              ("qv-wine-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(prefix_);
    std::filesystem::create_directories(prefix_);
  }
  void TearDown() override {
    TestControls::ResetRegistry();
    std::filesystem::remove_all(prefix_);
  }
  void Use() const {
    TestControls::UseRegistryStore(std::make_unique<WineStore>(prefix_.string()));
  }
  static platform::LONG SetText(const char* path, const char* name, const std::string& text) {
    HKEY key = 0;
    platform::LONG result = platform::RegCreateKeyA(platform::kHkeyCurrentUser, path, &key);
    if (result != 0) return result;
    result = platform::RegSetValueExA(key, name, 0, platform::kRegSz,
                                      reinterpret_cast<const unsigned char*>(text.c_str()),
                                      static_cast<DWORD>(text.size() + 1));
    platform::RegCloseKey(key);
    return result;
  }
  static std::string GetText(HKEY key, const char* name) {
    char data[64] = "(none)";
    DWORD size = sizeof data;
    (void)platform::RegQueryValueExA(key, name, nullptr, nullptr,
                                     reinterpret_cast<unsigned char*>(data), &size);
    return data;
  }
  std::filesystem::path prefix_;
};

// A write replaces the file whole; every section it did not touch stays as
// Wine wrote it, and a process that opens the prefix afterwards reads the
// change.
TEST_F(WineStoreTest, AWriteKeepsWhatItDidNotTouchAndALaterProcessReadsIt) {
  std::ofstream(prefix_ / "user.reg", std::ios::binary) << kWineWrote;
  Use();
  ASSERT_EQ(SetText("Software\\QvNew", "made", "by qv"), 0);
  const std::string written = ReadAll(prefix_ / "user.reg");
  EXPECT_NE(written.find("[Software\\\\QvNew] "), std::string::npos);
  EXPECT_NE(written.find("\"made\"=\"by qv\"\n"), std::string::npos);
  WineFile before;
  std::string error;
  ASSERT_TRUE(WineFile::Parse(kWineWrote, &before, &error));
  for (const WineFile::Section& section : before.sections) {
    const std::string text = kWineWrote.substr(section.offset, section.length);
    EXPECT_NE(written.find(text), std::string::npos) << "changed: " << text;
  }
  Use();  // as a process that starts afresh
  HKEY key = 0;
  ASSERT_EQ(platform::RegOpenKeyExA(platform::kHkeyCurrentUser, "Software\\QvNew", 0,
                                    platform::kKeyQueryValue, &key),
            0);
  EXPECT_EQ(GetText(key, "made"), "by qv");
  platform::RegCloseKey(key);
}

// A system.reg as Wine 8 makes it, in little: CurrentControlSet is a link to
// ControlSet001.
std::string MachineFile(const char* arch) {
  return std::string("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n") +
         "#arch=" + arch +
         "\n\n[System\\\\ControlSet001\\\\Control] 1796915969\n#time=1dd88b9d9f2083c\n"
         "\"Where\"=\"set 1\"\n"
         "\n[System\\\\CurrentControlSet] 1796915969\n#time=1dd88b9d9f2083c\n#link\n"
         "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,\\\n"
         "  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,\\\n"
         "  74,00,65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,\\\n"
         "  00,74,00,30,00,30,00,31,00\n"
         "\n[Software\\\\Plain] 1796915969\n#time=1dd88b9d9f2083c\n\"Where\"=\"software\"\n";
}

// A link key is the key it names, for reads and for keys made below it, and
// its section is written back as Wine wrote it.
TEST_F(WineStoreTest, ALinkKeyIsTheKeyItNames) {
  const std::string wrote = MachineFile("win64");
  std::ofstream(prefix_ / "system.reg", std::ios::binary) << wrote;
  Use();
  HKEY key = 0;
  ASSERT_EQ(
      platform::RegOpenKeyExA(platform::kHkeyLocalMachine, "System\\CurrentControlSet\\Control", 0,
                              platform::kKeyAllAccess, &key),
      0);
  EXPECT_EQ(GetText(key, "Where"), "set 1");
  HKEY made = 0;
  ASSERT_EQ(platform::RegCreateKeyA(key, "Made", &made), 0);
  platform::RegCloseKey(made);
  platform::RegCloseKey(key);
  const std::string written = ReadAll(prefix_ / "system.reg");
  EXPECT_NE(written.find("[System\\\\ControlSet001\\\\Control\\\\Made] "), std::string::npos);
  EXPECT_EQ(written.find("[System\\\\CurrentControlSet\\\\"), std::string::npos);
  const std::size_t link = wrote.find("[System\\\\CurrentControlSet]");
  EXPECT_NE(written.find(wrote.substr(link, wrote.find("\n\n", link) - link)), std::string::npos);
}

// A 32-bit process sees HKLM\Software through Wow6432Node on a 64-bit
// prefix, and as it is on a 32-bit one.
TEST_F(WineStoreTest, APrefixOf32BitWindowsRedirectsNothing) {
  for (const char* arch : {"win64", "win32"}) {
    SCOPED_TRACE(arch);
    std::ofstream(prefix_ / "system.reg", std::ios::binary | std::ios::trunc) << MachineFile(arch);
    Use();
    TestControls::SetProcessIs32Bit(true);
    HKEY key = 0;
    const platform::LONG opened = platform::RegOpenKeyExA(
        platform::kHkeyLocalMachine, "Software\\Plain", 0, platform::kKeyQueryValue, &key);
    EXPECT_EQ(opened, std::string(arch) == "win32" ? 0 : platform::kErrorFileNotFound);
    if (opened == 0) platform::RegCloseKey(key);
    TestControls::ResetRegistry();
  }
}

// The key below the current user's root, or 0.
platform::portable::KeyId UserKey(WineStore& store, const std::u16string& path) {
  using platform::portable::NameFolding;
  std::optional<platform::portable::KeyId> key =
      store.FindSubkey(store.Root(u"", platform::kHkeyUsers), u"S-1-5-21-0-0-0-1000");
  std::size_t start = 0;
  while (key && start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    key = store.FindSubkey(*key, NameFolding::Fold(path.substr(start, end - start)));
    start = end + 1;
  }
  return key ? *key : 0;
}

std::string TextOf(WineStore& store, const std::u16string& path, const std::u16string& name) {
  store.Begin(false);
  try {
    const platform::portable::KeyId key = UserKey(store, path);
    const StoredValue* value = key == 0 ? nullptr : store.GetValue(key, name);
    std::string text = value == nullptr ? "(none)" : value->data;
    store.Commit();
    return text;
  } catch (const platform::portable::StoreFailure& failure) {
    store.Rollback();
    return "failed with " + std::to_string(failure.code);
  }
}

// A process that has the prefix open sees another process's write at its
// next call, and a file Wine replaced within a few milliseconds.
TEST_F(WineStoreTest, AnotherWriterIsSeenByAProcessThatHasThePrefixOpen) {
  std::ofstream(prefix_ / "user.reg", std::ios::binary) << kWineWrote;
  WineStore reader(prefix_.string());
  WineStore writer(prefix_.string());
  EXPECT_EQ(TextOf(reader, u"Software\\QvFmt", u"SZ"),
            std::string("p\0l\0a\0i\0n\0 \0t\0e\0x\0t\0\0\0", 22));
  writer.Begin(true);
  const platform::portable::KeyId key = UserKey(writer, u"Software\\QvFmt");
  ASSERT_NE(key, 0);
  writer.SetValue(key, u"SZ", StoredValue{u"sz", platform::kRegBinary, "ours"});
  writer.Commit();
  EXPECT_EQ(TextOf(reader, u"Software\\QvFmt", u"SZ"), "ours");

  // Wine writes its files beside and renames them into place.
  const std::string wine_wrote =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
      "\n#arch=win64\n\n[Software\\\\QvFmt] 1796915987\n#time=1dd88b9e49f1b1c\n\"sz\"=hex:77\n";
  std::ofstream(prefix_ / "user.reg.new", std::ios::binary) << wine_wrote;
  std::filesystem::rename(prefix_ / "user.reg.new", prefix_ / "user.reg");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(TextOf(reader, u"Software\\QvFmt", u"SZ"), "w");
  EXPECT_EQ(TextOf(reader, u"Software\\QvEsc", u"BE"), "(none)");
}

// An index that names other lines for a key than the file holds (here one
// line short) is found out at the first read of that key, and the next
// call reads the whole file again and answers right.
TEST_F(WineStoreTest, AWrongIndexIsFoundOutAndMadeAgain) {
  std::ofstream(prefix_ / "user.reg", std::ios::binary) << kWineWrote;
  { WineStore first(prefix_.string()); }  // makes the index
  const std::filesystem::path index = prefix_ / ".user.reg.qv-index";
  std::istringstream lines(ReadAll(index));
  std::string wrong;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("[Software\\\\QvEsc2]") != std::string::npos) {
      unsigned long long offset = 0;
      unsigned long long length = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "%llu %llu", &offset, &length), 2);
      const std::string numbers = std::to_string(offset) + " " + std::to_string(length);
      line.replace(0, numbers.size(), std::to_string(offset) + " " + std::to_string(length - 9));
    }
    wrong += line + "\n";
  }
  std::ofstream(index, std::ios::binary | std::ios::trunc) << wrong;
  WineStore reader(prefix_.string());
  EXPECT_EQ(TextOf(reader, u"Software\\QvEsc2", u"Z9"), "failed with 1009");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(TextOf(reader, u"Software\\QvEsc2", u"Z9"), std::string("\0\0"
                                                                    "9\0\0\0",
                                                                    6));
}

// Damage a reader of Wine's files would not take: refused with the line,
// every call failing with 1009, and nothing written.
TEST_F(WineStoreTest, ADamagedFileIsRefusedWithItsLineAndLeftAsItIs) {
  const std::string header =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
  const std::tuple<const char*, std::string, const char*> damaged[] = {
      {"a truncated line", header + "\n[Software\\\\A] 1\n\"v\"=\"no end\n", "line 6"},
      {"a bad escape", header + "\n[Software\\\\A] 1\n\"v\"=\"\\x\"\n", "line 6"},
      {"a missing ]", header + "\n[Software\\\\A 1\n\"v\"=dword:00000001\n", "line 5"},
      {"hex that is not hex", header + "\n[Software\\\\A] 1\n\"v\"=hex:0g\n", "line 6"},
  };
  for (const auto& [what, text, line] : damaged) {
    SCOPED_TRACE(what);
    std::ofstream(prefix_ / "system.reg", std::ios::binary | std::ios::trunc) << text;
    Use();
    HKEY key = 0;
    EXPECT_EQ(platform::RegCreateKeyA(platform::kHkeyLocalMachine, "Software\\B", &key),
              platform::kErrorBadDbDatabase);
    std::string report;
    EXPECT_EQ(platform::CheckRegistryStore(&report), platform::kErrorBadDbDatabase);
    EXPECT_NE(report.find(line), std::string::npos) << report;
    TestControls::ResetRegistry();
    EXPECT_EQ(ReadAll(prefix_ / "system.reg"), text);
  }
}

}  // namespace
}  // namespace quorvane
