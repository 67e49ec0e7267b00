// Render preparation and per-sample evaluation, with real host lights: light A is a
// positive omni light of colour (0.75, 0.5, 0.25) (average 0.5), light B a negative one of
// colour (0.25, 0.25, 0.25) (average 0.25), both above a surface facing them.
#include <cmath>
#include <limits>

#include "core/customdata.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/shaders.h"
#include "shader_fixture.h"

namespace shadertest {
namespace {

using host::Vec3;

// ---- Early return -----------------------------------------------------------------

TEST_F(ShaderTest, NoVolumeDataGivesWhiteWhateverTheSettings) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightB(), kFlagActive}});
  node->Data().SetBool(kInvert, true);
  node->Data().SetInt32(kOutput, 1);
  node->Data().SetLink(kSubShader, NewColorShader({0, 0, 0}));
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  Sample sample;
  sample.cd.vd = nullptr;
  EXPECT_GREY(1.0, Eval(node, sample));
  Release(node);
}

TEST_F(ShaderTest, EmptyLightTableGivesWhiteWithoutInversionOrGradient) {
  host::Node* node = NewCorvane();
  EXPECT_GREY(1.0, Render(node)) << "no list";
  node->Data().SetBool(kInvert, true);
  node->Data().SetInt32(kOutput, 1);
  SetLights(node, {});
  EXPECT_GREY(1.0, Render(node)) << "empty list, inverted, gradient output";
}

TEST_F(ShaderTest, RejectedEntriesLeaveAnEmptyTable) {
  host::Node* node = NewCorvane();
  host::Node* camera = doc->CreateObject(host::kTypeCamera, "camera");
  host::Node* disabled = LightA();
  disabled->Data().SetBool(host::OBJECT_ENABLED, false);
  host::Node* notCollected = LightA();
  host::Node* deleted = LightA();
  SetLights(node, {{camera, 3}, {disabled, 3}, {notCollected, kFlagPositive}, {deleted, 3}});
  doc->DeleteNode(deleted);

  const int64_t liveLights = host::LiveRayLights();
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  EXPECT_EQ(liveLights, host::LiveRayLights()) << "no render light was asked for";
  EXPECT_GREY(1.0, Eval(node));
  Release(node);

  // A list stored under another type is no list.
  node->Data().SetInt32(kLights, 3);
  EXPECT_GREY(1.0, Render(node));
}

// ---- Signed light sum, clamp, inversion -----------------------------------------------

TEST_F(ShaderTest, LightsAddOrSubtractTheirAverageThenClampAndInvert) {
  host::Node* node = NewCorvane();
  host::Node* a = LightA();
  host::Node* b = LightB();

  SetLights(node, {{a, 3}});
  EXPECT_GREY(0.5, Render(node)) << "A alone";

  SetLights(node, {{b, 1}});
  EXPECT_GREY(0.0, Render(node)) << "B alone is negative and clamps to 0";
  node->Data().SetBool(kInvert, true);
  EXPECT_GREY(1.0, Render(node)) << "B alone inverted";

  SetLights(node, {{a, 3}, {b, 1}});
  EXPECT_GREY(0.75, Render(node)) << "A and B inverted";
  node->Data().SetBool(kInvert, false);
  EXPECT_GREY(0.25, Render(node)) << "A and B";

  // Flag bits beyond the two switches are carried and ignored.
  SetLights(node, {{a, 3 | 4 | 0x100}, {b, 1 | 8}});
  EXPECT_GREY(0.25, Render(node));
}

TEST_F(ShaderTest, AverageMultipliesTheSumByTheNearestDoubleToOneThird) {
  host::Node* node = NewCorvane();
  const Vec3 colour{0.1, 0.2, 0.4};
  SetLights(node, {{NewOmni(colour), 3}});
  const double expected = ((0.1 + 0.2) + 0.4) * 0.3333333333333333;
  EXPECT_GREY(expected, Render(node));
  EXPECT_NE((0.1 + 0.2 + 0.4) / 3.0, expected) << "pick a colour where the two formulas differ";
}

TEST_F(ShaderTest, SumAboveOneClampsToOne) {
  host::Node* node = NewCorvane();
  SetLights(node, {{NewOmni({1, 1, 1}), 3}, {NewOmni({1, 1, 1}), 3}});
  EXPECT_GREY(1.0, Render(node));
  // Inverted, the clamped sum cannot be mistaken for the empty list's fallback.
  node->Data().SetBool(kInvert, true);
  EXPECT_GREY(0.0, Render(node)) << "1 - clamp(2)";
}

TEST_F(ShaderTest, LightsThatDoNotFaceOrReachThePointContributeNothing) {
  host::Node* node = NewCorvane();
  // Perpendicular: the light vector lies in the surface, dot product exactly 0.
  host::Node* grazing = NewOmni({1, 1, 1}, {100, 0, 0});
  SetLights(node, {{grazing, 3}});
  EXPECT_GREY(0.0, Render(node)) << "not the fallback: the table is not empty";

  // Behind the surface.
  host::Node* behind = NewOmni({1, 1, 1}, {0, 0, -100});
  SetLights(node, {{behind, 3}});
  EXPECT_GREY(0.0, Render(node));

  // A light that the host reports as not reaching the point (beyond its linear falloff).
  host::Node* far = NewOmni({1, 1, 1}, {0, 0, 100});
  far->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_LINEAR);
  far->Data().SetFloat(host::LIGHT_FALLOFF_RADIUS, 50);
  SetLights(node, {{far, 3}});
  EXPECT_GREY(0.0, Render(node));

  // Only the unsmoothed normal decides, not the phong or bump normal.
  SetLights(node, {{LightA(), 3}});
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  Sample sample;
  sample.vd.n = sample.vd.bumpn = {0, 0, -1};
  EXPECT_GREY(0.5, Eval(node, sample));
  sample.vd.n = sample.vd.bumpn = {0, 0, 1};
  sample.vd.orign = {0, 0, -1};
  EXPECT_GREY(0.0, Eval(node, sample));
  Release(node);
}

TEST_F(ShaderTest, NonFiniteLightColoursNeverReachTheOutput) {
  host::Node* node = NewCorvane();
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  SetLights(node, {{NewOmni({inf, 0, 0}), 3}});
  EXPECT_GREY(1.0, Render(node)) << "+inf clamps to 1";
  node->Data().SetBool(kInvert, true);
  EXPECT_GREY(0.0, Render(node)) << "+inf clamps to 1 before inversion (the fallback is never inverted)";
  node->Data().SetBool(kInvert, false);
  SetLights(node, {{NewOmni({inf, 0, 0}), 1}});
  EXPECT_GREY(0.0, Render(node)) << "-inf clamps to 0";

  // inf - inf and NaN colours make a NaN sum, which counts as 0.
  SetLights(node, {{NewOmni({inf, 0, 0}), 3}, {NewOmni({inf, 0, 0}), 1}});
  EXPECT_GREY(0.0, Render(node));
  node->Data().SetBool(kInvert, true);
  EXPECT_GREY(1.0, Render(node)) << "NaN counts as 0 before inversion";

  node->Data().SetBool(kInvert, false);
  node->Data().SetInt32(kOutput, 1);
  SetLights(node, {{NewOmni({nan, nan, nan}), 3}});
  const Vec3 v = Render(node);
  EXPECT_FALSE(std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z));
  EXPECT_EQ(Vec3(1, 0, 0), v) << "the gradient is looked up at 0";
}

// ---- Sub-shader mix ----------------------------------------------------------------------

TEST_F(ShaderTest, MixModesCombineTheSumWithTheSubShaderBrightness) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}, {LightB(), 1}});
  node->Data().SetLink(kSubShader, NewColorShader({0.25, 0.5, 0.75}));  // b = 0.5

  const struct {
    int32_t mode;
    double expected;
  } cases[] = {{0, 0.125}, {1, 0.75}, {2, 0.0}, {3, 0.25}, {-1, 0.25}, {7, 0.25}};
  for (const auto& c : cases) {
    node->Data().SetInt32(kMixMode, c.mode);
    EXPECT_GREY(c.expected, Render(node)) << "mode " << c.mode;
  }
}

TEST_F(ShaderTest, WithoutSubShaderAddAndSubtractLeaveTheSum) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}});
  for (int32_t mode : {0, 1, 2}) {
    node->Data().SetInt32(kMixMode, mode);
    EXPECT_GREY(0.5, Render(node)) << "mode " << mode;
  }
  // A link that does not resolve behaves as no sub-shader.
  host::Node* gone = NewColorShader({0, 0, 0});
  node->Data().SetLink(kSubShader, gone);
  doc->DeleteNode(gone);
  node->Data().SetInt32(kMixMode, 0);
  EXPECT_GREY(0.5, Render(node));
}

TEST_F(ShaderTest, MixComesBeforeTheClamp) {
  host::Node* node = NewCorvane();
  // Sum 2.0 times b 0.25 is 0.5: clamping first would give 0.25.
  SetLights(node, {{NewOmni({1, 1, 1}), 3}, {NewOmni({1, 1, 1}), 3}});
  node->Data().SetLink(kSubShader, NewColorShader({0.25, 0.25, 0.25}));
  EXPECT_GREY(0.5, Render(node));
}

TEST_F(ShaderTest, CorvaneWorksAsAnotherCorvanesSubShader) {
  host::Node* outer = NewCorvane("outer");
  host::Node* inner = NewCorvane("inner");
  host::Node* a = LightA();
  SetLights(inner, {{a, 3}});  // inner gives 0.5
  SetLights(outer, {{NewOmni({1, 1, 1}), 3}});
  outer->Data().SetLink(kSubShader, inner);
  EXPECT_GREY(0.5, Render(outer)) << "1.0 x 0.5";
  // After the outer render the inner one was released too: the next render prepares it again.
  EXPECT_GREY(0.5, Render(outer));
}

TEST_F(ShaderTest, SelfLinkedShaderRendersWithoutRecursing) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}});
  node->Data().SetLink(kSubShader, node);
  // The host answers the cyclic sample with black: b = 0, multiply gives 0.
  EXPECT_GREY(0.0, Render(node));
}

// ---- Output modes and the gradient ------------------------------------------------

TEST_F(ShaderTest, GradientOutputLooksUpTheFinalValue) {
  host::Node* node = NewCorvane();
  node->Data().SetInt32(kOutput, 1);
  const host::Gradient* gradient = node->Data().GetGradient(kGradient);

  SetLights(node, {{LightA(), 3}});
  EXPECT_EQ(gradient->CalcPixel(0.5), Render(node)) << "A alone";

  SetLights(node, {{LightB(), 1}});
  EXPECT_EQ(Vec3(1, 0, 0), Render(node)) << "value 0: first knot";
  node->Data().SetBool(kInvert, true);
  EXPECT_EQ(Vec3(0, 0, 1), Render(node)) << "inverted value 1: second knot";

  // Any output mode other than 1 is grey.
  for (int32_t mode : {0, 2, 5, -1}) {
    node->Data().SetInt32(kOutput, mode);
    EXPECT_GREY(1.0, Render(node)) << "mode " << mode;
  }
  // Gradient output without a gradient is grey too.
  node->Data().SetInt32(kOutput, 1);
  node->Data().Remove(kGradient);
  EXPECT_GREY(1.0, Render(node));
}

TEST_F(ShaderTest, GradientColoursAreReturnedUnclamped) {
  host::Node* node = NewCorvane();
  node->Data().SetInt32(kOutput, 1);
  host::Gradient bright;
  C4DGradientKnot knot = host::DefaultKnot();
  knot.col = {2.0, -1.0, 0.5};
  knot.interpolation = C4D_GRADIENT_INTERPOLATION_STEP;
  bright.InsertKnot(knot);
  node->Data().Set(kGradient, host::Value::FromGradient(bright));
  SetLights(node, {{LightA(), 3}});
  EXPECT_EQ(Vec3(2.0, -1.0, 0.5), Render(node));
}

// ---- Preparation and release ------------------------------------------------------

TEST_F(ShaderTest, SettingsAreCopiedAtPreparationOnly) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}});
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  node->Data().SetBool(kInvert, true);
  SetLights(node, {});
  EXPECT_GREY(0.5, Eval(node)) << "edits after preparation do not reach the render";
  Release(node);
  EXPECT_GREY(1.0, Render(node)) << "the next preparation sees the empty list: white, not inverted";
}

TEST_F(ShaderTest, RepeatedPreparationsRebuildTheSameTable) {
  host::Node* node = NewCorvane();
  host::Node* a = LightA();
  host::Node* b = LightB();
  host::Node* off = LightA();
  off->Data().SetBool(host::OBJECT_ENABLED, false);
  SetLights(node, {{a, 3}, {off, 3}, {b, 1}, {a, 3}});  // a twice: listed twice, counted twice

  const int64_t liveLights = host::LiveRayLights();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
    EXPECT_EQ(liveLights + 3, host::LiveRayLights()) << "three collected entries, preparation " << i;
    EXPECT_GREY(0.75, Eval(node)) << "0.5 - 0.25 + 0.5";
  }
  // A second preparation without release in between also re-reads everything.
  node->Data().SetBool(kInvert, true);
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  EXPECT_GREY(0.25, Eval(node));
  Release(node);
}

TEST_F(ShaderTest, FreeRenderIsHarmlessTwiceOrWithoutPreparation) {
  host::Node* node = NewCorvane();
  Release(node);
  SetLights(node, {{LightA(), 3}});
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  Release(node);
  Release(node);
  // The table survives the release: evaluation after it still sees the lights (grey, no
  // sub-shader or gradient).
  EXPECT_GREY(0.5, Eval(node));
}

TEST_F(ShaderTest, RenderLightsAreHandedBackAcrossRendersAndAtDestruction) {
  const int64_t liveLights = host::LiveRayLights();
  const int64_t liveBlocks = host::GetMemoryStats().liveBlocks;
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}, {LightB(), 1}, {LightA(), 3}});

  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
    Release(node);
    ASSERT_EQ(liveLights + 3, host::LiveRayLights()) << "render " << i;
  }
  doc->DeleteNode(node);
  EXPECT_EQ(liveLights, host::LiveRayLights()) << "the destructor hands the last table back";
  EXPECT_EQ(liveBlocks, host::GetMemoryStats().liveBlocks) << "and its storage";
}

TEST_F(ShaderTest, TableThatCannotGrowLeavesTheEntryOutAndLeaksNothing) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}});
  const int64_t liveLights = host::LiveRayLights();
  host::FailNextAllocations(1);  // the table's first growth
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
  host::FailNextAllocations(0);
  EXPECT_EQ(liveLights, host::LiveRayLights()) << "the refused entry's render light was handed back";
  EXPECT_GREY(1.0, Eval(node)) << "empty table";
  Release(node);
  EXPECT_GREY(0.5, Render(node)) << "memory is back: the light is collected";
}

TEST_F(ShaderTest, OutputAllocatesNothing) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}, {LightB(), 1}});
  node->Data().SetLink(kSubShader, NewColorShader({0.5, 0.5, 0.5}));
  node->Data().SetInt32(kOutput, 1);
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));

  const int64_t before = host::GetMemoryStats().totalAllocations;
  Sample sample;
  for (int i = 0; i < 1000; ++i) {
    sample.vd.p = {i * 0.01, 0, 0};
    (void)Eval(node, sample);
  }
  EXPECT_EQ(before, host::GetMemoryStats().totalAllocations);
  Release(node);
}

}  // namespace
}  // namespace shadertest
