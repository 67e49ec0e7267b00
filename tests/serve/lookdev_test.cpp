// The look-development page's requests without a browser: refused requests answer 4xx and
// change nothing, edits come back with the module's enabling, light-list edits, images,
// saving and loading inside the served folder, and the web server's own guards.
#include "serve/lookdev.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "corvane_ids.h"
#include "module_fixture.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_render.h"
#include "serve/server.h"

namespace host {
namespace {

using nlohmann::json;
using namespace corvanetest;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

/// Width and height from a PNG's header; false when the bytes are not a PNG.
bool PngSize(const std::string& png, int* w, int* h) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  auto be = [&](size_t at) {
    return int(uint8_t(png[at])) << 24 | int(uint8_t(png[at + 1])) << 16 | int(uint8_t(png[at + 2])) << 8 |
           int(uint8_t(png[at + 3]));
  };
  *w = be(16);
  *h = be(20);
  return true;
}

class LookdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::string(CORVANE_PLUGINS_DIR) + "/corvane.xso64"))
      GTEST_SKIP() << "the Corvane plug-in folder is not built";
    Console().SetEcho(false);
    session.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
    folder.Copy(std::string(CORVANE_TEST_DATA) + "/scenes/distant-a-b.json", "served/wall.json");
    folder.Write("outside.json", ReadFile(std::string(CORVANE_TEST_DATA) + "/scenes/distant-a.json"));
    lookdev = std::make_unique<Lookdev>(session, folder.Join("served"));
    std::string error;
    ASSERT_TRUE(lookdev->Open("wall.json", &error)) << error;
  }
  void TearDown() override { lookdev.reset(); }

  json Shader() {
    Reply r = lookdev->SceneState();
    EXPECT_EQ(r.status, 200) << r.body;
    return json::parse(r.body)["editable"][0];
  }
  Reply Param(const json& param, const json& value) {
    return lookdev->SetParam(json{{"shader", "Mask"}, {"param", param}, {"value", value}}.dump());
  }
  Reply Lights(const std::string& action, const std::string& light, const json& flags = nullptr) {
    json body = {{"shader", "Mask"}, {"action", action}, {"light", light}};
    if (!flags.is_null()) body["flags"] = flags;
    return lookdev->EditLights(body.dump());
  }

  Session session;
  test::TempFolder folder;
  std::unique_ptr<Lookdev> lookdev;
};

TEST_F(LookdevTest, RefusedRequestsAnswer4xxWithAMessageAndChangeNothing) {
  const std::string before = lookdev->SceneState().body;
  const std::string deep = std::string(40, '[') + std::string(40, ']');
  struct Case {
    const char* what;
    Reply reply;
  };
  Case cases[] = {
      {"malformed JSON", lookdev->SetParam("{\"shader\": ")},
      {"not an object", lookdev->SetParam("[1, 2]")},
      {"oversized", lookdev->SetParam("{\"pad\": \"" + std::string(kMaxRequestBytes, 'x') + "\"}")},
      {"nested too deep",
       lookdev->SetParam("{\"shader\": \"Mask\", \"param\": \"XCORVANE_INVERT\", \"value\": " + deep + "}")},
      {"no value", lookdev->SetParam(R"({"shader": "Mask", "param": "XCORVANE_INVERT"})")},
      {"unknown shader",
       lookdev->SetParam(R"({"shader": "Nope", "param": "XCORVANE_INVERT", "value": true})")},
      {"unknown parameter", Param("XCORVANE_NOPE", 1)},
      {"unknown numeric ID", Param(10004, 1)},
      {"REAL as text", Param("XCORVANE_SPARE_VALUE", "high")},
      {"REAL above MAX", Param("XCORVANE_SPARE_VALUE", 1.5)},
      {"REAL below MIN", Param("XCORVANE_SPARE_VALUE", -0.01)},
      {"cycle value not offered", Param("XCORVANE_OUTPUT", 7)},
      {"LONG as real", Param("XCORVANE_MIXMODE", 1.5)},
      {"BOOL as 2", Param("XCORVANE_INVERT", 2)},
      {"link to a light", Param("XCORVANE_SHADER", "A")},
      {"link to itself", Param("XCORVANE_SHADER", "Mask")},
      {"link to nothing", Param("XCORVANE_SHADER", "Ghost")},
      {"unknown light in list", Param("XCORVANE_LIGHTS", json::array({{{"object", "Ghost"}, {"flags", 3}}}))},
      {"non-light in list", Param("XCORVANE_LIGHTS", json::array({{{"object", "Wall"}, {"flags", 3}}}))},
      {"gradient of text", Param("XCORVANE_GRADIENT", "red")},
      {"add unknown light", Lights("add", "Ghost")},
      {"add a listed light", Lights("add", "A")},
      {"remove unlisted", Lights("remove", "Wall")},
      {"flags without flags", Lights("flags", "A")},
      {"negative flags", Lights("flags", "A", -1)},
      {"unknown action", Lights("toggle", "A")},
      {"save absolute", lookdev->Save(json{{"path", folder.Join("x.json")}}.dump())},
      {"save outside", lookdev->Save(R"({"path": "../escaped.json"})")},
      {"save through a sub-folder", lookdev->Save(R"({"path": "sub/../../escaped.json"})")},
      {"save not json", lookdev->Save(R"({"path": "scene.txt"})")},
      {"save into a missing folder", lookdev->Save(R"({"path": "missing/scene.json"})")},
      {"load outside", lookdev->Load(R"({"path": "../outside.json"})")},
      {"load missing", lookdev->Load(R"({"path": "missing.json"})")},
      {"preview width 0", lookdev->Preview({{"w", "0"}})},
      {"preview width text", lookdev->Preview({{"w", "wide"}})},
      {"preview too many samples", lookdev->Preview({{"w", "4096"}, {"h", "4096"}, {"spp", "256"}})},
      {"swatch of unknown shader", lookdev->Swatch({{"shader", "Nope"}})},
      {"icon not a number", lookdev->Icon("abc")},
      {"icon not registered", lookdev->Icon("1")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_GE(c.reply.status, 400);
    EXPECT_LT(c.reply.status, 500);
    json body = json::parse(c.reply.body, nullptr, false);
    ASSERT_TRUE(body.is_object());
    EXPECT_FALSE(body.value("error", "").empty());
  }
  EXPECT_EQ(lookdev->SceneState().body, before);
  EXPECT_FALSE(std::filesystem::exists(folder.Join("escaped.json")));
  EXPECT_FALSE(std::filesystem::exists(folder.Join("x.json")));
}

TEST_F(LookdevTest, EditsAnswerWithTheModulesEnabling) {
  json shader = Shader();
  EXPECT_EQ(shader["enabled"][std::to_string(kGradient)], false);
  EXPECT_EQ(shader["enabled"][std::to_string(kOutput)], true);

  Reply r = Param("XCORVANE_OUTPUT", 1);
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(json::parse(r.body)["enabled"][std::to_string(kGradient)], true);
  EXPECT_EQ(Shader()["enabled"][std::to_string(kGradient)], true);
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_OUTPUT"], 1);

  r = Param(std::to_string(kOutput), 0);  // numeric IDs as scene files allow
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(json::parse(r.body)["enabled"][std::to_string(kGradient)], false);

  // Values in the form scene files use: percent stored as a fraction, gradients as knots.
  ASSERT_EQ(Param("XCORVANE_SPARE_VALUE", 0.25).status, 200);
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_SPARE_VALUE"], 0.25);
  json knots = {
      {"knots", {{{"color", {0, 1, 0}}, {"position", 0.0}}, {{"color", {1, 1, 0}}, {"position", 1.0}}}}};
  ASSERT_EQ(Param("XCORVANE_GRADIENT", knots).status, 200);
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_GRADIENT"]["knots"].size(), 2u);
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_GRADIENT"]["knots"][0]["color"], json({0, 1, 0}));
}

TEST_F(LookdevTest, LightListEditsChangeTheEntriesAndThePicture) {
  auto wallByte = [&] {
    Reply png = lookdev->Preview({{"w", "4"}, {"h", "4"}, {"spp", "1"}});
    EXPECT_EQ(png.status, 200);
    return png.body;
  };
  const std::string start = wallByte();
  // A (average 0.5) adds and B (0.25) subtracts; B adding changes the picture.
  ASSERT_EQ(Lights("flags", "B", kFlagActive | kFlagPositive).status, 200);
  json lights = Shader()["parameters"]["XCORVANE_LIGHTS"];
  EXPECT_EQ(lights, json::parse(R"([{"object": "A", "flags": 3}, {"object": "B", "flags": 3}])"));
  EXPECT_NE(wallByte(), start);

  ASSERT_EQ(Lights("remove", "B").status, 200);
  ASSERT_EQ(Lights("add", "B").status, 200);  // the description's initial state: 3
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_LIGHTS"][1], json::parse(R"({"object": "B", "flags": 3})"));
  ASSERT_EQ(Lights("flags", "B", kFlagActive).status, 200);
  EXPECT_EQ(wallByte(), start);
}

TEST_F(LookdevTest, ImagesArePngsOfTheAskedSize) {
  int w = 0, h = 0;
  Reply preview = lookdev->Preview({});
  ASSERT_EQ(preview.status, 200) << preview.body;
  EXPECT_EQ(preview.contentType, "image/png");
  ASSERT_TRUE(PngSize(preview.body, &w, &h));
  EXPECT_EQ(w, 24);  // the scene's resolution
  EXPECT_EQ(h, 16);
  ASSERT_TRUE(PngSize(lookdev->Preview({{"w", "6"}, {"h", "4"}, {"spp", "1"}}).body, &w, &h));
  EXPECT_EQ(w * 10 + h, 64);
  ASSERT_TRUE(PngSize(lookdev->Swatch({{"size", "32"}}).body, &w, &h));
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);

  Reply icon = lookdev->Icon(std::to_string(kIconPositive));
  ASSERT_EQ(icon.status, 200) << icon.body;
  IconInfo info;
  ASSERT_TRUE(FindIcon(kIconPositive, &info));
  ASSERT_TRUE(PngSize(icon.body, &w, &h));
  EXPECT_EQ(w, info.w);
  EXPECT_EQ(h, info.h);

  json described = json::parse(lookdev->Describe().body);
  const json& elements = described["plugins"][0]["description"]["elements"];
  auto output = std::find_if(elements.begin(), elements.end(),
                             [](const json& e) { return e["symbol"] == "XCORVANE_OUTPUT"; });
  ASSERT_NE(output, elements.end());
  EXPECT_EQ((*output)["label"], "Output");
  EXPECT_EQ((*output)["cycle"][1]["label"], "Gradient");
}

TEST_F(LookdevTest, SaveWritesTheNormalFormThatRendersAsThePreview) {
  ASSERT_EQ(Param("XCORVANE_INVERT", true).status, 200);
  ASSERT_EQ(Lights("flags", "A", kFlagActive).status, 200);
  Reply saved = lookdev->Save(R"({"path": "edited.json"})");
  ASSERT_EQ(saved.status, 200) << saved.body;
  const std::string path = folder.Join("served/edited.json");

  // The file is in normal form: loading and saving it again gives the same text.
  Scene reloaded;
  SceneError error;
  ASSERT_TRUE(LoadSceneFile(path, &reloaded, &error)) << error.ToString();
  EXPECT_EQ(SceneToText(reloaded), ReadFile(path));
  // Rendering the saved file gives the preview's PNG byte for byte.
  RenderSetup setup;
  BuildRenderSetup(reloaded, 0, 0, &setup);
  RenderOptions options;
  options.samples = reloaded.samples;
  RenderImage image;
  RenderStats stats;
  std::string message;
  ASSERT_TRUE(Render(setup, options, &image, &stats, &message)) << message;
  EXPECT_EQ(EncodePng(image), lookdev->Preview({}).body);
  session.DeleteDocument(reloaded.document);

  // Loading it back through the page gives the same values.
  json before = Shader();
  ASSERT_EQ(lookdev->Load(R"({"path": "wall.json"})").status, 200);
  EXPECT_NE(Shader()["parameters"], before["parameters"]);
  Reply loaded = lookdev->Load(R"({"path": "edited.json"})");
  ASSERT_EQ(loaded.status, 200) << loaded.body;
  EXPECT_EQ(json::parse(loaded.body)["file"], "edited.json");
  EXPECT_EQ(Shader()["parameters"], before["parameters"]);
}

// The web server: page files, the guards against other sites, and library-made refusals.
TEST_F(LookdevTest, ServerAnswersOnlyItsOwnPageAndRefusesWithMessages) {
  LookdevServer server(*lookdev);
  std::string error;
  ASSERT_TRUE(server.Bind(0, &error)) << error;
  std::thread serving([&] { server.Run(); });
  httplib::Client client("127.0.0.1", server.Port());
  for (int i = 0; i < 200 && !client.Get("/"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("app.js"), std::string::npos);
  auto api = client.Get("/api/describe");
  ASSERT_TRUE(api);
  EXPECT_EQ(api->status, 200);

  auto refused = [](const httplib::Result& r, int status) {
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, status);
    EXPECT_FALSE(json::parse(r->body, nullptr, false).value("error", "").empty()) << r->body;
  };
  refused(client.Get("/api/nothing"), 404);
  refused(client.Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_INVERT", "value": true})",
                      "text/plain"),
          415);
  refused(client.Post("/api/param", std::string(kMaxRequestBytes + 100, ' '), "application/json"), 413);
  httplib::Headers otherHost = {{"Host", "attacker.example:80"}};
  refused(client.Get("/api/scene", otherHost), 403);
  refused(client.Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_NOPE", "value": 1})",
                      "application/json"),
          400);
  auto edit = client.Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_INVERT", "value": true})",
                          "application/json");
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->status, 200) << edit->body;

  server.Stop();
  serving.join();
}

}  // namespace
}  // namespace host
