// The closed-form scenes of tests/data/scenes rendered through the Corvane module: a wall
// that fills the view, lit by distant lights (whose colour is the same at every point), so
// every pixel holds the value that follows from the shader's arithmetic. The same scenes are
// rendered by the Windows and macOS modules and compared byte for byte (tests/cross).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "corvane_ids.h"
#include "render/renderer.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/session.h"

namespace host {
namespace {

struct ClosedForm {
  const char* scene;
  Vec3 expected;
};

void PrintTo(const ClosedForm& c, std::ostream* os) { *os << c.scene; }

// Light A: colour (0.75, 0.5, 0.25), average 0.5, positive. Light B: colour 0.25 grey,
// negative. "Half" is a colour sub-shader of 0.5.
const ClosedForm kScenes[] = {
    {"distant-a", {0.5, 0.5, 0.5}},
    {"distant-b", {0, 0, 0}},  // -0.25 clamps to 0
    {"distant-a-b", {0.25, 0.25, 0.25}},
    {"distant-a-b-invert", {0.75, 0.75, 0.75}},
    {"mix-multiply", {0.125, 0.125, 0.125}},  // 0.25 x 0.5
    {"mix-add", {0.75, 0.75, 0.75}},          // 0.25 + 0.5
    {"mix-subtract", {0, 0, 0}},              // 0.25 - 0.5 clamps to 0
    {"mix-other", {0.25, 0.25, 0.25}},        // an unknown mode leaves the sum
    {"gradient-b", {1, 0, 0}},                // value 0: the default gradient's first knot
    {"gradient-b-invert", {0, 0, 1}},         // value 1: its second knot
    {"rejected-entries", {0.5, 0.5, 0.5}},    // only light A counts (see the scene)
};

class ClosedFormScene : public ::testing::TestWithParam<ClosedForm> {
 protected:
  void SetUp() override {
    host.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    ASSERT_NE(nullptr, host.Plugins().Find(corvanetest::kCorvane)) << "the Corvane module did not register";
  }

  RenderImage RenderScene(const std::string& name) {
    Scene scene;
    SceneError error;
    RenderImage image;
    const std::string path = std::string(CORVANE_TEST_DATA) + "/scenes/" + name + ".json";
    EXPECT_TRUE(LoadSceneFile(host, path, &scene, &error)) << error.ToString();
    if (!scene.document) return image;
    RenderSetup setup;
    BuildRenderSetup(scene, 0, 0, &setup);
    RenderOptions options;
    options.samples = 1;
    std::string message;
    EXPECT_TRUE(Render(setup, options, &image, nullptr, &message)) << message;
    return image;
  }

  Session host;
};

TEST_P(ClosedFormScene, EveryPixelHoldsTheExactValue) {
  const ClosedForm& c = GetParam();
  RenderImage image = RenderScene(c.scene);
  ASSERT_FALSE(image.Pixels().empty());
  for (const Vec3& p : image.Pixels()) {
    ASSERT_EQ(c.expected.x, p.x);
    ASSERT_EQ(c.expected.y, p.y);
    ASSERT_EQ(c.expected.z, p.z);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, ClosedFormScene, ::testing::ValuesIn(kScenes),
                         [](const ::testing::TestParamInfo<ClosedForm>& p) {
                           std::string name = p.param.scene;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

// The gradient at light A's value 0.5 lies strictly between the two knots.
TEST_F(ClosedFormScene, GradientOutputBetweenTheKnots) {
  RenderImage image = RenderScene("gradient-a");
  ASSERT_FALSE(image.Pixels().empty());
  const Vec3 first = image.Pixels().front();
  EXPECT_GT(first.x, 0.0);
  EXPECT_LT(first.x, 1.0);
  EXPECT_GT(first.z, 0.0);
  EXPECT_LT(first.z, 1.0);
  for (const Vec3& p : image.Pixels()) ASSERT_TRUE(p == first);
}

}  // namespace
}  // namespace host
