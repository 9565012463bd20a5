// Path members on a 32,000-unit path against the same members on a 40-unit
// one: members that look for a last separator search from the end, so their
// cost follows the distance from the end, not the length. Reported as Lib/X/32000 against
// Base:40-unit/X/32000 and Base:copy/GetPath/32000.
#include <benchmark/benchmark.h>

#include <string>

#include <quorvane/fileworks/fileworks.h>

namespace quorvane {
namespace {

constexpr std::size_t kLong = 32000;
constexpr std::size_t kShort = 40;

std::u16string WindowsPath(std::size_t length) {
  std::u16string path = u"C:\\Program Files\\Vendor\\";
  while (path.size() + 12 < length) path += u"directory\\";
  path.resize(length - 8, u'x');
  return path + u"\\app.exe";
}

using Member = std::u16string (*)(FileWorks&, const std::u16string&);

const std::pair<const char*, Member> kMembers[] = {
    {"GetFile", [](FileWorks& files, const std::u16string& path) { return files.GetFile(path); }},
    {"GetFileLessExt",
     [](FileWorks& files, const std::u16string& path) { return files.GetFileLessExt(path); }},
    {"GetExt", [](FileWorks& files,
                  const std::u16string& path) { return files.GetExt(files.GetFile(path)); }},
};

// Members whose result is most of the path: their floor is making it.
const std::pair<const char*, Member> kCopyingMembers[] = {
    {"RemoveSlash",
     [](FileWorks& files, const std::u16string& path) { return files.RemoveSlash(path); }},
    {"GetPath", [](FileWorks& files, const std::u16string& path) { return files.GetPath(path); }},
};

// The path each member is given: RemoveSlash gets one that ends in "\".
std::u16string InputFor(const char* name, std::size_t length) {
  return std::string(name) == "RemoveSlash" ? WindowsPath(length) + u"\\" : WindowsPath(length);
}

void Run(benchmark::State& state, const char* name, Member member, std::size_t length) {
  const std::u16string path = InputFor(name, length);
  FileWorks files;
  for (auto _ : state) benchmark::DoNotOptimize(member(files, path));
}

void RegisterLong(const char* name, Member member) {
  benchmark::RegisterBenchmark(
      (std::string("Lib/") + name + "/32000").c_str(),
      [name, member](benchmark::State& state) { Run(state, name, member, kLong); });
}

const bool registered = [] {
  for (const auto& [name, member] : kMembers) {
    RegisterLong(name, member);
    benchmark::RegisterBenchmark((std::string("Base:40-unit/") + name + "/32000").c_str(),
                                 [name = name, member = member](benchmark::State& state) {
                                   Run(state, name, member, kShort);
                                 });
  }
  for (const auto& [name, member] : kCopyingMembers) {
    RegisterLong(name, member);
    benchmark::RegisterBenchmark((std::string("Base:copy/") + name + "/32000").c_str(),
                                 [name = name, member = member](benchmark::State& state) {
                                   // A copy as long as the member's result.
                                   const std::u16string path = InputFor(name, kLong);
                                   FileWorks files;
                                   const std::size_t length = member(files, path).size();
                                   for (auto _ : state) {
                                     benchmark::DoNotOptimize(path.substr(0, length));
                                   }
                                 });
  }
  return true;
}();

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
