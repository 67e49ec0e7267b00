// The page's edits of lights, the camera and built-in shaders, its view and its history:
// checked in the panel's units, every edit undoable, and the saved file renders as edited.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "lookdev_fixture.h"
#include "serve/host_params.h"

namespace host {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// The light settings a panel accepts and refuses, with the refusal told in the panel's unit.
TEST(HostParamsTest, LightSettingsAreCheckedInThePanelsUnits) {
  auto problem = [](const char* key, const json& v) {
    for (const HostParam& p : HostParamsOf("light"))
      if (std::string(p.key) == key) return HostParamProblem(p, v);
    ADD_FAILURE() << "no light setting " << key;
    return std::string();
  };
  // Sound values at the edges: no light at all is a value, not an error.
  for (const auto& [key, v] : std::vector<std::pair<const char*, json>>{
           {"brightness", 0}, {"radius", 0}, {"angle", 0}, {"angle", 180}, {"innerAngle", 180},
           {"position", {0, 0, -1e7}}, {"falloff", "inverse-square"}, {"type", "distant"}, {"enabled", false},
           {"color", {0, 0, 0}}})
    EXPECT_EQ(problem(key, v), "") << key << " " << v;
  EXPECT_EQ(problem("brightness", -0.5), "-50 % is below 0 %");
  EXPECT_EQ(problem("brightness", 1001), "100100 % is above 100000 %");
  EXPECT_EQ(problem("angle", 181), "181° is above 180°");
  EXPECT_EQ(problem("radius", -1), "-1 is below 0");
  EXPECT_EQ(problem("position", {2e7, 0, 0}), "20000000 is above 10000000");
  EXPECT_EQ(problem("direction", {0, 0, 0}), "a direction cannot be [0, 0, 0]");
  EXPECT_THAT(problem("color", "#zz0000"), HasSubstr("expected a colour [red, green, blue]"));
  EXPECT_THAT(problem("color", {1, "x", 0}), HasSubstr("of numbers"));
  EXPECT_THAT(problem("falloff", "cubic"), HasSubstr("expected one of none, inverse-square, linear"));
  EXPECT_THAT(problem("enabled", 1), HasSubstr("true or false"));
  EXPECT_THAT(problem("brightness", json()), HasSubstr("enter a number"));
}

class SceneEditsTest : public LookdevTest {
 protected:
  Reply Node(const std::string& node, const std::string& key, const json& value) {
    return lookdev->EditNode(json{{"node", node}, {"key", key}, {"value", value}}.dump());
  }
  Reply View(const json& body) { return lookdev->EditView(body.dump()); }
  json Scene() { return json::parse(lookdev->SceneState().body); }
  json Light(const std::string& name) {
    const json scene = Scene();
    for (const json& l : scene["lightNodes"])
      if (l["name"] == name) return l;
    return nullptr;
  }
  std::string Error(const Reply& r) {
    EXPECT_EQ(r.status, 400) << r.body;
    return json::parse(r.body).value("error", "");
  }
  /// The scene rendered as it is now, in float: every pixel must be a number.
  void ExpectEveryPixelFinite(const std::string& what) {
    const std::string text = lookdev->Snapshot().text;
    host::Scene scene;
    SceneError error;
    ASSERT_TRUE(LoadSceneText(session, text, "edit", &scene, &error)) << error.ToString();
    const RenderImage image = RenderWhole(scene);
    for (const Vec3& p : image.Pixels())
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << what;
    session.DeleteDocument(scene.document);
  }
};

// Every kind of edit goes through the history: undo gives back the scene byte for byte
// (and so its preview), redo the edit, a new edit forgets what redo could do.
TEST_F(SceneEditsTest, EveryEditIsUndoneAndRedoneExactly) {
  const std::string original = lookdev->Snapshot().text;
  const std::string preview = lookdev->Preview({}).body;
  ASSERT_EQ(Node("A", "color", {1, 1, 1}).status, 200);
  ASSERT_EQ(Param("XCORVANE_INVERT", true).status, 200);
  ASSERT_EQ(Lights("remove", "B").status, 200);
  ASSERT_EQ(View({{"action", "zoom"}, {"factor", 2}}).status, 200);
  const std::string edited = lookdev->Snapshot().text;
  EXPECT_EQ(Scene()["history"], json({{"undo", 4}, {"redo", 0}, {"undoLabel", "Zoom"}, {"redoLabel", ""}}));

  std::vector<std::string> labels;
  for (int i = 0; i < 4; ++i) {
    Reply r = lookdev->Undo("{}");
    ASSERT_EQ(r.status, 200) << r.body;
    labels.push_back(json::parse(r.body)["history"]["redoLabel"]);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Zoom", "Remove B from Lights", "Invert of Mask", "Colour of A"}));
  EXPECT_EQ(lookdev->Snapshot().text, original);
  EXPECT_EQ(lookdev->Preview({}).body, preview);
  EXPECT_FALSE(json::parse(lookdev->SceneState().body)["changed"]);
  Reply none = lookdev->Undo("{}");
  EXPECT_EQ(none.status, 409);
  EXPECT_EQ(json::parse(none.body)["error"], "Nothing to undo.");

  for (int i = 0; i < 4; ++i) ASSERT_EQ(lookdev->Redo("{}").status, 200);
  EXPECT_EQ(lookdev->Snapshot().text, edited);
  ASSERT_EQ(lookdev->Undo("{}").status, 200);
  ASSERT_EQ(Node("A", "brightness", 0.5).status, 200);  // a new edit: the zoom cannot come back
  EXPECT_EQ(lookdev->Redo("{}").status, 409);
  // Setting what is already there is no step; loading another file forgets them all.
  const int steps = Scene()["history"]["undo"];
  ASSERT_EQ(Node("A", "brightness", 0.5).status, 200);
  EXPECT_EQ(Scene()["history"]["undo"], steps);
  ASSERT_EQ(lookdev->Load(R"({"path": "wall.json"})").status, 200);
  EXPECT_EQ(Scene()["history"]["undo"], 0);
}

// The history keeps the latest kMaxHistorySteps edits: undoing them all ends after the
// first edits it let go, not at the file.
TEST_F(SceneEditsTest, TheHistoryKeepsTheLatestSteps) {
  const int edits = int(kMaxHistorySteps) + 5;
  for (int i = 1; i <= edits; ++i) ASSERT_EQ(Node("A", "brightness", i / 1000.0).status, 200);
  EXPECT_EQ(Scene()["history"]["undo"], kMaxHistorySteps);
  while (lookdev->Undo("{}").status == 200) {
  }
  EXPECT_EQ(Light("A")["brightness"], 5 / 1000.0);
  EXPECT_EQ(Scene()["history"]["redo"], kMaxHistorySteps);
}

// Light and sub-shader settings edited on the page are what Save writes and what a render
// of the saved file shows.
TEST_F(SceneEditsTest, SavedLightAndShaderEditsRenderAsThePreview) {
  ASSERT_EQ(Node("A", "type", "omni").status, 200);
  ASSERT_EQ(Node("A", "position", {10, 0, -5}).status, 200);
  ASSERT_EQ(Node("A", "falloff", "linear").status, 200);
  ASSERT_EQ(Node("A", "radius", 40).status, 200);
  ASSERT_EQ(Node("A", "brightness", 1.5).status, 200);
  ASSERT_EQ(Node("B", "enabled", false).status, 200);
  EXPECT_EQ(Light("A")["radius"], 40.0);
  EXPECT_EQ(Scene()["lightsOff"].count("B"), 1u);
  ASSERT_EQ(lookdev->Save(R"({"path": "lit.json"})").status, 200);

  host::Scene reloaded;
  SceneError error;
  ASSERT_TRUE(LoadSceneFile(session, folder.Join("served/lit.json"), &reloaded, &error)) << error.ToString();
  EXPECT_EQ(EncodePng(RenderWhole(reloaded)), lookdev->Preview({}).body);
  session.DeleteDocument(reloaded.document);
}

// Refusals name the setting by its label and the node, in the panel's unit, and change
// nothing; so does an edit of a light that another edit took away.
TEST_F(SceneEditsTest, RefusedEditsNameTheLabelAndChangeNothing) {
  const std::string before = lookdev->Snapshot().text;
  EXPECT_EQ(Error(Node("A", "brightness", -1)), "Intensity of A: -100 % is below 0 %");
  EXPECT_EQ(Error(Node("A", "angle", 200)), "Outer Angle of A: 200° is above 180°");
  EXPECT_EQ(Error(Node("A", "direction", {0, 0, 0})), "Direction of A: a direction cannot be [0, 0, 0]");
  EXPECT_EQ(Error(Node("A", "radius", "far")), "Radius of A: enter a number (found \"far\")");
  EXPECT_EQ(Error(Node("A", "XCORVANE_LIGHTS", 1)), "\"A\" has no setting XCORVANE_LIGHTS");
  EXPECT_THAT(Error(Node("Mask", "brightness", 1)), HasSubstr("no light, camera or built-in shader \"Mask\""));
  EXPECT_EQ(Error(Param("XCORVANE_SPARE_VALUE", 2.5)), "Spare Value: the value 250 % is outside the range 0 % to 100 %");
  EXPECT_EQ(Error(Param("XCORVANE_MIXMODE", 7)), "Mix Mode: the value 7 is not one of the choices 0 (Multiply), 1 (Add), 2 (Subtract)");
  EXPECT_EQ(Error(View({{"action", "zoom"}, {"factor", 0}})), "the request needs \"factor\", a number from 0 to 20");
  EXPECT_EQ(Error(View({{"action", "spin"}})), "unknown action \"spin\" (expected orbit, zoom or reset)");
  EXPECT_EQ(lookdev->Snapshot().text, before);
  EXPECT_EQ(Scene()["history"]["undo"], 0);

  // Another scene without light A took this one's place (as another tab's load would).
  folder.Write("served/only-b.json", WallWith({{"/lights", json::array({{{"name", "B"}, {"type", "distant"}}})},
                                               {"/shaders/0/parameters/XCORVANE_LIGHTS", json::array()}}));
  ASSERT_EQ(lookdev->Load(R"({"path": "only-b.json"})").status, 200);
  EXPECT_THAT(Error(Node("A", "brightness", 2)), HasSubstr("\"A\" in the scene (another edit may have removed it)"));
}

// Lights placed where the geometry of lighting degenerates: at the lit surface, behind the
// camera, very far, with a zero radius, a closed or a wide-open cone. Each renders without
// a NaN anywhere.
TEST_F(SceneEditsTest, DegenerateLightsRenderWithoutNaN) {
  ASSERT_EQ(Node("A", "type", "spot").status, 200);
  ASSERT_EQ(Node("A", "direction", {0, 0, 1}).status, 200);
  const std::vector<std::pair<const char*, std::vector<std::pair<std::string, json>>>> cases = {
      {"at the surface point", {{"position", {0, 0, 10}}, {"angle", 90}}},
      {"behind the camera", {{"position", {0, 0, -1e5}}, {"falloff", "inverse-square"}, {"radius", 1}}},
      {"very far", {{"position", {1e7, -1e7, 1e7}}, {"falloff", "linear"}, {"radius", 1e7}}},
      {"radius zero, linear", {{"position", {0, 0, 0}}, {"radius", 0}}},
      {"radius zero, inverse square", {{"falloff", "inverse-square"}}},
      {"closed cone", {{"falloff", "none"}, {"angle", 0}, {"innerAngle", 0}}},
      {"open cone", {{"angle", 180}, {"innerAngle", 180}}},
      {"huge intensity", {{"brightness", 1000}, {"color", {1000, 1000, 1000}}}},
  };
  for (const auto& [what, edits] : cases) {
    for (const auto& [key, value] : edits) ASSERT_EQ(Node("A", key, value).status, 200) << what << " " << key;
    ExpectEveryPixelFinite(what);
  }
}

// The view turns around the point the camera looks at, keeping its distance; zoom moves
// it closer; reset brings back the camera as saved.
TEST_F(SceneEditsTest, TheViewOrbitsZoomsAndResets) {
  // The wall scene's camera looks along +Z from the origin without a target: it turns
  // around the point 1000 units ahead.
  auto camera = [&] { return Scene()["camera"]; };
  auto vec = [](const json& j) { return Vec3{j[0].get<double>(), j[1].get<double>(), j[2].get<double>()}; };
  const json saved = camera();
  ASSERT_EQ(View({{"action", "orbit"}, {"yaw", 90}, {"pitch", 0}}).status, 200);
  Vec3 p = vec(camera()["position"]), pivot = p + vec(camera()["direction"]);
  EXPECT_NEAR(pivot.x, 0, 1e-9);
  EXPECT_NEAR(pivot.z, 1000, 1e-9);
  EXPECT_NEAR(p.x, -1000, 1e-9);  // a quarter turn: now looking along +X
  EXPECT_NEAR(p.z, 1000, 1e-9);
  // Up and over the top is stopped short of straight down.
  ASSERT_EQ(View({{"action", "orbit"}, {"yaw", 0}, {"pitch", 170}}).status, 200);
  p = vec(camera()["position"]);
  EXPECT_NEAR(Length(p - pivot), 1000, 1e-6);
  EXPECT_NEAR(std::asin((p.y - pivot.y) / 1000) * 180 / 3.14159265358979323846, 89, 1e-6);
  ASSERT_EQ(View({{"action", "zoom"}, {"factor", 4}}).status, 200);
  EXPECT_NEAR(Length(vec(camera()["position"]) - pivot), 250, 1e-6);
  EXPECT_NEAR(Length(vec(camera()["direction"])), 250, 1e-6);
  ExpectEveryPixelFinite("after orbit and zoom");
  ASSERT_EQ(View({{"action", "reset"}}).status, 200);
  EXPECT_EQ(camera(), saved);
  EXPECT_EQ(Scene()["history"]["undoLabel"], "Reset View");
}

}  // namespace
}  // namespace host
