#include "tests/support/stress.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <quorvane/settings/self_register_classes.h>
#include "tests/support/test_support.h"

namespace quorvane::testing_support {

int StressRounds(int fallback) {
  const char* rounds = std::getenv("QV_STRESS_ROUNDS");
  return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : fallback;
}

StressCounts RunRegistryStress(int threads, int rounds) {
  const std::u16string app =
      u"QvStress" +
      Widen(std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ScratchKey scratch;
  std::atomic<int> saved{0};
  std::atomic<int> read_back{0};
  std::atomic<int> failures{0};
  auto key_name = [](int thread, int round) {
    return Widen("t" + std::to_string(thread) + "_" + std::to_string(round));
  };
  std::vector<std::thread> workers;
  for (int thread = 0; thread < threads; ++thread) {
    workers.emplace_back([&, thread] {
      SelfRegisterClasses settings;
      Registry registry;
      const std::u16string own = scratch.Below(Widen("w" + std::to_string(thread)));
      for (int round = 0; round < rounds; ++round) {
        try {
          settings.QvSaveSetting(app, u"Shared", key_name(thread, round), std::int32_t{round});
          ++saved;
          if (settings.QvGetSetting(app, u"Shared", key_name(thread, round), u"lost") ==
              Variant(Widen(std::to_string(round)))) {
            ++read_back;
          }
          registry.CreateKey(scratch.Root(), own + u"\\r" + Widen(std::to_string(round)));
          (void)registry.GetBranchNames(scratch.Root(), own);
          (void)registry.GetBranchNames(kHkeyLocalMachine, u"Software\\Quorvane\\" + app);
          registry.DeleteKey(scratch.Root(), own + u"\\r" + Widen(std::to_string(round)));
        } catch (const ErrorObject&) {
          ++failures;
        }
      }
      try {
        registry.DeleteKey(scratch.Root(), own);
      } catch (const ErrorObject&) {
        ++failures;
      }
    });
  }
  for (std::thread& worker : workers) worker.join();

  StressCounts counts;
  counts.saved = saved;
  counts.read_back = read_back;
  counts.failures = failures;
  SelfRegisterClasses settings;
  for (int thread = 0; thread < threads; ++thread) {
    for (int round = 0; round < rounds; ++round) {
      if (settings.QvGetSetting(app, u"Shared", key_name(thread, round), u"lost") ==
          Variant(Widen(std::to_string(round)))) {
        ++counts.found_at_end;
      }
    }
  }
  DeleteTree(kHkeyLocalMachine, "Software\\Quorvane\\" + Narrow(app));
  return counts;
}

}  // namespace quorvane::testing_support
