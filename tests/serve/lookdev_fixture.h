// lookdev_fixture.h - a Lookdev on a copy of a closed-form scene (two distant lights on a
// wall) in a served folder, with the built Corvane plug-in loaded, and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "core/console.h"
#include "module_fixture.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_render.h"
#include "serve/lookdev.h"

namespace host {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

/// Width and height from a PNG's header; false when the bytes are not a PNG.
inline bool PngSize(const std::string& png, int* w, int* h) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  auto be = [&](size_t at) {
    return int(uint8_t(png[at])) << 24 | int(uint8_t(png[at + 1])) << 16 | int(uint8_t(png[at + 2])) << 8 |
           int(uint8_t(png[at + 3]));
  };
  *w = be(16);
  *h = be(20);
  return true;
}

/// scene rendered at its own resolution and samples, as `corvane-host render` renders a file.
inline RenderImage RenderWhole(const Scene& scene) {
  RenderSetup setup;
  BuildRenderSetup(scene, 0, 0, &setup);
  RenderOptions options;
  options.samples = scene.samples;
  RenderImage image;
  RenderStats stats;
  std::string message;
  EXPECT_TRUE(Render(setup, options, &image, &stats, &message)) << message;
  return image;
}

class LookdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Like every suite that needs the module: a build without it tests nothing and fails.
    ASSERT_TRUE(std::filesystem::exists(std::string(CORVANE_PLUGINS_DIR) + "/corvane.xso64"))
        << "the Corvane plug-in folder is not built: " << CORVANE_PLUGINS_DIR;
    Console().SetEcho(false);
    session.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    folder.Copy(std::string(CORVANE_TEST_DATA) + "/scenes/distant-a-b.json", "served/wall.json");
    folder.Write("outside.json", ReadFile(std::string(CORVANE_TEST_DATA) + "/scenes/distant-a.json"));
    lookdev = std::make_unique<Lookdev>(session, folder.Join("served"));
    std::string error;
    ASSERT_TRUE(lookdev->Open("wall.json", &error)) << error;
  }
  void TearDown() override { lookdev.reset(); }

  /// The wall scene with changes: each (JSON pointer, value) replaces or adds a value.
  std::string WallWith(const nlohmann::json& patch) const {
    nlohmann::json scene = nlohmann::json::parse(ReadFile(folder.Join("served/wall.json")));
    for (const auto& [pointer, value] : patch.items()) scene[nlohmann::json::json_pointer(pointer)] = value;
    return scene.dump(1);
  }

  nlohmann::json Shader() {
    Reply r = lookdev->SceneState();
    EXPECT_EQ(r.status, 200) << r.body;
    return nlohmann::json::parse(r.body)["editable"][0];
  }
  Reply Param(const nlohmann::json& param, const nlohmann::json& value) {
    return lookdev->SetParam(nlohmann::json{{"shader", "Mask"}, {"param", param}, {"value", value}}.dump());
  }
  Reply Lights(const std::string& action, const std::string& light, const nlohmann::json& flags = nullptr) {
    nlohmann::json body = {{"shader", "Mask"}, {"action", action}, {"light", light}};
    if (!flags.is_null()) body["flags"] = flags;
    return lookdev->EditLights(body.dump());
  }

  Session session;
  test::TempFolder folder;
  std::unique_ptr<Lookdev> lookdev;
};

}  // namespace host
