// The material swatch: the shader's own values on a preview sphere, copied from the node
// directly. It renders byte for byte what the shader's saved form gives when loaded into
// the same preview scene (how the swatch was made before).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "corvane_ids.h"
#include "lookdev_fixture.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_render.h"

namespace host {
namespace {

using nlohmann::json;
using namespace corvanetest;

/// The swatch as the saved form of shader gives it: its parameters in scene-file JSON,
/// without links and lists, and each light list holding the two preview lights.
std::string SwatchFromSavedForm(Session& session, const json& shader, int size, int spp) {
  json params = shader["parameters"];
  params.erase("XCORVANE_SHADER");
  params["XCORVANE_LIGHTS"] = json::array({{{"object", "Key"}, {"flags", 3}}, {{"object", "Fill"}, {"flags", 3}}});
  const json scene = {
      {"camera", {{"position", {0, 0, -420}}, {"target", {0, 0, 0}}, {"fov", 32}, {"resolution", {size, size}}}},
      {"render", {{"background", {0.16, 0.16, 0.17}}, {"samples", spp}}},
      {"objects", {{{"name", "Sphere"}, {"type", "sphere"}, {"radius", 100}, {"material", "Preview"}}}},
      {"lights",
       {{{"name", "Key"}, {"type", "omni"}, {"position", {-260, 240, -300}}, {"falloff", "linear"}, {"radius", 620}},
        {{"name", "Fill"},
         {"type", "omni"},
         {"position", {300, -120, -160}},
         {"color", {0.55, 0.65, 0.8}},
         {"falloff", "linear"},
         {"radius", 520}}}},
      {"materials", {{{"name", "Preview"}, {"shader", "Shader"}}}},
      {"shaders", {{{"name", "Shader"}, {"plugin", kCorvane}, {"parameters", params}}}}};
  Scene preview;
  SceneError error;
  EXPECT_TRUE(LoadSceneText(session, scene.dump(), "material preview", &preview, &error)) << error.ToString();
  if (!preview.document) return {};
  RenderSetup setup;
  BuildRenderSetup(preview, 0, 0, &setup);
  RenderOptions options;
  options.samples = spp;
  RenderImage image;
  RenderStats stats;
  std::string message;
  EXPECT_TRUE(Render(setup, options, &image, &stats, &message)) << message;
  session.DeleteDocument(preview.document);
  return EncodePng(image);
}

TEST_F(LookdevTest, TheSwatchIsTheShadersSavedFormOnThePreviewSphere) {
  const Query query = {{"size", "48"}, {"spp", "2"}};
  EXPECT_EQ(lookdev->Swatch(query).body, SwatchFromSavedForm(session, Shader(), 48, 2));
  // Values of every kind the shader stores: cycles, a real, a switch, a gradient.
  ASSERT_EQ(Param("XCORVANE_OUTPUT", 1).status, 200);
  ASSERT_EQ(Param("XCORVANE_SPARE_VALUE", 0.25).status, 200);
  ASSERT_EQ(Param("XCORVANE_INVERT", true).status, 200);
  ASSERT_EQ(Param("XCORVANE_MIXMODE", 1).status, 200);
  ASSERT_EQ(Param("XCORVANE_GRADIENT",
                  json{{"knots", {{{"position", 0}, {"color", {0, 1, 0}}}, {{"position", 0.7}, {"color", {1, 0, 0.5}}}}}})
                .status,
            200);
  const Reply swatch = lookdev->Swatch(query);
  ASSERT_EQ(swatch.status, 200) << swatch.body;
  EXPECT_EQ(swatch.body, SwatchFromSavedForm(session, Shader(), 48, 2));
}

}  // namespace
}  // namespace host
