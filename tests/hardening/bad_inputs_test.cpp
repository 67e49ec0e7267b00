// The bad inputs of docs/bad-inputs.md that the host meets through a plug-ins folder and a
// document: broken icons and resources, junk beside the module, odd light values, huge
// light lists and sub-shader cycles. Each case checks what the user sees (console lines)
// and that the rest survived (module loaded, shader registered, other samples intact).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <cmath>
#include <limits>
#include <string>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/lights.h"
#include "session/session.h"
#include "module_fixture.h"
#include "session_support.h"

namespace hardening {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kRegisterFailure = "Failed to register the Corvane plugin.";
constexpr const char* kResourceFailure = "Corvane: failed to load resource file.";

class BadInputTest : public SessionTest {
 protected:
  /// Loads the sandbox's plug-ins folder; the console lines it printed stay readable.
  void Load() { host->LoadPluginsFolder(sandbox->Folder().Join("plugins")); }
  std::vector<std::string> Lines() const { return host::Console().Lines(); }
  void Res(const std::string& rel, const std::string& text) {
    sandbox->Folder().Write("plugins/corvane/res/" + rel, text);
  }
  std::string Description() const {
    std::ifstream in(std::string(CORVANE_RES_DIR) + "/description/xcorvane.res");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  /// Renders a self-contained Corvane sample with one light of average 0.5 (not the
  /// empty-list fallback 1.0): the registered shader still works and counts the light.
  host::Vec3 RenderOneSample() {
    host::Document* doc = host->NewDocument("check");
    host::Node* light = NewLight(doc, host::LIGHT_TYPE_OMNI, {0.75, 0.5, 0.25});
    host::Node* s = doc->CreateShader(kCorvane, "check");
    if (!s) return host::Vec3(-1, -1, -1);
    host::InExclude list;
    list.Append(light, kFlagsOnPositive);
    s->Data().Set(kLights, host::Value::FromInExclude(list));
    Prepare(doc, s);
    Sample sample;
    host::Vec3 c = host::SampleShader(s, &sample.cd);
    host::ShaderFreeRender(s);
    host->DeleteDocument(doc);
    return c;
  }

};

// ---- icons and resources ----------------------------------------------------------------

TEST_F(BadInputTest, TruncatedAndCorruptIconsLeaveTheShaderRegistered) {
  sandbox->Folder().Copy(std::string(CORVANE_TEST_DATA) + "/images/truncated.png",
                         "plugins/corvane/res/negative.png");
  sandbox->Folder().Copy(std::string(CORVANE_TEST_DATA) + "/images/corrupt_header.png",
                         "plugins/corvane/res/positive.png");
  Load();
  ASSERT_EQ(1u, host->Modules().size());
  EXPECT_EQ(1, host->Modules()[0]->Codes().start);
  EXPECT_NE(nullptr, host->Plugins().Find(kCorvane));
  host::IconInfo icon;
  EXPECT_FALSE(host::FindIcon(kIconNegative, &icon)) << "an undecodable icon is not registered";
  EXPECT_FALSE(host::FindIcon(kIconPositive, &icon));
  EXPECT_THAT(Lines(), ::testing::Not(Contains(kRegisterFailure)));
  EXPECT_EQ(0.5, RenderOneSample().x);
}

TEST_F(BadInputTest, MissingResFolderFailsTheStartWithTwoConsoleLines) {
  sandbox->Folder().Remove("plugins/corvane/res");
  Load();
  ASSERT_EQ(1u, host->Modules().size()) << "the module stays loaded";
  EXPECT_EQ(-1, host->Modules()[0]->Codes().loadResource);
  EXPECT_EQ(0, host->Modules()[0]->Codes().start);
  EXPECT_THAT(Lines(), Contains(kResourceFailure));
  EXPECT_THAT(Lines(), Contains(kRegisterFailure));
  EXPECT_EQ(nullptr, host->Plugins().Find(kCorvane));
}

TEST_F(BadInputTest, BrokenStringTableFailsTheResourceLoad) {
  Res("strings_en-US/c4d_strings.str", "STRINGTABLE { IDS_CORVANE \"Corvane\" }");
  Load();
  ASSERT_EQ(1u, host->Modules().size());
  EXPECT_EQ(-1, host->Modules()[0]->Codes().loadResource);
  EXPECT_THAT(Lines(), Contains(kResourceFailure));
}

struct BrokenDescription {
  const char* name;
  const char* file;         // res-relative file to replace (or remove when text is null)
  const char* find;         // replaced in the real description (with `text`)
  const char* text;
  const char* hostMessage;  // part of the host's console line naming file, line and cause
};

class BrokenDescriptionTest : public BadInputTest, public ::testing::WithParamInterface<BrokenDescription> {};

TEST_P(BrokenDescriptionTest, RegistrationFailsWithALocatedMessage) {
  const BrokenDescription& c = GetParam();
  if (c.text == nullptr) {
    sandbox->Folder().Remove(std::string("plugins/corvane/res/") + c.file);
  } else {
    std::string res = Description();
    size_t at = res.find(c.find);
    ASSERT_NE(std::string::npos, at) << c.find;
    res.replace(at, std::string(c.find).size(), c.text);
    Res(c.file, res);
  }
  Load();
  ASSERT_EQ(1u, host->Modules().size()) << "the module stays loaded";
  EXPECT_EQ(1, host->Modules()[0]->Codes().loadResource) << "texts still load";
  EXPECT_EQ(0, host->Modules()[0]->Codes().start);
  EXPECT_EQ(nullptr, host->Plugins().Find(kCorvane));
  EXPECT_THAT(Lines(), Contains(kRegisterFailure));
  bool located = false;
  for (const std::string& line : Lines()) located |= line.find(c.hostMessage) != std::string::npos;
  EXPECT_TRUE(located) << ::testing::PrintToString(Lines());
  // What the catalogue quotes.
  for (const std::string& line : Lines()) std::cout << "[console] " << line << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, BrokenDescriptionTest,
    ::testing::Values(
        BrokenDescription{"missing", "description/xcorvane.res", "", nullptr, "xcorvane.res"},
        BrokenDescription{"unknown_element", "description/xcorvane.res", "GRADIENT XCORVANE_GRADIENT",
                          "WIDGET XCORVANE_GRADIENT", "xcorvane.res:"},
        BrokenDescription{"duplicate_id", "description/xcorvane.res", "GRADIENT XCORVANE_GRADIENT",
                          "GRADIENT XCORVANE_INVERT", "xcorvane.res:"},
        BrokenDescription{"unterminated", "description/xcorvane.res", "GRADIENT XCORVANE_GRADIENT { }",
                          "GRADIENT XCORVANE_GRADIENT {", "xcorvane.res:"},
        BrokenDescription{"unknown_symbol", "description/xcorvane.res", "BOOL XCORVANE_INVERT",
                          "BOOL XCORVANE_NOT_DECLARED", "xcorvane.res:"}),
    [](const ::testing::TestParamInfo<BrokenDescription>& p) { return std::string(p.param.name); });

// ---- the plug-ins folder ----------------------------------------------------------------

TEST_F(BadInputTest, NonModuleFilesBesideTheModuleAreRefusedOneByOne) {
  sandbox->Folder().Write("plugins/readme.txt", "not a module");
  sandbox->Folder().Write("plugins/junk/notes.xso64", "plain text with a module's extension");
  sandbox->Folder().Write("plugins/junk/empty.xso64", "");
  sandbox->Folder().Copy(std::string(CORVANE_RES_DIR) + "/negative.png", "plugins/junk/picture.xso64");
  Load();
  ASSERT_EQ(1u, host->Modules().size());
  EXPECT_EQ(3u, host->Refused().size()) << ".txt is not looked at; the three .xso64 files are refused";
  for (const host::RefusedModule& r : host->Refused()) EXPECT_THAT(r.reason, HasSubstr("not a loadable module"));
  EXPECT_NE(nullptr, host->Plugins().Find(kCorvane));
  EXPECT_EQ(0.5, RenderOneSample().x);
}

// ---- documents ----------------------------------------------------------------------------

class BadSceneTest : public BadInputTest {
 protected:
  void SetUp() override {
    BadInputTest::SetUp();
    Load();
    ASSERT_NE(nullptr, host->Plugins().Find(kCorvane));
    doc = host->NewDocument("bad");
  }
  host::Node* Corvane(std::initializer_list<host::Node*> lights) {
    host::Node* s = doc->CreateShader(kCorvane, "Corvane");
    host::InExclude list;
    for (host::Node* l : lights) list.Append(l, kFlagsOnPositive);
    s->Data().Set(kLights, host::Value::FromInExclude(list));
    return s;
  }
  host::Vec3 Render(host::Node* s) {
    EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, s));
    Sample sample;
    host::Vec3 c = host::SampleShader(s, &sample.cd);
    host::ShaderFreeRender(s);
    return c;
  }
  host::Document* doc = nullptr;
};

TEST_F(BadSceneTest, NonFiniteAndNegativeLightValuesGiveAValueInZeroToOne) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    host::Vec3 color;
    double brightness;
  } cases[] = {{"nan colour", {nan, nan, nan}, 1},   {"nan brightness", {1, 1, 1}, nan},
               {"+inf brightness", {1, 1, 1}, inf}, {"-inf brightness", {1, 1, 1}, -inf},
               {"negative colour", {-1, -2, -3}, 1}, {"negative brightness", {1, 1, 1}, -5},
               {"inf x 0", {inf, 0, 0}, 0}};
  for (const Case& c : cases) {
    host::Node* light = NewLight(doc, host::LIGHT_TYPE_OMNI, c.color, c.brightness);
    host::Vec3 out = Render(Corvane({light}));
    EXPECT_TRUE(out.x >= 0 && out.x <= 1) << c.name << ": " << out.x;
    EXPECT_EQ(out.x, out.y) << c.name;
  }
  // A NaN light beside a good one makes the sum NaN; the answer still lies in [0, 1].
  host::Node* bad = NewLight(doc, host::LIGHT_TYPE_OMNI, {nan, nan, nan});
  host::Node* good = NewLight(doc, host::LIGHT_TYPE_OMNI, {0.5, 0.5, 0.5});
  host::Vec3 out = Render(Corvane({good, bad}));
  EXPECT_TRUE(out.x >= 0 && out.x <= 1) << out.x;
}

TEST_F(BadSceneTest, HundredThousandLightEntriesPrepareAndSample) {
  std::vector<host::Node*> lights;
  for (int i = 0; i < 100; ++i) lights.push_back(NewLight(doc, host::LIGHT_TYPE_OMNI, {5e-6, 5e-6, 5e-6}));
  host::Node* s = doc->CreateShader(kCorvane, "many");
  host::InExclude list;
  for (int i = 0; i < 100000; ++i) list.Append(lights[i % 100], kFlagsOnPositive);
  s->Data().Set(kLights, host::Value::FromInExclude(list));
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, s));
  EXPECT_EQ(100000, host::LiveRayLights()) << "one render light per entry";
  Sample sample;
  host::Vec3 c = host::SampleShader(s, &sample.cd);
  host::ShaderFreeRender(s);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_TRUE(host->DeleteDocument(doc));
  doc = nullptr;
  EXPECT_EQ(0, host::LiveRayLights()) << "the document frees the render lights";
  EXPECT_NEAR(0.5, c.x, 1e-9) << "every one of the 100000 entries counts: 100000 x 5e-6";
  std::cout << "[timing] 100000 entries: prepare + 1 sample + release in " << seconds << " s\n";
}

TEST_F(BadSceneTest, SubShaderCyclesSampleWithoutRecursingForever) {
  host::Node* light = NewLight(doc, host::LIGHT_TYPE_OMNI, {0.5, 0.5, 0.5});
  // A Corvane instance linking itself.
  host::Node* self = Corvane({light});
  self->Data().SetLink(kSubShader, self);
  host::Vec3 own = Render(self);
  EXPECT_TRUE(std::isfinite(own.x) && own.x >= 0 && own.x <= 1) << own.x;
  // Two instances linking each other, rendered from either end.
  host::Node* a = Corvane({light});
  host::Node* b = Corvane({light});
  a->Data().SetLink(kSubShader, b);
  b->Data().SetLink(kSubShader, a);
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, a));
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, b));
  Sample sample;
  host::Vec3 ca = host::SampleShader(a, &sample.cd);
  host::Vec3 cb = host::SampleShader(b, &sample.cd);
  host::ShaderFreeRender(a);
  host::ShaderFreeRender(b);
  EXPECT_TRUE(std::isfinite(ca.x) && std::isfinite(cb.x));
  EXPECT_EQ(ca.x, cb.x) << "the cycle is cut at the same depth from either end";
  std::cout << "[cycle] self " << own.x << ", pair " << ca.x << " / " << cb.x << "\n";
}

}  // namespace
}  // namespace hardening
