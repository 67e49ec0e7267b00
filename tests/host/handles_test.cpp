// The live-handle tables: what a module may release and use, what it is refused, and that
// lock-free lookups stay right while the table grows and shrinks beside them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/console.h"
#include "core/handles.h"

namespace {

using host::HandleTable;
using ::testing::HasSubstr;

class HandleTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Console().SetEcho(false);
    host::Console().Clear();
  }
  void TearDown() override { host::Console().SetEcho(true); }

  // Distinct, aligned fake handles: the table never dereferences them.
  static const void* H(uintptr_t i) { return reinterpret_cast<const void*>(0x10000 + i * 16); }
};

TEST_F(HandleTableTest, ReleaseOnceOnlyAndLentHandlesStayWithTheHost) {
  HandleTable table("bitmap");
  table.Add(H(1));
  table.Add(H(2), /*lent=*/true);
  table.Add(H(1));  // entered twice: still one entry
  EXPECT_EQ(2, table.Size());

  EXPECT_TRUE(table.TakeForRelease(H(1), "BitmapFree"));
  EXPECT_FALSE(table.Contains(H(1)));
  EXPECT_FALSE(table.TakeForRelease(H(1), "BitmapFree")) << "a second release";
  EXPECT_FALSE(table.TakeForRelease(H(2), "BitmapFree")) << "a lent handle";
  EXPECT_TRUE(table.Contains(H(2))) << "the refused release leaves it live";
  EXPECT_FALSE(table.TakeForRelease(reinterpret_cast<const char*>(H(2)) + 8, "BitmapFree")) << "inside an entry";
  EXPECT_FALSE(table.Check(nullptr, "BitmapGetWidth"));
  EXPECT_TRUE(table.Check(H(2), "BitmapGetWidth"));

  const std::vector<std::string> lines = host::Console().Lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_THAT(lines[0], HasSubstr("BitmapFree with bitmap 0x10010: not a live handle"));
  EXPECT_THAT(lines[1], HasSubstr("not the caller's to release; refused"));
  EXPECT_EQ(4, table.Refusals());

  table.Remove(H(2));  // the host's own teardown of a lent handle
  EXPECT_FALSE(table.IsLent(H(2)));
  EXPECT_EQ(0, table.Size());
}

TEST_F(HandleTableTest, RefusalsFallSilentAfterTwentyWithOneLineSayingSo) {
  HandleTable table("resource");
  for (int i = 0; i < 100; ++i) table.Check(H(i), "LoadString");
  const std::vector<std::string> lines = host::Console().Lines();
  ASSERT_EQ(21u, lines.size());
  EXPECT_THAT(lines.back(), HasSubstr("further refused calls with a resource are not reported"));
  EXPECT_EQ(100, table.Refusals());
}

TEST_F(HandleTableTest, GrowthAndChurnKeepEveryLiveHandleAndFreeOldArrays) {
  HandleTable table("memory block");
  // Many live at once: the array grows several times.
  for (uintptr_t i = 1; i <= 5000; ++i) table.Add(H(i));
  for (uintptr_t i = 1; i <= 5000; i += 2) table.Remove(H(i));
  EXPECT_EQ(2500, table.Size());
  for (uintptr_t i = 1; i <= 5000; ++i) ASSERT_EQ(i % 2 == 0, table.Contains(H(i))) << i;
  // A long session's churn: allocations that die at once, over and over.
  for (uintptr_t round = 0; round < 200000; ++round) {
    table.Add(H(100000 + round));
    table.Remove(H(100000 + round));
  }
  EXPECT_EQ(2500, table.Size());
  EXPECT_EQ(0u, table.RetiredArrays()) << "replaced arrays are freed when no lookup is under way";
  for (uintptr_t i = 2; i <= 5000; i += 2) ASSERT_TRUE(table.Contains(H(i))) << i;
}

TEST_F(HandleTableTest, LookupsOnOtherThreadsSeeLiveHandlesWhileTheTableChanges) {
  HandleTable table("string");
  for (uintptr_t i = 1; i <= 64; ++i) table.Add(H(i));  // live throughout
  std::atomic<bool> stop{false};
  std::atomic<int64_t> missed{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed))
        for (uintptr_t i = 1; i <= 64; ++i)
          if (!table.Contains(H(i))) missed.fetch_add(1);
    });
  }
  // Grows, then churns out tombstones, so the array is replaced many times under the readers.
  for (uintptr_t i = 1000; i < 40000; ++i) table.Add(H(i));
  for (uintptr_t i = 1000; i < 40000; ++i) table.Remove(H(i));
  for (uintptr_t i = 0; i < 100000; ++i) {
    table.Add(H(50000 + i));
    table.Remove(H(50000 + i));
  }
  stop = true;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(0, missed.load());
  EXPECT_EQ(64, table.Size());
}

}  // namespace
