// c4d_main in orders the host never uses: nothing crashes, and nothing the module
// allocates outlives the module. Regressions of the c4d_main fuzzer: message 1 before the
// first action 1, or after the final action 3, used to keep a resource folder path (and the
// host file name inside it) that no later call released.
#include <gtest/gtest.h>

#include "core/console.h"
#include "core/lights.h"
#include "core/memory.h"
#include "interface/host_interface.h"
#include "corvane_ids.h"
#include "module_fixture.h"
#include "resources/resources.h"
#include "session/session.h"
#include "session_support.h"

namespace hardening {
namespace {

constexpr const char* kResourceFailure = "Corvane: failed to load resource file.";

class ModuleOrderTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    blocks = host::GetMemoryStats().liveBlocks;
    module = host->Adopt(sandbox->Open());
    ASSERT_NE(nullptr, module) << sandbox->LastError();
  }
  void TearDown() override {
    host->UnloadModules();
    EXPECT_EQ(blocks, host::GetMemoryStats().liveBlocks) << "module memory left after unloading";
    SessionTest::TearDown();
  }
  static int CountFailures() {
    int n = 0;
    for (const std::string& line : host::Console().Lines()) n += line == kResourceFailure;
    return n;
  }

  host::Module* module = nullptr;  // owned by the session
  int64_t blocks = 0;
};

TEST_F(ModuleOrderTest, MessageOneBeforeSystemStartFailsAndKeepsNothing) {
  EXPECT_EQ(-1, module->SendMessage(C4D_MSG_LOAD_RESOURCE));
  EXPECT_EQ(0, CountFailures()) << "without a host interface there is no console to print to";
  EXPECT_EQ(blocks, host::GetMemoryStats().liveBlocks);
  EXPECT_EQ(0, module->Start()) << "registration without a host fails";
  // The regular life still works afterwards.
  EXPECT_TRUE(module->RunLifecycle());
  EXPECT_NE(nullptr, host->Plugins().Find(corvanetest::kCorvane));
}

TEST_F(ModuleOrderTest, CallsAfterTheFinalEndKeepNothing) {
  ASSERT_TRUE(module->RunLifecycle());
  EXPECT_EQ(1, module->End());
  const int64_t afterEnd = host::GetMemoryStats().liveBlocks;
  EXPECT_EQ(-1, module->SendMessage(C4D_MSG_LOAD_RESOURCE));
  EXPECT_EQ(0, module->Start());
  EXPECT_EQ(5, module->CallMain(C4D_ACTION_QUERY));
  EXPECT_EQ(afterEnd, host::GetMemoryStats().liveBlocks);
}

// The host may destroy an instance between the module's final action 3 and its unloading:
// the instance still hands its render lights back, while a message 1 sent after the end
// still keeps nothing.
TEST_F(ModuleOrderTest, AnInstanceDestroyedAfterTheEndStillHandsBackItsRenderLights) {
  ASSERT_TRUE(module->RunLifecycle());
  host::Document* doc = host->NewDocument("ended");
  host::Node* light = NewLight(doc, host::LIGHT_TYPE_OMNI, {1, 1, 1});
  host::Node* shader = doc->CreateShader(kCorvane, "outlives the end");
  ASSERT_NE(nullptr, shader);
  host::InExclude list;
  list.Append(light, kFlagsOnPositive);
  shader->Data().Set(kLights, host::Value::FromInExclude(list));
  const int64_t lights = host::LiveRayLights();
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, shader));
  host::ShaderFreeRender(shader);
  EXPECT_EQ(lights + 1, host::LiveRayLights()) << "the instance keeps its render light";

  EXPECT_EQ(1, module->End());
  const int64_t afterEnd = host::GetMemoryStats().liveBlocks;
  const int64_t resources = host::LiveResourceCount();
  EXPECT_EQ(-1, module->SendMessage(C4D_MSG_LOAD_RESOURCE));
  EXPECT_EQ(afterEnd, host::GetMemoryStats().liveBlocks) << "message 1 after the end keeps memory";
  EXPECT_EQ(resources, host::LiveResourceCount()) << "message 1 after the end loads the resource";

  EXPECT_TRUE(doc->DeleteNode(shader));
  EXPECT_EQ(lights, host::LiveRayLights()) << "the render light was not handed back";
}

TEST_F(ModuleOrderTest, RestartAfterTheFinalEndRunsAFreshLife) {
  ASSERT_TRUE(module->RunLifecycle());
  EXPECT_EQ(1, module->End());
  // Counted down below zero and back: the start that reaches one sets up again.
  EXPECT_EQ(1, module->End());
  EXPECT_EQ(1, module->SystemStart());
  EXPECT_EQ(-1, module->SendMessage(C4D_MSG_LOAD_RESOURCE)) << "count 0: not started";
  EXPECT_EQ(1, module->SystemStart());
  EXPECT_EQ(1, module->End());
  EXPECT_EQ(1, module->End());
}

TEST_F(ModuleOrderTest, TooOldHostThenMessagesAndEnd) {
  C4DHostInterface old = *host::Interface();
  old.version = C4D_API_VERSION_MIN - 1;
  EXPECT_EQ(-3, module->CallMain(C4D_ACTION_SYSTEM_START, &old, nullptr, nullptr));
  module->SendMessage(C4D_MSG_LOAD_RESOURCE);
  module->Start();
  EXPECT_EQ(1, module->CallMain(C4D_ACTION_END));
  EXPECT_EQ(-3, module->CallMain(C4D_ACTION_SYSTEM_START, nullptr, nullptr, nullptr)) << "no interface at all";
  EXPECT_EQ(-1, module->SendMessage(C4D_MSG_LOAD_RESOURCE));
  EXPECT_EQ(0, module->Start());
  EXPECT_EQ(1, module->CallMain(C4D_ACTION_END));
}

TEST_F(ModuleOrderTest, UnknownActionsAndMessagesInAnyState) {
  for (int32_t action : {0, 5, 7, 100, -1, INT32_MIN, INT32_MAX}) EXPECT_EQ(-1, module->CallMain(action)) << action;
  ASSERT_TRUE(module->RunLifecycle());
  for (int32_t action : {0, 5, 7, -1}) EXPECT_EQ(-1, module->CallMain(action)) << action;
  for (int32_t message : {2, -1, INT32_MAX}) EXPECT_EQ(-1, module->SendMessage(message)) << message;
  EXPECT_EQ(1, module->SendMessage(0));
}

}  // namespace
}  // namespace hardening
