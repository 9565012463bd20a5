// Path members against std::filesystem::path doing the nearest job and against
// one memchr/memrchr pass over the same text, on a 40-unit and a 32,000-unit
// path. Reported as Lib/X/N against Base:filesystem/X/N and Base:memchr/X/N.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "fileworks/fileworks.h"

namespace quorvane {
namespace {

std::u16string WindowsPath(std::size_t length) {
  std::u16string path = u"C:\\Program Files\\Vendor\\";
  while (path.size() + 12 < length) path += u"directory\\";
  path.resize(length - 8, u'x');
  return path + u"\\app.exe";
}

std::string PosixPath(const std::u16string& windows) {
  std::string path(windows.begin(), windows.end());
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// The last unit `unit` in `text` by one backward pass over its bytes.
const void* LastByte(const std::u16string& text, char unit) {
  return ::memrchr(text.data(), unit, text.size() * sizeof(char16_t));
}

void Lib_GetFile(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  FileWorks files;
  for (auto _ : state) benchmark::DoNotOptimize(files.GetFile(path));
}
void Filesystem_GetFile(benchmark::State& state) {
  const std::filesystem::path path(
      PosixPath(WindowsPath(static_cast<std::size_t>(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(path.filename());
}
void Memchr_GetFile(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(LastByte(path, '\\'));
}

void Lib_GetPath(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  FileWorks files;
  for (auto _ : state) benchmark::DoNotOptimize(files.GetPath(path));
}
void Filesystem_GetPath(benchmark::State& state) {
  const std::filesystem::path path(
      PosixPath(WindowsPath(static_cast<std::size_t>(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(path.parent_path());
}

void Lib_GetExt(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  FileWorks files;
  for (auto _ : state) benchmark::DoNotOptimize(files.GetExt(files.GetFile(path)));
}
void Filesystem_GetExt(benchmark::State& state) {
  const std::filesystem::path path(
      PosixPath(WindowsPath(static_cast<std::size_t>(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(path.extension());
}
void Memchr_GetExt(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(LastByte(path, '.'));
}

void Lib_GetDrive(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  FileWorks files;
  for (auto _ : state) benchmark::DoNotOptimize(files.GetDrive(path));
}
void Filesystem_GetDrive(benchmark::State& state) {
  const std::filesystem::path path(
      PosixPath(WindowsPath(static_cast<std::size_t>(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(path.root_path());
}
void Memchr_GetDrive(benchmark::State& state) {
  const std::u16string path = WindowsPath(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memchr(path.data(), ':', path.size() * sizeof(char16_t)));
  }
}

void Register(const char* name, void (*function)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name, function)->Arg(40)->Arg(32000);
}

const bool registered = [] {
  Register("Lib/GetFile", Lib_GetFile);
  Register("Base:filesystem/GetFile", Filesystem_GetFile);
  Register("Base:memchr/GetFile", Memchr_GetFile);
  Register("Lib/GetPath", Lib_GetPath);
  Register("Base:filesystem/GetPath", Filesystem_GetPath);
  Register("Base:memchr/GetPath", Memchr_GetFile);
  Register("Lib/GetExt", Lib_GetExt);
  Register("Base:filesystem/GetExt", Filesystem_GetExt);
  Register("Base:memchr/GetExt", Memchr_GetExt);
  Register("Lib/GetDrive", Lib_GetDrive);
  Register("Base:filesystem/GetDrive", Filesystem_GetDrive);
  Register("Base:memchr/GetDrive", Memchr_GetDrive);
  return true;
}();

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
