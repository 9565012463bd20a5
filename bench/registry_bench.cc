// Each registry and settings operation against the bare platform calls it
// makes, on the same backend and the same keys: the ratio is the library's
// own cost on top of the platform's. Reported as Lib/X against Base:platform/X.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/platform.h"
#include "registry/registry.h"
#include "settings/self_register_classes.h"

namespace quorvane {
namespace {

namespace p = platform;

const std::u16string kBranch = u"Software\\QvBench\\Values";
const char* const kAnsiBranch = "Software\\QvBench\\Values";

void Prepare() {
  static const bool prepared = [] {
    Registry registry;
    registry.CreateKey(kHkeyCurrentUser, kBranch);
    registry.SetValue(kHkeyCurrentUser, kBranch, u"text", kRegSz, u"a value of some length");
    for (int i = 0; i < 10; ++i) {
      registry.CreateKey(kHkeyCurrentUser, kBranch + u"\\child" + std::u16string(1, u'0' + i));
    }
    SelfRegisterClasses().QvSaveSetting(u"QvBench", u"Section", u"Key", u"value");
    return true;
  }();
  (void)prepared;
}

void BM_CreateKey(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state) registry.CreateKey(kHkeyCurrentUser, kBranch);
}
void BM_CreateKey_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY root = 0;
    p::HKEY created = 0;
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
    (void)p::RegCreateKeyA(root, kAnsiBranch, &created);
    p::RegCloseKey(created);
    p::RegCloseKey(root);
  }
}

void BM_SetValue(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state) registry.SetValue(kHkeyCurrentUser, kBranch, u"text", kRegSz, u"a value");
}
void BM_SetValue_Baseline(benchmark::State& state) {
  Prepare();
  const char data[] = "a value";
  for (auto _ : state) {
    p::HKEY key = 0;
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, 0x3F, &key);
    (void)p::RegSetValueExA(key, "text", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>(data),
                            sizeof data);
    p::RegCloseKey(key);
  }
}

void BM_QueryValue(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state)
    benchmark::DoNotOptimize(registry.QueryValue(kHkeyCurrentUser, kBranch, u"text"));
}
void BM_QueryValue_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY key = 0;
    p::DWORD type = 0;
    p::DWORD size = 0;
    char buffer[64];
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, 0x1, &key);
    (void)p::RegQueryValueExA(key, "text", nullptr, &type, nullptr, &size);
    (void)p::RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<p::BYTE*>(buffer),
                              &size);
    p::RegCloseKey(key);
    benchmark::DoNotOptimize(buffer);
  }
}

void BM_QueryType(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state)
    benchmark::DoNotOptimize(registry.QueryType(kHkeyCurrentUser, kBranch, u"text"));
}
void BM_QueryType_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY key = 0;
    p::DWORD type = 0;
    p::DWORD size = 0;
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, p::kKeyRead, &key);
    (void)p::RegQueryValueExA(key, "text", nullptr, &type, nullptr, &size);
    p::RegCloseKey(key);
    benchmark::DoNotOptimize(type);
  }
}

void BM_DeleteValue(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state) {
    registry.SetValue(kHkeyCurrentUser, kBranch, u"gone", kRegSz, u"x");
    registry.DeleteValue(kHkeyCurrentUser, kBranch, u"gone");
  }
}
void BM_DeleteValue_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY key = 0;
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, 0x3F, &key);
    (void)p::RegSetValueExA(key, "gone", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>("x"), 2);
    p::RegCloseKey(key);
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, 0x3F, &key);
    (void)p::RegDeleteValueA(key, "gone");
    p::RegCloseKey(key);
  }
}

void BM_DeleteKey(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state) {
    registry.CreateKey(kHkeyCurrentUser, kBranch + u"\\gone");
    registry.DeleteKey(kHkeyCurrentUser, kBranch + u"\\gone");
  }
}
void BM_DeleteKey_Baseline(benchmark::State& state) {
  Prepare();
  const std::string gone = std::string(kAnsiBranch) + "\\gone";
  for (auto _ : state) {
    p::HKEY root = 0;
    p::HKEY created = 0;
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
    (void)p::RegCreateKeyA(root, gone.c_str(), &created);
    p::RegCloseKey(created);
    p::RegCloseKey(root);
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, "", 0, 0x3F, &root);
    (void)p::RegDeleteKeyA(root, gone.c_str());
    p::RegCloseKey(root);
  }
}

void BM_GetBranchNames(benchmark::State& state) {
  Prepare();
  Registry registry;
  for (auto _ : state) benchmark::DoNotOptimize(registry.GetBranchNames(kHkeyCurrentUser, kBranch));
}
void BM_GetBranchNames_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY key = 0;
    char name[300];
    (void)p::RegOpenKeyExA(kHkeyCurrentUser, kAnsiBranch, 0, p::kKeyRead, &key);
    for (p::DWORD index = 0; p::RegEnumKeyA(key, index, name, sizeof name) == 0; ++index) {
      benchmark::DoNotOptimize(name);
    }
    p::RegCloseKey(key);
  }
}

void BM_QvSaveSetting(benchmark::State& state) {
  Prepare();
  SelfRegisterClasses settings;
  for (auto _ : state) settings.QvSaveSetting(u"QvBench", u"Section", u"Key", u"value");
}
void BM_QvSaveSetting_Baseline(benchmark::State& state) {
  Prepare();
  const char* branch = "Software\\Quorvane\\QvBench\\Section";
  for (auto _ : state) {
    p::HKEY root = 0;
    p::HKEY created = 0;
    (void)p::RegOpenKeyExA(kHkeyLocalMachine, "", 0, 0x3F, &root);
    (void)p::RegCreateKeyA(root, branch, &created);
    p::RegCloseKey(created);
    p::RegCloseKey(root);
    p::HKEY key = 0;
    (void)p::RegOpenKeyExA(kHkeyLocalMachine, branch, 0, 0x3F, &key);
    (void)p::RegSetValueExA(key, "Key", 0, p::kRegSz, reinterpret_cast<const p::BYTE*>("value"), 6);
    p::RegCloseKey(key);
  }
}

void BM_QvGetSetting(benchmark::State& state) {
  Prepare();
  SelfRegisterClasses settings;
  for (auto _ : state) {
    benchmark::DoNotOptimize(settings.QvGetSetting(u"QvBench", u"Section", u"Key", u"default"));
  }
}
void BM_QvGetSetting_Baseline(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    p::HKEY key = 0;
    p::DWORD type = 0;
    p::DWORD size = 0;
    char buffer[64];
    (void)p::RegOpenKeyExA(kHkeyLocalMachine, "Software\\Quorvane\\QvBench\\Section", 0, 0x1, &key);
    (void)p::RegQueryValueExA(key, "Key", nullptr, &type, nullptr, &size);
    (void)p::RegQueryValueExA(key, "Key", nullptr, &type, reinterpret_cast<p::BYTE*>(buffer),
                              &size);
    p::RegCloseKey(key);
    benchmark::DoNotOptimize(buffer);
  }
}

BENCHMARK(BM_CreateKey)->Name("Lib/CreateKey");
BENCHMARK(BM_CreateKey_Baseline)->Name("Base:platform/CreateKey");
BENCHMARK(BM_SetValue)->Name("Lib/SetValue");
BENCHMARK(BM_SetValue_Baseline)->Name("Base:platform/SetValue");
BENCHMARK(BM_QueryValue)->Name("Lib/QueryValue");
BENCHMARK(BM_QueryValue_Baseline)->Name("Base:platform/QueryValue");
BENCHMARK(BM_QueryType)->Name("Lib/QueryType");
BENCHMARK(BM_QueryType_Baseline)->Name("Base:platform/QueryType");
BENCHMARK(BM_DeleteValue)->Name("Lib/DeleteValue");
BENCHMARK(BM_DeleteValue_Baseline)->Name("Base:platform/DeleteValue");
BENCHMARK(BM_DeleteKey)->Name("Lib/DeleteKey");
BENCHMARK(BM_DeleteKey_Baseline)->Name("Base:platform/DeleteKey");
BENCHMARK(BM_GetBranchNames)->Name("Lib/GetBranchNames");
BENCHMARK(BM_GetBranchNames_Baseline)->Name("Base:platform/GetBranchNames");
BENCHMARK(BM_QvSaveSetting)->Name("Lib/QvSaveSetting");
BENCHMARK(BM_QvSaveSetting_Baseline)->Name("Base:platform/QvSaveSetting");
BENCHMARK(BM_QvGetSetting)->Name("Lib/QvGetSetting");
BENCHMARK(BM_QvGetSetting_Baseline)->Name("Base:platform/QvGetSetting");

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
