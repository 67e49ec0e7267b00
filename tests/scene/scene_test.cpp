// Scene files in process: defaults under the file's values, round trips that lose nothing,
// and errors that name the place and the cause.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <numbers>

#include "core/ids.h"
#include "corvane_ids.h"
#include "scene/json_values.h"
#include "scene/scene_file.h"
#include "session/session.h"

namespace host {
namespace {

NameOfNode Names() {
  return [](const Node* n) { return NodeName(n); };
}

// Every node of a has a node of the same name, kind and type in b with an equal container,
// and the other way round.
void ExpectSameDocuments(const Document* a, const Document* b) {
  ASSERT_EQ(a->Nodes().size(), b->Nodes().size());
  for (const Node* na : a->Nodes()) {
    const Node* nb = b->FindNode(na->Name());
    ASSERT_NE(nullptr, nb) << na->Name();
    EXPECT_EQ(na->Type(), nb->Type()) << na->Name();
    EXPECT_EQ(NodeName(na->Parent()), NodeName(nb->Parent())) << na->Name();
    std::string difference;
    EXPECT_TRUE(SameContainer(na->Data(), nb->Data(), Names(), &difference))
        << na->Name() << ": " << difference;
  }
}

class SceneFileTest : public ::testing::Test {
 protected:
  bool Load(const std::string& text, Scene* scene, SceneError* error) {
    return LoadSceneText(host, text, "test.json", scene, error);
  }
  // Loads text expecting failure; returns the error.
  SceneError LoadError(const std::string& text) {
    Scene scene;
    SceneError error;
    EXPECT_FALSE(Load(text, &scene, &error)) << text;
    EXPECT_EQ(0u, host.Documents().size()) << "a failed load leaves no document behind";
    return error;
  }
  // Loads the plug-ins folder once; true when the Corvane shader registered.
  bool HaveCorvane() {
#ifdef CORVANE_PLUGINS_DIR
    if (!host.Plugins().Find(corvanetest::kCorvane)) host.LoadPluginsFolder(CORVANE_PLUGINS_DIR);
#endif
    return host.Plugins().Find(corvanetest::kCorvane) != nullptr;
  }

  Session host;
};

TEST_F(SceneFileTest, DefaultsComeFirstAndTheFileWinsOverThem) {
  Scene scene;
  SceneError error;
  ASSERT_TRUE(Load(R"({
    "camera": {"position": [0, 0, -10], "target": [0, 0, 10], "fov": 90, "resolution": [32, 16]},
    "render": {"background": [0.5, 0, 0], "samples": 3},
    "objects": [{"name": "S", "type": "sphere", "radius": 2.5}],
    "lights": [{"name": "L", "type": "spot", "angle": 60, "falloff": "linear", "parameters": {"1004": 12.0}}]
  })",
                   &scene, &error))
      << error.ToString();
  EXPECT_EQ(32, scene.width);
  EXPECT_EQ(16, scene.height);
  EXPECT_EQ(3, scene.samples);
  EXPECT_EQ(Vec3(0.5, 0, 0), scene.background);
  EXPECT_EQ(Vec3(0, 0, 20), scene.camera->Data().GetVector(OBJECT_DIRECTION)) << "target - position";
  EXPECT_DOUBLE_EQ(std::numbers::pi / 2, scene.camera->Data().GetFloat(CAMERA_FOV)) << "degrees in the file";

  const Node* sphere = scene.document->FindNode("S");
  EXPECT_EQ(2.5, sphere->Data().GetFloat(SPHERE_RADIUS));
  EXPECT_TRUE(sphere->IsEnabled()) << "default kept";
  const Node* light = scene.document->FindNode("L");
  EXPECT_EQ(LIGHT_TYPE_SPOT, light->Data().GetInt32(LIGHT_TYPE));
  EXPECT_EQ(LIGHT_FALLOFF_LINEAR, light->Data().GetInt32(LIGHT_FALLOFF));
  EXPECT_EQ(12.0, light->Data().GetFloat(LIGHT_FALLOFF_RADIUS)) << "numeric ID";
  EXPECT_EQ(Vec3(1, 1, 1), light->Data().GetVector(LIGHT_COLOR)) << "default kept";
}

TEST_F(SceneFileTest, CorvaneParametersBySymbolOrIdOnTopOfItsInit) {
  ASSERT_TRUE(HaveCorvane()) << "the Corvane module did not register";
  Scene scene;
  SceneError error;
  ASSERT_TRUE(Load(R"({
    "lights": [{"name": "A"}, {"name": "B"}],
    "shaders": [
      {"name": "C", "plugin": "Corvane", "parameters": {
        "XCORVANE_INVERT": true, "10005": 2, "XCORVANE_SHADER": "N",
        "XCORVANE_LIGHTS": [{"object": "A", "flags": 3}, {"object": "B", "flags": 1}]}},
      {"name": "N", "plugin": "noise"}]
  })",
                   &scene, &error))
      << error.ToString();
  const Node* c = scene.document->FindNode("C");
  ASSERT_NE(nullptr, c);
  EXPECT_TRUE(c->Data().GetBool(corvanetest::kInvert));
  EXPECT_EQ(2, c->Data().GetInt32(corvanetest::kMixMode));
  EXPECT_EQ(scene.document->FindNode("N"), c->Data().GetLink(corvanetest::kSubShader));
  EXPECT_EQ(c, scene.document->FindNode("N")->Parent()) << "a linked sub-shader goes below its user";
  const InExclude* list = c->Data().GetInExclude(corvanetest::kLights);
  ASSERT_NE(nullptr, list);
  ASSERT_EQ(2, list->Count());
  EXPECT_EQ(3, list->Flags(0));
  EXPECT_EQ(scene.document->FindNode("B"), list->ObjectFromIndex(nullptr, 1));
  // Init's defaults stay where the file says nothing.
  EXPECT_EQ(1.0, c->Data().GetFloat(corvanetest::kSpareValue));
  EXPECT_EQ(0, c->Data().GetInt32(corvanetest::kOutput));
  ASSERT_NE(nullptr, c->Data().GetGradient(corvanetest::kGradient));
  EXPECT_EQ(2u, c->Data().GetGradient(corvanetest::kGradient)->Knots().size());
}

TEST_F(SceneFileTest, LoadSaveLoadKeepsEveryContainer) {
  bool corvane = HaveCorvane();
  std::string text = R"({
    "camera": {"name": "Cam", "position": [1, 2, 3], "direction": [0, 0, 1], "fov": 33.3},
    "objects": [
      {"name": "P", "type": "plane", "width": 10, "material": "M",
       "parameters": {"777": 5, "778": 0.1, "779": "text", "780": [1, 2, 3],
                      "781": {"type": 4242, "data": "opaque bytes"}, "782": {"type": 19, "data": "nan"},
                      "783": {"link": "M"}, "784": {"link": null}, "785": [{"object": "Key", "flags": -7}],
                      "786": {"knots": [{"color": [1, 0, 0], "position": 0.25, "bias": 0.3, "interpolation": 5}],
                              "settings": {"1002": 1}}}},
      {"name": "G", "type": "null"}
    ],
    "lights": [{"name": "Key", "type": "distant", "angle": 12.345, "color": [0.1, 0.2, 0.3]}],
    "materials": [{"name": "M", "shader": "Top"}],
    "shaders": [
      {"name": "Top", "plugin": "checkerboard", "uScale": 3.0},
      {"name": "Loose", "plugin": "color", "owner": null},
      {"name": "Child", "plugin": "noise", "owner": "Top", "seed": 9}
    ]
  })";
  if (corvane) {
    const std::string plugin = std::to_string(corvanetest::kCorvane);
    text.replace(text.rfind(']'), 1,
                 R"(, {"name": "Mask", "plugin": )" + plugin + R"(, "owner": "M", "parameters": {
        "XCORVANE_LIGHTS": [{"object": "Key", "flags": 3}], "XCORVANE_SHADER": "Loose", "XCORVANE_OUTPUT": 1,
        "XCORVANE_SPARE_VALUE": {"type": 19, "data": "2"}, "12345": true, "10003": {"type": 19, "data": "0.5"}}}])");
  }
  Scene first, second, third;
  SceneError error;
  ASSERT_TRUE(Load(text, &first, &error)) << error.ToString();
  std::string saved = SceneToText(first);
  ASSERT_TRUE(Load(saved, &second, &error)) << error.ToString() << "\n" << saved;
  ExpectSameDocuments(first.document, second.document);
  EXPECT_EQ(first.width, second.width);
  EXPECT_TRUE(std::isnan(second.document->FindNode("P")->Data().GetFloat(782)));
  // A second save writes the same text: the normal form is stable.
  EXPECT_EQ(saved, SceneToText(second));
  ASSERT_TRUE(Load(SceneToText(second), &third, &error));
  ExpectSameDocuments(first.document, third.document);
}

TEST_F(SceneFileTest, ErrorsNameThePlaceAndTheCause) {
  struct Case {
    const char* text;
    const char* path;
    const char* cause;
  };
  const Case cases[] = {
      {R"({"objects": [{"name": "A", "type": "sphere", "material": "Nope"}]})", "objects[0] \"A\" / material",
       "unknown node \"Nope\""},
      {R"({"objects": [{"name": "A", "type": "sphere", "radius": "big"}]})", "radius", "expected REAL"},
      {R"({"objects": [{"name": "A", "type": "teapot"}]})", "type", "unknown object type"},
      {R"({"objects": [{"name": "A", "type": "box", "colour": [1, 0, 0]}]})", "colour", "unknown key"},
      {R"({"lights": [{"name": "A"}, {"name": "A"}]})", "lights[1]", "used twice"},
      {R"({"lights": [{"name": "A", "type": "laser"}]})", "type", "unknown value \"laser\""},
      {R"({"shaders": [{"name": "S", "plugin": "Nonexistent"}]})", "plugin",
       "unknown plug-in \"Nonexistent\""},
      {R"({"shaders": [{"name": "S", "plugin": "color", "owner": "S"}]})", "owner", "cannot attach"},
      {R"({"shaders": [{"name": "S", "plugin": "noise", "parameters": {"NOISE_SEED": 1}}]})", "NOISE_SEED",
       "numeric ID"},
      {R"({"shaders": [{"name": "S", "plugin": "noise", "parameters": {"1": {"link": "S"}}}]})", "shaders[0]",
       "cycle"},
      {R"({"camera": {"resolution": [0, 10]}})", "resolution", "from 1 to 65536"},
      {R"({"materials": [{"name": "M", "parameters": {"9": {"type": 15, "data": "x"}}}]})", "9",
       "not a valid"},
      {R"({"render": {"samples": 0}})", "samples", "from 1 to 4096"},
      {R"({"scene": 1})", "scene", "unknown key"},
      {R"([1, 2])", "", "must be a JSON object"},
  };
  for (const Case& c : cases) {
    SceneError e = LoadError(c.text);
    EXPECT_NE(std::string::npos, e.path.find(c.path)) << c.text << " -> " << e.ToString();
    EXPECT_NE(std::string::npos, e.message.find(c.cause)) << c.text << " -> " << e.ToString();
    EXPECT_EQ(0, e.line) << "well-formed JSON has no line to report";
  }
}

TEST_F(SceneFileTest, CorvaneErrorsWrongTypesAndSelfLinks) {
  ASSERT_TRUE(HaveCorvane()) << "the Corvane module did not register";
  SceneError e = LoadError(
      R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_INVERT": "yes"}}]})");
  EXPECT_NE(std::string::npos, e.message.find("true or false")) << e.ToString();
  e = LoadError(R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_INVERT": 2}}]})");
  EXPECT_NE(std::string::npos, e.message.find("true or false")) << e.ToString();
  e = LoadError(R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_NOPE": 1}}]})");
  EXPECT_NE(std::string::npos, e.message.find("has no parameter XCORVANE_NOPE")) << e.ToString();
  e = LoadError(
      R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_GRADIENT": [1, 2, 3]}}]})");
  EXPECT_NE(std::string::npos, e.message.find("expected GRADIENT")) << e.ToString();
  e = LoadError(
      R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_SHADER": "C"}}]})");
  EXPECT_NE(std::string::npos, e.message.find("\"C\" -> \"C\"")) << e.ToString();
  e = LoadError(R"({"shaders": [
      {"name": "A", "plugin": "Corvane", "parameters": {"XCORVANE_SHADER": "B"}},
      {"name": "B", "plugin": "Corvane", "parameters": {"XCORVANE_SHADER": "A"}}]})");
  EXPECT_NE(std::string::npos, e.message.find("cycle")) << e.ToString();
}

TEST_F(SceneFileTest, BadJsonReportsLineAndColumn) {
  SceneError e = LoadError("{\n  \"objects\": [\n    {\"name\": \"A\",, }\n  ]\n}\n");
  EXPECT_EQ("test.json", e.file);
  EXPECT_EQ(3, e.line);
  EXPECT_EQ(18, e.column);
  EXPECT_NE(std::string::npos, e.message.find("invalid JSON")) << e.ToString();
  EXPECT_EQ(0u, e.ToString().find("test.json:3:18: invalid JSON"));

  e = LoadError("{\"objects\": [");
  EXPECT_EQ(1, e.line);
  e = LoadError("");
  EXPECT_EQ(1, e.line);

  int line, column;
  LineColumn("ab\ncd\n\nx", 7, &line, &column);
  EXPECT_EQ(4, line);
  EXPECT_EQ(1, column);
}

TEST(SceneFileMissingTest, MissingFileIsNamed) {
  Host host;
  Scene scene;
  SceneError e;
  EXPECT_FALSE(LoadSceneFile(host, "/nonexistent/scene.json", &scene, &e));
  EXPECT_EQ("/nonexistent/scene.json", e.file);
  EXPECT_NE(std::string::npos, e.message.find("cannot open")) << e.ToString();
}

TEST(JsonValueTest, KnownTypesCheckTheFormAndUnknownOnesInferIt) {
  Value v;
  std::string error;
  using nlohmann::json;
  EXPECT_TRUE(JsonToValue(json(3), C4D_DTYPE_REAL, nullptr, &v, &error));
  EXPECT_EQ(Value::Kind::Float, v.GetKind()) << "an integer is a fine REAL";
  EXPECT_FALSE(JsonToValue(json(3.5), C4D_DTYPE_LONG, nullptr, &v, &error));
  EXPECT_FALSE(JsonToValue(json(int64_t(1) << 40), C4D_DTYPE_LONG, nullptr, &v, &error)) << "beyond 32 bits";
  EXPECT_FALSE(JsonToValue(json::array({1, 2}), C4D_DTYPE_VECTOR, nullptr, &v, &error));
  EXPECT_FALSE(JsonToValue(json("x"), C4D_DTYPE_LINK, nullptr, &v, &error));
  EXPECT_NE(std::string::npos, error.find("unknown node \"x\""));

  EXPECT_TRUE(JsonToValue(json(true), 0, nullptr, &v, &error));
  EXPECT_EQ(1, v.GetInt32());
  EXPECT_TRUE(JsonToValue(json(2.0), 0, nullptr, &v, &error));
  EXPECT_EQ(Value::Kind::Float, v.GetKind());
  EXPECT_TRUE(JsonToValue(json::array(), 0, nullptr, &v, &error));
  EXPECT_EQ(Value::Kind::InExclude, v.GetKind());
  EXPECT_FALSE(JsonToValue(json(nullptr), 0, nullptr, &v, &error));
}

// ---- integers, explicit values, nesting, long chains -------------------------------------

TEST(JsonValueTest, Int32ReadersTakeIntegersInRangeAndNothingElse) {
  using nlohmann::json;
  int32_t v = 0;
  EXPECT_TRUE(ReadInt32(json(INT32_MIN), &v) && v == INT32_MIN);
  EXPECT_TRUE(ReadInt32(json(uint32_t(INT32_MAX)), &v) && v == INT32_MAX) << "stored unsigned";
  for (const json& j :
       {json(int64_t(INT32_MAX) + 1), json(int64_t(INT32_MIN) - 1), json(UINT64_MAX),
        json(int64_t(4294972396)), json(true), json(2.0), json(1e3), json("5"), json(nullptr)})
    EXPECT_FALSE(ReadInt32(j, &v)) << j.dump();
  EXPECT_TRUE(ReadInt32Text("-2147483648", &v) && v == INT32_MIN);
  EXPECT_TRUE(ReadInt32Text("0010008", &v) && v == 10008);
  for (const char* text : {"", "-", "+1", " 1", "1 ", "1.0", "1e3", "0x10", "2147483648", "-2147483649",
                           "4294972396", "99999999999999999999"})
    EXPECT_FALSE(ReadInt32Text(text, &v)) << '"' << text << '"';
  EXPECT_EQ(10008, v) << "a refused text leaves the value alone";
}

TEST_F(SceneFileTest, ValuesTheDescriptionRefusesFailNamingWhatIsAllowed) {
  if (!HaveCorvane()) GTEST_SKIP() << "the Corvane module is not built";
  auto corvane = [](const std::string& params) {
    return R"({"lights": [{"name": "L", "type": "omni"}], "shaders": [{"name": "Mask", "plugin": "Corvane",
        "parameters": {)" +
           params + "}}]}";
  };
  struct Case {
    std::string params, cause;
  };
  const Case cases[] = {
      {R"("XCORVANE_MIXMODE": 5)",
       "\"Mix Mode\" (XCORVANE_MIXMODE): the value 5 is not one of the choices 0 (Multiply), 1 (Add), 2 "
       "(Subtract)"},
      {R"("XCORVANE_OUTPUT": -1)",
       "(XCORVANE_OUTPUT): the value -1 is not one of the choices 0 (Grey), 1 (Gradient)"},
      // Stored 0..1, shown 0..100 %: both forms in the message.
      {R"("XCORVANE_SPARE_VALUE": 1.5)",
       "(XCORVANE_SPARE_VALUE): the value 1.5 (150 %) is outside the range 0 (0 %) to 1 (100 %)"},
      {R"("XCORVANE_SPARE_VALUE": -0.01)", "the value -0.01 (-1 %) is outside"},
      // Two flags declared: 0 to 3.
      {R"("XCORVANE_LIGHTS": [{"object": "L", "flags": 4}])",
       "(XCORVANE_LIGHTS): entry 0 has the flags 4, beyond the 2 flags declared (0 to 3)"},
      {R"("XCORVANE_LIGHTS": [{"object": "L", "flags": -1}])", "entry 0 has the flags -1"},
  };
  for (const Case& c : cases) {
    const SceneError e = LoadError(corvane(c.params));
    EXPECT_EQ("shaders[0] \"Mask\" / parameters / " + c.params.substr(1, c.params.find('"', 1) - 1), e.path)
        << c.params;
    EXPECT_NE(std::string::npos, e.message.find(c.cause)) << c.params << " -> " << e.ToString();
    EXPECT_FALSE(e.whileWorking);
  }

  // The edges of what is allowed load.
  Scene scene;
  SceneError error;
  ASSERT_TRUE(Load(corvane(R"("XCORVANE_MIXMODE": 2, "XCORVANE_SPARE_VALUE": 1, "XCORVANE_OUTPUT": 1,
      "XCORVANE_LIGHTS": [{"object": "L", "flags": 3}])"),
                   &scene, &error))
      << error.ToString();

  // The explicit form keeps any value (a mix mode of 7 reaches the shader as written), and
  // saving writes such a value in that form, so the saved file loads again.
  ASSERT_TRUE(Load(corvane(R"("XCORVANE_MIXMODE": {"type": 15, "data": "7"})"), &scene, &error))
      << error.ToString();
  EXPECT_EQ(7, scene.document->FindNode("Mask")->Data().GetInt32(corvanetest::kMixMode));
  const std::string saved = SceneToText(scene);
  EXPECT_NE(std::string::npos, saved.find(R"("XCORVANE_MIXMODE": {"data": "7", "type": 15})")) << saved;
  Scene again;
  ASSERT_TRUE(Load(saved, &again, &error)) << error.ToString();
  EXPECT_EQ(7, again.document->FindNode("Mask")->Data().GetInt32(corvanetest::kMixMode));
}

TEST_F(SceneFileTest, OutOfRangeIdsAndIncompleteExplicitValuesAreRefused) {
  const std::string range = "an integer from -2147483648 to 2147483647";
  auto param = [](const std::string& value) {
    return R"({"materials": [{"name": "M", "parameters": {"9": )" + value + "}}]}";
  };
  struct Case {
    std::string text, path, cause;
  };
  const Case cases[] = {
      // Beyond 32 bits an ID used to wrap around to another one.
      {R"({"objects": [{"name": "A", "type": 4294972396}]})", "objects[0] \"A\" / type",
       "the type ID 4294972396 is out of range (expected " + range + ")"},
      {R"({"shaders": [{"name": "S", "plugin": 4296025125}]})", "shaders[0] \"S\" / plugin",
       "the plug-in ID 4296025125 is out of range (expected " + range + ")"},
      {R"({"shaders": [{"name": "S", "plugin": -2147483649}]})", "plugin", "-2147483649 is out of range"},
      {R"({"lights": [{"name": "L", "type": 4294967296}]})", "lights[0] \"L\" / type",
       "4294967296 is out of range (expected distant, omni, spot or " + range + ")"},
      {R"({"lights": [{"name": "L", "falloff": true}]})", "falloff", "unknown value true"},
      {R"({"shaders": [{"name": "N", "plugin": "noise", "seed": 4294967296}]})", "seed",
       "4294967296 is out of range"},
      {param(R"({"type": 4294967315, "data": "1"})"), "/ 9", "\"type\": 4294967315 is out of range"},
      {param(R"({"knots": [{"index": 4294967296}]})"), "/ 9", "\"index\": 4294967296 is out of range"},
      {param(R"({"knots": [], "settings": {"4294968298": 1}})"), "/ 9", "\"4294968298\" is not a numeric ID"},
      {param(R"([{"object": "M", "flags": 4294967299}])"), "/ 9", "\"flags\": 4294967299 is out of range"},
      // Explicit values need all of their data and nothing after it.
      {param(R"({"type": 19, "data": ""})"), "/ 9", "\"\" is not a valid REAL: expected one number"},
      {param(R"({"type": 19, "data": "0.5 m"})"), "/ 9", "not a valid REAL"},
      {param(R"({"type": 19, "data": "1e999"})"), "/ 9", "not a valid REAL"},
      {param(R"({"type": 23, "data": "1"})"), "/ 9", "\"1\" is not a valid VECTOR: expected three numbers"},
      {param(R"({"type": 23, "data": "1 2"})"), "/ 9", "not a valid VECTOR"},
      {param(R"({"type": 23, "data": "1 2 3 4"})"), "/ 9", "not a valid VECTOR"},
      {param(R"({"type": 15, "data": ""})"), "/ 9", "\"\" is not a valid LONG: expected " + range},
      {param(R"({"type": 15, "data": "4294967296"})"), "/ 9", "not a valid LONG"},
      {param(R"({"type": 15, "data": "7.5"})"), "/ 9", "not a valid LONG"},
  };
  for (const Case& c : cases) {
    SceneError e = LoadError(c.text);
    EXPECT_NE(std::string::npos, e.path.find(c.path)) << c.text << " -> " << e.ToString();
    EXPECT_NE(std::string::npos, e.message.find(c.cause)) << c.text << " -> " << e.ToString();
  }

  // The documented forms still load, to the value written.
  Scene scene;
  SceneError error;
  ASSERT_TRUE(Load(R"({"objects": [{"name": "A", "type": 2147483647, "parameters": {
      "1": {"type": 19, "data": "nan"}, "2": {"type": 19, "data": "-inf"}, "3": {"type": 19, "data": "inf"},
      "4": {"type": 19, "data": "4.9406564584124654e-324"}, "5": {"type": 23, "data": "1 -2.5 3e2"},
      "6": {"type": 15, "data": "-2147483648"}, "7": {"type": 130, "data": ""}, "8": {"type": 4242, "data": ""}}}],
    "lights": [{"name": "L", "type": 2, "falloff": "LINEAR"}],
    "shaders": [{"name": "S", "plugin": 5832}]})",
                   &scene, &error))
      << error.ToString();
  const Container& a = scene.document->FindNode("A")->Data();
  EXPECT_EQ(2147483647, scene.document->FindNode("A")->Type());
  EXPECT_TRUE(std::isnan(a.GetFloat(1)));
  EXPECT_EQ(-INFINITY, a.GetFloat(2));
  EXPECT_EQ(INFINITY, a.GetFloat(3));
  EXPECT_EQ(std::numeric_limits<double>::denorm_min(), a.GetFloat(4));
  EXPECT_EQ(Vec3(1, -2.5, 300), a.GetVector(5));
  EXPECT_EQ(INT32_MIN, a.GetInt32(6));
  EXPECT_EQ(2, scene.document->FindNode("L")->Data().GetInt32(LIGHT_TYPE));
  EXPECT_EQ(LIGHT_FALLOFF_LINEAR, scene.document->FindNode("L")->Data().GetInt32(LIGHT_FALLOFF));
  EXPECT_EQ(5832, scene.document->FindNode("S")->Type());
}

TEST_F(SceneFileTest, NestingBeyondTheLimitIsRefusedWithItsPlace) {
  auto nested = [](int levels) {
    return std::string(size_t(levels), '[') + std::string(size_t(levels), ']');
  };
  // 100,000 levels crashed the loader: printing the value for a message recursed per level.
  SceneError e = LoadError(nested(100000));
  EXPECT_EQ("test.json:1:257: arrays and objects nest deeper than 256 levels", e.ToString());
  e = LoadError("{\"objects\": [\n  {\"name\": \"A\", \"type\": " + nested(100000) + "}]}");
  EXPECT_EQ(2, e.line);
  EXPECT_EQ(25 + 253, e.column) << "the value starts at column 25; three levels are the scene's own";
  // At the limit the value is read and refused for what it is.
  e = LoadError("{\"objects\": [{\"name\": \"A\", \"type\": \"box\", \"size\": " + nested(253) + "}]}");
  EXPECT_NE(std::string::npos, e.message.find("expected VECTOR")) << e.ToString();
  // Brackets in text are not nesting.
  Scene scene;
  SceneError error;
  EXPECT_TRUE(Load("{\"lights\": [{\"name\": \"" + std::string(100000, '[') + "\\\"{\"}]}", &scene, &error))
      << error.ToString();
}

/// Runs fn on a thread with a stack of `bytes`: code that recursed once per element of a
/// long input overflows it (and crashes) at a size a sanitizer build still runs quickly.
void OnSmallStack(size_t bytes, const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, bytes);
  pthread_t thread;
  auto call = [](void* f) -> void* {
    (*static_cast<const std::function<void()>*>(f))();
    return nullptr;
  };
  ASSERT_EQ(0, pthread_create(&thread, &attr, call, const_cast<std::function<void()>*>(&fn)));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST_F(SceneFileTest, ALongShaderChainLoadsSavesAndFindsItsCycleOnASmallStack) {
  // Each shader links the next; the loader's cycle search recursed once per link and
  // crashed. 20,000 links on a 512 KiB stack overflow any search that takes a stack frame per
  // link; that loading takes time linear in the chain is shown by load_bench (SceneChain).
  constexpr int kShaders = 20000;
  auto chain = [&](const std::string& lastLink) {
    std::string text = R"({"materials": [{"name": "M", "shader": "S0"}], "shaders": [)";
    for (int i = 0; i + 1 < kShaders; ++i)
      text += R"({"name": "S)" + std::to_string(i) +
              R"(", "plugin": "noise", "parameters": {"1": {"link": "S)" + std::to_string(i + 1) + "\"}}},\n";
    return text + R"({"name": "S)" + std::to_string(kShaders - 1) + R"(", "plugin": "color")" + lastLink +
           "}]}";
  };
  auto depthOf = [](const Node* n) {
    int depth = 0;
    for (; n->Parent(); n = n->Parent()) ++depth;
    return depth;
  };
  OnSmallStack(512 << 10, [&] {
    SceneError e = LoadError(chain(R"(, "parameters": {"1": {"link": "S19997"}})"));
    EXPECT_EQ("shaders[19999] \"S19999\"", e.path);
    EXPECT_EQ(
        "sub-shader links form a cycle: \"S19997\" -> \"S19998\" -> \"S19999\" -> \"S19997\" (a shader "
        "cannot sample itself)",
        e.message);

    Scene scene, again;
    SceneError error;
    ASSERT_TRUE(Load(chain(""), &scene, &error)) << error.ToString();
    const Node* last = scene.document->FindNode("S" + std::to_string(kShaders - 1));
    EXPECT_EQ(kShaders, depthOf(last)) << "every shader below the one that links it, the first below M";
    EXPECT_EQ("", FindShaderCycle(*scene.document));
    // The saved form names every owner: the same tree again.
    ASSERT_TRUE(Load(SceneToText(scene), &again, &error)) << error.ToString();
    EXPECT_EQ(kShaders, depthOf(again.document->FindNode(last->Name())));
  });
}

}  // namespace
}  // namespace host
