// The shader node as the host sees it outside rendering: defaults written by Init, the
// default gradient, parameter enabling, render information and message handling.
#include "core/customdata.h"
#include "core/memory.h"
#include "shader_fixture.h"
#include "message_recorder.h"

namespace shadertest {
namespace {

using host::Vec3;

TEST_F(ShaderTest, InitWritesTheDefaultsAndNothingForLinkAndList) {
  host::Node* node = NewCorvane();
  const host::Container& data = node->Data();

  ASSERT_NE(nullptr, data.Find(kSpareValue));
  EXPECT_EQ(C4D_DTYPE_REAL, data.Find(kSpareValue)->TypeId());
  EXPECT_EQ(1.0, data.GetFloat(kSpareValue));
  ASSERT_NE(nullptr, data.Find(kOutput));
  EXPECT_EQ(C4D_DTYPE_LONG, data.Find(kOutput)->TypeId());
  EXPECT_EQ(0, data.GetInt32(kOutput, -1));
  EXPECT_EQ(0, data.GetInt32(kMixMode, -1));
  ASSERT_NE(nullptr, data.Find(kInvert));
  EXPECT_FALSE(data.GetBool(kInvert, true));
  EXPECT_FALSE(data.Has(kSubShader));
  EXPECT_FALSE(data.Has(kLights));
  EXPECT_FALSE(data.Has(10004));
  EXPECT_FALSE(data.Has(10006));
  EXPECT_EQ(5u, data.Size());
}

TEST_F(ShaderTest, DefaultGradientRunsFromRedToBlueKnotByKnot) {
  host::Node* node = NewCorvane();
  const host::Gradient* gradient = node->Data().GetGradient(kGradient);
  ASSERT_NE(nullptr, gradient);

  const host::Value* mode = gradient->Settings().Find(C4D_GRADIENT_MODE);
  ASSERT_NE(nullptr, mode);
  EXPECT_EQ(C4D_DTYPE_LONG, mode->TypeId());
  EXPECT_EQ(0, mode->GetInt32(-1));

  const auto& knots = gradient->Knots();
  ASSERT_EQ(2u, knots.size());
  const Vec3 colours[] = {{1, 0, 0}, {0, 0, 1}};
  const double positions[] = {0.0, 1.0};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(colours[i], Vec3(knots[i].col));
    EXPECT_EQ(1.0, knots[i].brightness);
    EXPECT_EQ(positions[i], knots[i].pos);
    EXPECT_EQ(0.5, knots[i].bias);
    EXPECT_EQ(0, knots[i].index);
    EXPECT_EQ(2, knots[i].interpolation);
  }
  EXPECT_EQ(Vec3(1, 0, 0), gradient->CalcPixel(0.0));
  EXPECT_EQ(Vec3(0, 0, 1), gradient->CalcPixel(1.0));
}

TEST_F(ShaderTest, InitLeavesNoTemporaryGradientAndEachNodeOwnsItsCopy) {
  const int64_t before = host::LiveGradients();
  const int64_t blocksBefore = host::GetMemoryStats().liveBlocks;
  host::Node* a = NewCorvane("a");
  host::Node* b = NewCorvane("b");
  // Exactly the two stored copies are alive; the temporaries were freed.
  EXPECT_EQ(before + 2, host::LiveGradients());

  // Editing one node's gradient leaves the other's alone.
  host::Gradient* ga = a->Data().GetGradient(kGradient);
  ASSERT_NE(nullptr, ga);
  ga->ClearKnots();
  EXPECT_EQ(2u, b->Data().GetGradient(kGradient)->Knots().size());

  // Copying the container copies the gradient.
  host::Container copy = b->Data();
  copy.GetGradient(kGradient)->ClearKnots();
  EXPECT_EQ(2u, b->Data().GetGradient(kGradient)->Knots().size());

  doc->DeleteNode(a);
  doc->DeleteNode(b);
  EXPECT_EQ(blocksBefore, host::GetMemoryStats().liveBlocks) << "instances hand back all module memory";
}

TEST_F(ShaderTest, FailingGradientAllocLeavesNoGradientButInitSucceeds) {
  host::FailNextGradientAllocs(1);
  host::Node* node = NewCorvane();
  ASSERT_NE(nullptr, node) << "Init still answers true";
  EXPECT_FALSE(node->Data().Has(kGradient));
  EXPECT_EQ(1.0, node->Data().GetFloat(kSpareValue));
  EXPECT_TRUE(node->Data().Has(kInvert));

  // Gradient output then falls back to grey.
  host::Node* light = LightA();
  node->Data().SetInt32(kOutput, 1);
  SetLights(node, {{light, 3}});
  EXPECT_GREY(0.5, Render(node));
}

TEST_F(ShaderTest, FailingInstanceAllocationCreatesNoNode) {
  host::FailNextAllocations(1);
  EXPECT_EQ(nullptr, doc->CreateShader(kCorvane));
  host::FailNextAllocations(0);
  EXPECT_NE(nullptr, NewCorvane());
}

TEST_F(ShaderTest, GradientIsEnabledExactlyForGradientOutput) {
  host::Node* node = NewCorvane();
  host::Container& data = node->Data();

  EXPECT_FALSE(node->GetDEnabling(kGradient)) << "default output is grey";
  const struct {
    int32_t output;
    bool enabled;
  } cases[] = {{1, true}, {0, false}, {2, false}, {-1, false}, {5, false}};
  for (const auto& c : cases) {
    data.SetInt32(kOutput, c.output);
    EXPECT_EQ(c.enabled, node->GetDEnabling(kGradient)) << "output " << c.output;
  }
  data.Remove(kOutput);
  EXPECT_FALSE(node->GetDEnabling(kGradient)) << "a missing entry counts as 0";

  // Stored as a type that is not a number: the typed read answers its default (0).
  data.SetVector(kOutput, {1, 1, 1});
  EXPECT_FALSE(node->GetDEnabling(kGradient));
  // A real converts like in any container read.
  data.SetFloat(kOutput, 1.0);
  EXPECT_TRUE(node->GetDEnabling(kGradient));

  // The container decides, not the value the host passes along.
  data.SetInt32(kOutput, 0);
  C4DDescID id{};
  id.count = 1;
  id.levels[0].id = kGradient;
  C4DValue tData{};
  tData.type = C4D_DTYPE_LONG;
  tData.u.i32 = 1;
  EXPECT_FALSE(node->GetDEnabling(id, &tData));
  data.SetInt32(kOutput, 1);
  tData.u.i32 = 0;
  EXPECT_TRUE(node->GetDEnabling(id, &tData));
}

TEST_F(ShaderTest, EveryOtherParameterIsAlwaysEnabled) {
  host::Node* node = NewCorvane();
  for (int32_t output : {0, 1, 7}) {
    node->Data().SetInt32(kOutput, output);
    for (int32_t id : {kSpareValue, kSubShader, kOutput, 10004, kMixMode, 10006, kInvert, kLights, 0, -5, 99999})
      EXPECT_TRUE(node->GetDEnabling(id)) << "id " << id << " output " << output;
  }
  // A multi-level ID is judged by its first level.
  C4DDescID id{};
  id.count = 2;
  id.levels[0].id = kGradient;
  id.levels[1].id = 1;
  node->Data().SetInt32(kOutput, 0);
  EXPECT_FALSE(node->GetDEnabling(id));
}

TEST_F(ShaderTest, RenderInfoIsAlphaSupportAlways) {
  host::Node* node = NewCorvane();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(C4D_SHADERINFO_ALPHA_SUPPORT, node->GetRenderInfo());
  EXPECT_EQ(32, node->GetRenderInfo());
}

TEST_F(ShaderTest, MessagesAreForwardedToTheLinkedSubShader) {
  host::Node* node = NewCorvane();
  host::Node* sub = NewColorShader({1, 1, 1});
  ASSERT_TRUE(node->InsertShader(sub));
  node->Data().SetLink(kSubShader, sub);

  host::test::MessageRecorder messages(*host);
  for (int32_t type : {1, 42, 100004, -3}) {
    messages.Clear();
    EXPECT_TRUE(node->SendMessage(type, nullptr)) << type;
    const auto received = messages.Of(sub);
    ASSERT_EQ(1u, received.size()) << type;
    EXPECT_EQ(type, received[0].type);
  }
}

TEST_F(ShaderTest, MessagesWithoutAResolvableSubShaderReachNoOne) {
  host::Node* node = NewCorvane();
  host::Node* other = NewColorShader({1, 1, 1});
  host::test::MessageRecorder messages(*host);
  EXPECT_TRUE(node->SendMessage(42, nullptr)) << "no link";

  // A link to a node that is not a shader does not resolve (base shader type filter).
  host::Node* light = LightA();
  node->Data().SetLink(kSubShader, light);
  EXPECT_TRUE(node->SendMessage(42, nullptr));
  EXPECT_TRUE(messages.Of(light).empty());

  // A link into another document does not resolve either.
  host::Document* elsewhere = host->NewDocument("elsewhere");
  host::Node* foreign = elsewhere->CreateShader(host::kShaderColor, "foreign");
  node->Data().SetLink(kSubShader, foreign);
  EXPECT_TRUE(node->SendMessage(42, nullptr));
  EXPECT_TRUE(messages.Of(foreign).empty());

  // A deleted sub-shader no longer receives anything.
  node->Data().SetLink(kSubShader, other);
  doc->DeleteNode(other);
  EXPECT_TRUE(node->SendMessage(42, nullptr));
}

TEST_F(ShaderTest, SelfLinkedShaderAnswersMessagesWithoutRecursing) {
  host::Node* node = NewCorvane();
  node->Data().SetLink(kSubShader, node);
  EXPECT_TRUE(node->SendMessage(42, nullptr));

  // Two shaders linking each other.
  host::Node* a = NewCorvane("a");
  host::Node* b = NewCorvane("b");
  a->Data().SetLink(kSubShader, b);
  b->Data().SetLink(kSubShader, a);
  EXPECT_TRUE(a->SendMessage(42, nullptr));
}

TEST_F(ShaderTest, InitialChannelMessageAttachesAndLinksTheShader) {
  host::Node* node = NewCorvane();
  host::Node* sub = NewColorShader({0.5, 0.5, 0.5});
  host::test::MessageRecorder messages(*host);

  EXPECT_TRUE(node->SendMessage(C4D_MSG_INITIALCHANNEL, host::ToHandle(sub)));
  EXPECT_EQ(node, sub->Parent());
  EXPECT_EQ(sub, node->Data().GetLink(kSubShader, doc, C4D_TYPE_SHADER));
  // It was forwarded to the newly linked shader as well.
  ASSERT_FALSE(messages.Of(sub).empty());
  EXPECT_EQ(C4D_MSG_INITIALCHANNEL, messages.Of(sub).back().type);

  // The linked shader is now sampled.
  host::Node* light = LightA();
  SetLights(node, {{light, 3}});
  EXPECT_GREY(0.25, Render(node));
}

TEST_F(ShaderTest, InitialChannelMessageWithoutAShaderChangesNothing) {
  host::Node* node = NewCorvane();
  EXPECT_TRUE(node->SendMessage(C4D_MSG_INITIALCHANNEL, nullptr));
  EXPECT_FALSE(node->Data().Has(kSubShader));
  // Any other message type with a shader as data does not attach it.
  host::Node* sub = NewColorShader({1, 1, 1});
  EXPECT_TRUE(node->SendMessage(42, host::ToHandle(sub)));
  EXPECT_EQ(nullptr, sub->Parent());
  EXPECT_FALSE(node->Data().Has(kSubShader));
}

}  // namespace
}  // namespace shadertest
