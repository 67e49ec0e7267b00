// host_services_test.cpp - a Host owns the process state: a second Host after the first
// starts from clean state, and the suites work on the detached services without a Host.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/customdata.h"
#include "core/host.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/scene.h"
#include "core/services.h"
#include "interface/host_interface.h"
#include "resources/resources.h"

namespace {

const std::string kIcons = CORVANE_TEST_DATA "/images/gradient_40x36.png";

class HostServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Console().SetEcho(false); }
  void TearDown() override { host::Console().SetEcho(true); }
  const C4DHostInterface* api = host::Interface();
};

TEST_F(HostServicesTest, SecondHostStartsClean) {
  {
    host::Host first;
    EXPECT_EQ(&first.Services(), &host::Services());
    void* block = api->memory->Alloc(64, 16);
    ASSERT_NE(nullptr, block);
    host::FailNextAllocations(3);
    host::FailModuleAllocation(7);
    host::FailNextBitmapAlloc(2);
    host::FailNextGradientAllocs(2);
    host::JournalModuleAllocations(true);
    host::SetStartupFolder("/tmp");
    host::Document* doc = first.NewDocument("d");
    host::Node* light = doc->CreateObject(host::kTypeLight, "light");
    ASSERT_NE(nullptr, host::AllocRayLight(doc, light));
    host::RecordModuleFault(host::ModuleCall{nullptr, 0, "test"}, "threw");
    host::RegisterIconFromFile(1000001, kIcons, 0, 0, 4, 4, 0);
    EXPECT_GT(host::GetMemoryStats().liveBlocks, 0);
    EXPECT_GT(host::LiveRayLights(), 0);
    EXPECT_TRUE(host::HasModuleFault());
    // A Host does not take a module's blocks with it (the module owns them), so the block
    // goes back here; its counts stay. The render light is left behind: the pool goes with
    // the Host.
    api->memory->Free(block);
    EXPECT_EQ(0, host::GetMemoryStats().liveBlocks);
    EXPECT_GT(host::GetMemoryStats().totalAllocations, 0);
  }
  host::Host second;
  const host::MemoryStats stats = host::GetMemoryStats();
  EXPECT_EQ(0, stats.liveBlocks);
  EXPECT_EQ(0, stats.liveBytes);
  EXPECT_EQ(0, stats.totalAllocations);
  EXPECT_EQ(0, stats.failedAllocations);
  EXPECT_EQ(0, host::ModuleAllocationRequests());
  EXPECT_TRUE(host::ModuleAllocationJournal().empty());
  EXPECT_EQ(0, host::LiveRayLights());
  EXPECT_EQ(0, host::LiveBitmapCount());
  EXPECT_EQ(0, host::LiveResourceCount());
  EXPECT_TRUE(host::ListIcons().empty());
  EXPECT_TRUE(host::Descriptions().Ids().empty());
  EXPECT_FALSE(host::HasModuleFault());
  EXPECT_TRUE(second.Plugins().List().empty());
  EXPECT_NE(host::StartupFolder(), "/tmp");
  // No injected fault is left: allocations, bitmaps and numbered requests succeed.
  void* block = api->memory->Alloc(16, 16);
  EXPECT_NE(nullptr, block);
  api->memory->Free(block);
  C4DBitmap* bmp = api->bitmap->BitmapAlloc();
  EXPECT_NE(nullptr, bmp);
  api->bitmap->BitmapFree(bmp);
  EXPECT_EQ(0, host::GetMemoryStats().failedAllocations);
}

// Without a Host the suites work on the detached services; what they leave there is not
// seen by a Host, and a block allocated detached may be freed while a Host lives.
TEST_F(HostServicesTest, SuitesWithoutHostUseDetachedServices) {
  ASSERT_EQ(&host::DetachedServices(), &host::Services());  // no Host is alive
  const int64_t detachedBlocks = host::GetMemoryStats().liveBlocks;
  void* early = api->memory->Alloc(32, 16);
  ASSERT_NE(nullptr, early);
  EXPECT_EQ(detachedBlocks + 1, host::GetMemoryStats().liveBlocks);
  C4DBitmap* bmp = api->bitmap->BitmapAlloc();
  ASSERT_NE(nullptr, bmp);
  {
    host::Host h;
    EXPECT_EQ(0, host::GetMemoryStats().liveBlocks);
    EXPECT_EQ(0, host::LiveBitmapCount());
    api->memory->Free(early);  // the detached block: freed, not refused
    EXPECT_EQ(0, host::GetMemoryStats().liveBlocks);
  }
  EXPECT_EQ(detachedBlocks, host::GetMemoryStats().liveBlocks);
  api->bitmap->BitmapFree(bmp);
  EXPECT_EQ(0, host::LiveBitmapCount());
}

}  // namespace
