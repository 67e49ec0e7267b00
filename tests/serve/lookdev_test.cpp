// The look-development page's requests without a browser: refused requests answer 4xx and
// change nothing, edits come back with the module's enabling, light-list edits, images,
// saving and loading inside the served folder (the web server around them: server_test).
#include "serve/lookdev.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "bitmap/bitmap.h"
#include "corvane_ids.h"
#include "lookdev_fixture.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_render.h"

namespace host {
namespace {

using nlohmann::json;
using namespace corvanetest;

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
  ASSERT_TRUE(LoadSceneFile(session, path, &reloaded, &error)) << error.ToString();
  EXPECT_EQ(SceneToText(reloaded), ReadFile(path));
  // Rendering the saved file gives the preview's PNG byte for byte.
  EXPECT_EQ(EncodePng(RenderWhole(reloaded)), lookdev->Preview({}).body);
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

// The preview and the swatch hold the scene while they render: their size and samples are
// limited, whether asked for or taken from the scene, and the refusal names the limits.
TEST_F(LookdevTest, PreviewsStayWithinTheirSizeAndSampleLimits) {
  const std::string side = std::to_string(kMaxPreviewSide), budget = std::to_string(kMaxPreviewSamples);
  auto refusal = [&](const Reply& r) {
    EXPECT_EQ(r.status, 400) << r.body;
    return json::parse(r.body).value("error", "");
  };
  EXPECT_THAT(refusal(lookdev->Preview({{"w", std::to_string(kMaxPreviewSide + 1)}})),
              ::testing::HasSubstr("from 1 to " + side));
  EXPECT_THAT(refusal(lookdev->Preview({{"w", side}, {"h", side}, {"spp", "2"}})),
              ::testing::AllOf(::testing::HasSubstr(budget), ::testing::HasSubstr(side)));
  EXPECT_EQ(lookdev->Preview({{"w", "64"}, {"h", "32"}, {"spp", "4"}}).status, 200);

  // A scene's own resolution or samples beyond the limits are no way around them.
  folder.Write("served/huge.json", WallWith({{"/camera/resolution", {4096, 4096}}}));
  folder.Write("served/costly.json",
               WallWith({{"/camera/resolution", {kMaxPreviewSide, kMaxPreviewSide}}, {"/render/samples", 2}}));
  ASSERT_EQ(lookdev->Load(R"({"path": "huge.json"})").status, 200);
  EXPECT_THAT(refusal(lookdev->Preview({})), ::testing::HasSubstr("the scene's own setting"));
  EXPECT_EQ(lookdev->Preview({{"w", "16"}, {"h", "16"}}).status, 200);
  ASSERT_EQ(lookdev->Load(R"({"path": "costly.json"})").status, 200);
  EXPECT_THAT(refusal(lookdev->Preview({})), ::testing::HasSubstr(budget));
}

// Links and lists name nodes of the scene, which the swatch's own scene lacks: stored ones
// stay behind, also under IDs that the description does not declare.
TEST_F(LookdevTest, SwatchOfAShaderWithUndeclaredLinksRenders) {
  folder.Write("served/linked.json",
               WallWith({{"/shaders/0/parameters/20000", {{"link", "Wall"}}},
                         {"/shaders/0/parameters/20001", json::array({{{"object", "A"}, {"flags", 1}}})}}));
  Reply loaded = lookdev->Load(R"({"path": "linked.json"})");
  ASSERT_EQ(loaded.status, 200) << loaded.body;
  ASSERT_TRUE(Shader()["parameters"].contains("20000")) << Shader().dump();
  Reply swatch = lookdev->Swatch({{"shader", "Mask"}, {"size", "16"}, {"spp", "1"}});
  ASSERT_EQ(swatch.status, 200) << swatch.body;
  int w = 0, h = 0;
  ASSERT_TRUE(PngSize(swatch.body, &w, &h));
  EXPECT_EQ(w, 16);
  // The scene itself keeps them.
  EXPECT_EQ(Shader()["parameters"]["20000"], json({{"link", "Wall"}}));
}

// What the page is told never shows where the served folder lies, and lists only files it
// may load; names longer than the system allows are refused as such.
TEST_F(LookdevTest, AnswersNameFilesRelativeToTheServedFolder) {
  namespace fs = std::filesystem;
  const std::string served = fs::weakly_canonical(folder.Join("served")).string();
  folder.Write("served/broken.json", "{\"version\": 1, \"shaders\": [");
  fs::create_directories(folder.Join("served/sub/taken.json"));
  fs::create_symlink(folder.Join("outside.json"), folder.Join("served/escape.json"));
  fs::create_symlink("wall.json", folder.Join("served/alias.json"));

  json files = json::parse(lookdev->Files().body);
  EXPECT_EQ(files["files"], json({"alias.json", "broken.json", "wall.json"})) << files.dump();
  EXPECT_EQ(lookdev->Load(R"({"path": "escape.json"})").status, 403);

  const std::string longName = std::string(300, 'n') + ".json";
  Reply tooLong = lookdev->Save(json{{"path", longName}}.dump());
  EXPECT_EQ(tooLong.status, 400);
  EXPECT_THAT(tooLong.body, ::testing::HasSubstr("name too long"));
  Reply longPath = lookdev->Save(json{{"path", std::string(1100, 'x') + ".json"}}.dump());
  EXPECT_EQ(longPath.status, 400);
  EXPECT_THAT(longPath.body, ::testing::HasSubstr("too long"));
  const std::string fits = std::string(200, 'f') + ".json";
  EXPECT_EQ(lookdev->Save(json{{"path", fits}}.dump()).status, 200);

  struct Case {
    const char* what;
    Reply reply;
    const char* says;
  };
  const std::string savedAs = "\"file\":\"" + fits + "\"";  // save as: the scene's file from then on
  Case cases[] = {
      {"files", lookdev->Files(), "wall.json"},
      {"save absolute", lookdev->Save(json{{"path", served + "/x.json"}}.dump()), "relative"},
      {"save outside", lookdev->Save(R"({"path": "../escaped.json"})"), "outside"},
      {"save over a folder", lookdev->Save(R"({"path": "sub/taken.json"})"), "sub/taken.json: cannot write"},
      {"load broken", lookdev->Load(R"({"path": "broken.json"})"), "broken.json:"},
      {"load missing", lookdev->Load(R"({"path": "sub/missing.json"})"), "sub/missing.json"},
      {"scene", lookdev->SceneState(), savedAs.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THAT(c.reply.body, ::testing::HasSubstr(c.says));
    EXPECT_THAT(c.reply.body, ::testing::Not(::testing::HasSubstr(served)));
    EXPECT_THAT(c.reply.body, ::testing::Not(::testing::HasSubstr(folder.Path())));
  }
}

// The scene's state holds each shader's own values, as saving writes them, for every one
// of many shaders (each serialised on its own).
TEST_F(LookdevTest, SceneStateHoldsEachShadersSavedValues) {
  json shaders = json::array();
  for (int i = 0; i < 6; ++i)
    shaders.push_back({{"name", "Mask" + std::to_string(i)},
                       {"plugin", "Corvane"},
                       {"parameters", {{"XCORVANE_INVERT", i % 2 == 1}, {"XCORVANE_OUTPUT", i % 2}}}});
  folder.Write("served/many.json", WallWith({{"/shaders", shaders}, {"/materials/0/shader", "Mask3"}}));
  ASSERT_EQ(lookdev->Load(R"({"path": "many.json"})").status, 200);

  Scene reference;
  SceneError error;
  ASSERT_TRUE(LoadSceneFile(session, folder.Join("served/many.json"), &reference, &error)) << error.ToString();
  const json saved = SceneToJson(reference)["shaders"];
  session.DeleteDocument(reference.document);
  const json editable = json::parse(lookdev->SceneState().body)["editable"];
  ASSERT_EQ(editable.size(), 6u);
  for (size_t i = 0; i < editable.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(editable[i]["name"], saved[i]["name"]);
    EXPECT_EQ(editable[i]["parameters"], saved[i]["parameters"]);
  }
  EXPECT_NE(editable[0]["parameters"], editable[1]["parameters"]);
}

// The page compares the current edit with the scene as last loaded or saved: that scene
// renders as before the edits until a save makes the edit the new saved state, and a
// worker restart (Snapshot/Restore) keeps both.
TEST_F(LookdevTest, TheSavedSceneRendersAsLastLoadedOrSaved) {
  const Query small = {{"w", "4"}, {"h", "4"}, {"spp", "1"}};
  auto preview = [&](const char* which) {
    Query q = small;
    q.emplace("scene", which);
    Reply r = lookdev->Preview(q);
    EXPECT_EQ(r.status, 200) << r.body;
    return r.body;
  };
  auto changed = [&] { return json::parse(lookdev->SceneState().body)["changed"].get<bool>(); };
  const std::string loaded = lookdev->Preview(small).body;
  EXPECT_EQ(preview("saved"), loaded);
  EXPECT_FALSE(changed());

  Reply edit = Param("XCORVANE_INVERT", true);
  ASSERT_EQ(edit.status, 200);
  EXPECT_TRUE(json::parse(edit.body)["sceneChanged"].get<bool>());
  const std::string edited = preview("current");
  EXPECT_NE(edited, loaded);
  EXPECT_EQ(preview("saved"), loaded);
  EXPECT_TRUE(changed());

  Lookdev restarted(session, folder.Join("served"));
  std::string error;
  ASSERT_TRUE(restarted.Restore(lookdev->Snapshot(), &error)) << error;
  Query q = small;
  q.emplace("scene", "saved");
  EXPECT_EQ(restarted.Preview(q).body, loaded);
  EXPECT_TRUE(json::parse(restarted.SceneState().body)["changed"].get<bool>());

  ASSERT_EQ(lookdev->Save(R"({"path": "edited.json"})").status, 200);
  EXPECT_EQ(preview("saved"), edited);
  EXPECT_FALSE(changed());
  EXPECT_EQ(json::parse(lookdev->SceneState().body)["file"], "edited.json");  // save as
  // Setting a value back is a change against the new saved state, and back again is none.
  ASSERT_EQ(Param("XCORVANE_INVERT", false).status, 200);
  EXPECT_TRUE(changed());
  EXPECT_FALSE(json::parse(Param("XCORVANE_INVERT", true).body)["sceneChanged"].get<bool>());
  EXPECT_FALSE(changed());

  Query bad = small;
  bad.emplace("scene", "yesterday");
  Reply refused = lookdev->Preview(bad);
  EXPECT_EQ(refused.status, 400);
  EXPECT_EQ(json::parse(refused.body)["error"], "scene must be \"current\" or \"saved\", not \"yesterday\"");
}

// Words beyond the description: a help line and the meaning of each list flag for the
// plug-in the host knows, and lights switched off in the scene named with a reason.
TEST_F(LookdevTest, ThePageLearnsTheFlagWordsAndWhichLightsAreOff) {
  const json plugin = json::parse(lookdev->Describe().body)["plugins"][0];
  EXPECT_FALSE(plugin["notes"]["help"].get<std::string>().empty());
  const json flags = plugin["notes"]["lists"]["XCORVANE_LIGHTS"];
  ASSERT_EQ(flags.size(), 2u);
  EXPECT_EQ(flags[0]["on"], "Active");
  EXPECT_EQ(flags[1]["on"], "Add");
  EXPECT_EQ(flags[1]["off"], "Subtract");
  EXPECT_EQ(plugin["notes"]["params"]["XCORVANE_GRADIENT"]["disabledHint"], "Used while Output is Gradient.");

  EXPECT_EQ(json::parse(lookdev->SceneState().body)["lightsOff"], json::object());
  folder.Write("served/off.json", WallWith({{"/lights/1/enabled", false}}));
  const json scene = json::parse(lookdev->Load(R"({"path": "off.json"})").body);
  const std::string off = scene["lights"][1];
  ASSERT_EQ(scene["lightsOff"].size(), 1u);
  EXPECT_THAT(scene["lightsOff"][off].get<std::string>(), ::testing::HasSubstr("switched off"));
}

}  // namespace
}  // namespace host
