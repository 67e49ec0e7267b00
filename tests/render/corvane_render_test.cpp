// Renders through the Corvane module compared with closed-form values: a wall facing the
// camera, lit by omni lights without falloff, gives every pixel the same value.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "corvane_ids.h"
#include "render/renderer.h"
#include "render_threads.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "session/session.h"

namespace host {
namespace {

const double kThird = 0.3333333333333333;

class CorvaneRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CORVANE_PLUGINS_DIR
    host.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    ASSERT_NE(nullptr, host.Plugins().Find(corvanetest::kCorvane))
        << "the Corvane module did not register from " CORVANE_PLUGINS_DIR;
#else
    FAIL() << "this test program was built without the Corvane plug-in folder";
#endif
  }

  // Renders a 9x7 view of a wall at z = 10 facing the camera; lights and shader settings
  // are spliced in. Returns the image; fails the test on a load error.
  RenderImage RenderWall(const std::string& lights, const std::string& shaders, int threads = 1) {
    std::string text = R"({
      "camera": {"position": [0, 0, 0], "direction": [0, 0, 1], "fov": 40, "resolution": [9, 7]},
      "render": {"background": [0.25, 0.5, 0.75]},
      "objects": [{"name": "Wall", "type": "plane", "position": [0, 0, 10], "direction": [0, 0, -1],
                   "material": "M"}],
      "lights": [)" + lights +
                       R"(],
      "materials": [{"name": "M", "shader": "Mask"}],
      "shaders": [)" + shaders +
                       "]}";
    Scene scene;
    SceneError error;
    RenderImage image;
    EXPECT_TRUE(LoadSceneText(host, text, "wall.json", &scene, &error)) << error.ToString();
    if (!scene.document) return image;
    RenderSetup setup;
    BuildRenderSetup(scene, 0, 0, &setup);
    RenderOptions options;
    options.threads = threads;
    std::string message;
    EXPECT_TRUE(Render(setup, options, &image, nullptr, &message)) << message;
    host.DeleteDocument(scene.document);
    return image;
  }

  // Every pixel equals v on all three channels.
  static void ExpectUniform(const RenderImage& image, Vec3 v, const char* what) {
    ASSERT_EQ(63u, image.Pixels().size()) << what;
    for (const Vec3& p : image.Pixels()) {
      ASSERT_EQ(v.x, p.x) << what;
      ASSERT_EQ(v.y, p.y) << what;
      ASSERT_EQ(v.z, p.z) << what;
    }
  }

  Session host;
};

TEST_F(CorvaneRenderTest, WallUnderOmniLightsIsTheClampedAverageOfTheirColours) {
  const std::string key =
      R"({"name": "Key", "type": "omni", "position": [0, 0, -5], "color": [0.9, 0.6, 0.2]})";
  const std::string fill =
      R"({"name": "Fill", "type": "omni", "position": [3, 4, 0], "color": [0.3, 0.1, 0.5]})";
  double keyAvg = ((0.9 + 0.6) + 0.2) * kThird, fillAvg = ((0.3 + 0.1) + 0.5) * kThird;

  // One positive light: its average, on every pixel.
  double v = keyAvg;
  ExpectUniform(RenderWall(key, R"({"name": "Mask", "plugin": "Corvane",
      "parameters": {"XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}]}})"),
                Vec3(v, v, v), "one light");

  // A positive and a negative light subtract; inverted output; by numeric IDs.
  v = 1 - std::clamp(keyAvg - fillAvg, 0.0, 1.0);
  ExpectUniform(RenderWall(key + "," + fill,
                           R"({"name": "Mask", "plugin": )" + std::to_string(corvanetest::kCorvane) + R"(,
      "parameters": {"10008": [{"object": "Key", "flags": 3}, {"object": "Fill", "flags": 1}], "10007": true}})"),
                Vec3(v, v, v), "positive minus negative, inverted");

  // Brightness 3 pushes the sum above 1: clamped to 1, then inverted to 0 (inverted, so
  // that the result cannot be the empty list's fallback 1, which is never inverted).
  ExpectUniform(RenderWall(R"({"name": "Key", "type": "omni", "position": [0, 0, -5], "brightness": 3})",
                           R"({"name": "Mask", "plugin": "XCorvane",
      "parameters": {"XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}], "XCORVANE_INVERT": true}})"),
                Vec3(0, 0, 0), "clamped, inverted");

  // A light behind the wall fails the facing test: black. No collected light: white.
  ExpectUniform(RenderWall(R"({"name": "Key", "type": "omni", "position": [0, 0, 20]})",
                           R"({"name": "Mask", "plugin": "Corvane",
      "parameters": {"XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}]}})"),
                Vec3(0, 0, 0), "behind");
  ExpectUniform(RenderWall(key, R"({"name": "Mask", "plugin": "Corvane",
      "parameters": {"XCORVANE_LIGHTS": [{"object": "Key", "flags": 2}]}})"),
                Vec3(1, 1, 1), "inactive entry");
}

TEST_F(CorvaneRenderTest, MixModesCombineWithTheSubShadersAverage) {
  const std::string key =
      R"({"name": "Key", "type": "omni", "position": [0, 0, -5], "color": [0.6, 0.6, 0.6]})";
  double light = ((0.6 + 0.6) + 0.6) * kThird;
  double sub = ((0.5 + 0.25) + 0.15) * kThird;
  const std::string colour = R"({"name": "Sub", "plugin": "color", "color": [0.5, 0.25, 0.15]})";
  auto mask = [&](int mode) {
    return R"({"name": "Mask", "plugin": "Corvane", "parameters": {"XCORVANE_MIXMODE": )" +
           std::to_string(mode) +
           R"(, "XCORVANE_SHADER": "Sub", "XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}]}}, )" + colour;
  };
  double multiply = light * sub, add = std::min(1.0, light + sub), subtract = std::max(0.0, light - sub);
  ExpectUniform(RenderWall(key, mask(0)), Vec3(multiply, multiply, multiply), "multiply");
  ExpectUniform(RenderWall(key, mask(1)), Vec3(add, add, add), "add");
  ExpectUniform(RenderWall(key, mask(2)), Vec3(subtract, subtract, subtract), "subtract");
}

TEST_F(CorvaneRenderTest, GradientOutputMapsTheValueThroughTheGradient) {
  // A linear two-knot gradient from black to (1, 0.5, 0.25): the colour is value x that.
  const std::string key =
      R"({"name": "Key", "type": "omni", "position": [0, 0, -5], "color": [0.5, 0.5, 0.5]})";
  RenderImage image = RenderWall(key, R"({"name": "Mask", "plugin": "Corvane", "parameters": {
      "XCORVANE_OUTPUT": 1, "XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}],
      "XCORVANE_GRADIENT": {"knots": [
        {"color": [0, 0, 0], "position": 0, "interpolation": 3},
        {"color": [1, 0.5, 0.25], "position": 1, "interpolation": 3}]}}})");
  double v = ((0.5 + 0.5) + 0.5) * kThird;
  for (const Vec3& p : image.Pixels()) {
    ASSERT_NEAR(v, p.x, 1e-12);
    ASSERT_NEAR(v * 0.5, p.y, 1e-12);
    ASSERT_NEAR(v * 0.25, p.z, 1e-12);
  }
}

TEST_F(CorvaneRenderTest, DefaultSceneIsTheSameForOneTwoAndEightThreads) {
  Scene scene;
  SceneError error;
  ASSERT_TRUE(LoadSceneFile(host, std::string(CORVANE_EXAMPLES_DIR) + "/default.json", &scene, &error))
      << error.ToString();
  RenderSetup setup;
  BuildRenderSetup(scene, 96, 54, &setup);
  RenderOptions options;
  options.samples = 2;
  options.tileSize = 8;
  EXPECT_EQ(std::size(test::kThreadCounts), test::ExpectSameImageOnAnyThreadCount(setup, options).size());
}

}  // namespace
}  // namespace host
