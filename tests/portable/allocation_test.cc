// Heap allocations on the registry's call path, counted by replacing the
// global allocation functions in this test program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <quorvane/platform/platform.h>
#include <quorvane/platform/portable/test_controls.h>

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace quorvane::platform {
namespace {

using portable::TestControls;

template <typename Calls>
long AllocationsOf(Calls calls) {
  calls();  // once first, so that buffers reused from call to call have grown
  const long before = allocations.load();
  calls();
  return allocations.load() - before;
}

TEST(AllocationTest, AnOpenAndCloseMakeAtMostTwoAllocations) {
  TestControls::ResetRegistry();
  HKEY created = 0;
  ASSERT_EQ(RegCreateKeyA(kHkeyCurrentUser, "Software\\QvAllocation\\A longer key name", &created),
            kErrorSuccess);
  RegCloseKey(created);
  for (HKEY root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    const char* path = root == kHkeyCurrentUser ? "Software\\QvAllocation\\A longer key name"
                                                : "Software\\Classes";
    const long counted = AllocationsOf([&] {
      HKEY key = 0;
      ASSERT_EQ(RegOpenKeyExA(root, path, 0, kKeyRead, &key), kErrorSuccess);
      ASSERT_EQ(RegCloseKey(key), kErrorSuccess);
    });
    EXPECT_LE(counted, 2) << path;
  }
  const long wide = AllocationsOf([] {
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExW(kHkeyCurrentUser, u"Software\\QvAllocation\\A longer key name", 0,
                            kKeyRead, &key),
              kErrorSuccess);
    ASSERT_EQ(RegCloseKey(key), kErrorSuccess);
  });
  EXPECT_LE(wide, 2);
  EXPECT_EQ(TestControls::OpenHandleCount(), 0);
}

}  // namespace
}  // namespace quorvane::platform
