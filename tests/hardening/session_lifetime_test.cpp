// A whole session through the host, twice: load the plug-ins folder, create shaders, render
// prepared instances, delete the documents, unload. Afterwards nothing the module or the
// session allocated is left: module memory blocks, render lights, bitmaps, gradients and
// resources are back to where they started. Also run under valgrind (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/lights.h"
#include "core/memory.h"
#include "session/session.h"
#include "session/session_info.h"
#include "module_fixture.h"
#include "resources/resources.h"
#include "session_support.h"

namespace hardening {
namespace {

struct Counters {
  int64_t blocks, rayLights, bitmaps, gradients, resources;
  static Counters Now() {
    return {host::GetMemoryStats().liveBlocks, host::LiveRayLights(), host::LiveBitmapCount(),
            host::LiveGradients(), host::LiveResourceCount()};
  }
};

void ExpectSame(const Counters& before, const Counters& after, const std::string& when) {
  EXPECT_EQ(before.blocks, after.blocks) << when << ": module memory blocks";
  EXPECT_EQ(before.rayLights, after.rayLights) << when << ": render lights";
  EXPECT_EQ(before.bitmaps, after.bitmaps) << when << ": bitmaps";
  EXPECT_EQ(before.gradients, after.gradients) << when << ": gradients";
  EXPECT_EQ(before.resources, after.resources) << when << ": resources";
}

/// Builds a document with three lights and four Corvane shaders (grey, gradient, with a
/// noise sub-shader, inverted with a subtracted light), renders each prepared instance on
/// a grid of samples, and returns the sum of all samples.
double RenderDocument(host::Host& host, int round) {
  host::Document* doc = host.NewDocument("session " + std::to_string(round));
  host::Node* omni = NewLight(doc, host::LIGHT_TYPE_OMNI, {1, 0.5, 0.25});
  host::Node* spot = NewLight(doc, host::LIGHT_TYPE_SPOT, {0.2, 0.4, 0.6}, 2);
  host::Node* distant = NewLight(doc, host::LIGHT_TYPE_DISTANT, {0.3, 0.3, 0.3});
  host::Node* noise = doc->CreateShader(host::kShaderNoise, "noise");

  std::vector<host::Node*> shaders;
  for (int i = 0; i < 4; ++i) {
    host::Node* s = doc->CreateShader(kCorvane, "Corvane " + std::to_string(i));
    EXPECT_NE(nullptr, s);
    if (!s) return 0;
    host::InExclude list;
    list.Append(omni, kFlagsOnPositive);
    list.Append(spot, kFlagsOnPositive);
    list.Append(distant, i == 3 ? 1 : kFlagsOnPositive);
    s->Data().Set(kLights, host::Value::FromInExclude(list));
    shaders.push_back(s);
  }
  shaders[1]->Data().SetInt32(kOutput, 1);
  shaders[2]->Data().SetLink(kSubShader, noise);
  shaders[2]->Data().SetInt32(kMixMode, 1);
  shaders[3]->Data().SetInt32(kInvert, 1);

  double sum = 0;
  for (host::Node* s : shaders) EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, s));
  EXPECT_GT(host::LiveRayLights(), 0) << "prepared instances hold render lights";
  for (host::Node* s : shaders) {
    for (int y = -4; y <= 4; ++y) {
      for (int x = -4; x <= 4; ++x) {
        Sample sample(x * 20.0, y * 20.0);
        host::Vec3 c = host::SampleShader(s, &sample.cd);
        EXPECT_TRUE(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z));
        sum += c.x + c.y + c.z;
      }
    }
  }
  for (host::Node* s : shaders) host::ShaderFreeRender(s);
  // The shader never returns its render lights; the document frees them when it goes.
  EXPECT_EQ(12, host::LiveRayLights()) << "one render light per collected entry";

  // A second document rendered and deleted while still prepared: the document frees the rest.
  host::Document* scratch = host.NewDocument("scratch");
  host::Node* light = NewLight(scratch, host::LIGHT_TYPE_OMNI, {1, 1, 1});
  host::Node* s = scratch->CreateShader(kCorvane, "prepared at deletion");
  host::InExclude list;
  list.Append(light, kFlagsOnPositive);
  s->Data().Set(kLights, host::Value::FromInExclude(list));
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(scratch, s));
  EXPECT_TRUE(host.DeleteDocument(scratch));
  EXPECT_EQ(12, host::LiveRayLights()) << "deleting a document frees its render lights only";
  EXPECT_TRUE(host.DeleteDocument(doc));
  EXPECT_EQ(0, host::LiveRayLights());
  return sum;
}

TEST(HardeningSession, TwoFullSessionsLeaveNothingBehind) {
  host::Console().SetEcho(false);
  const Counters start = Counters::Now();
  double first = 0;
  for (int round = 0; round < 2; ++round) {
    {
      host::test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
      host::Session host;
      const auto refused = host.LoadPluginsFolder(sandbox.Folder().Join("plugins"));
      ASSERT_EQ(1u, host.Modules().size());
      ASSERT_TRUE(refused.empty());
      ASSERT_NE(nullptr, host.Plugins().Find(kCorvane));
      EXPECT_EQ(start.resources + 1, host::LiveResourceCount()) << "the module resource is loaded";

      double sum = RenderDocument(host, round);
      EXPECT_GT(sum, 0);
      if (round == 0) first = sum;
      EXPECT_EQ(first, sum) << "a reloaded module renders the same";
    }  // documents, then the final action 3, then the file is closed
    ExpectSame(start, Counters::Now(), "after session " + std::to_string(round));
  }
  EXPECT_TRUE(host::ListIcons().empty()) << "the host forgets the icons with the session";
  host::Console().SetEcho(true);
}

TEST(HardeningSession, EndingASessionWithLivePreparedInstancesLeavesNothing) {
  host::Console().SetEcho(false);
  const Counters start = Counters::Now();
  {
    host::test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
    host::Session host;
    ASSERT_TRUE(host.LoadPluginsFolder(sandbox.Folder().Join("plugins")).empty());
    host::Document* doc = host.NewDocument("left open");
    host::Node* light = NewLight(doc, host::LIGHT_TYPE_OMNI, {1, 1, 1});
    host::Node* s = doc->CreateShader(kCorvane, "prepared at the end");
    ASSERT_NE(nullptr, s);
    host::InExclude list;
    list.Append(light, kFlagsOnPositive);
    s->Data().Set(kLights, host::Value::FromInExclude(list));
    ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(doc, s));
    EXPECT_LT(start.blocks, host::GetMemoryStats().liveBlocks) << "the instance holds module memory";
  }  // the session ends with the document open and the instance prepared
  ExpectSame(start, Counters::Now(), "after the session");
  host::Console().SetEcho(true);
}

TEST(HardeningSession, DescribeSessionReportsModulesIconsPluginsAndEnabling) {
  host::Console().SetEcho(false);
  host::test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  host::Session host;
  ASSERT_TRUE(host.LoadPluginsFolder(sandbox.Folder().Join("plugins")).empty());
  const host::SessionReport report = host::DescribeSession(host);
  EXPECT_TRUE(host.Documents().empty()) << "the scratch document is gone again";

  ASSERT_EQ(1u, report.modules.size());
  const host::ModuleReport& m = report.modules[0];
  EXPECT_EQ(host.Modules()[0]->Path(), m.path);
  EXPECT_EQ(std::string(host.Modules()[0]->LoaderName()), m.loader);
  EXPECT_EQ("io.corvane.corvane", m.identity.identifier);
  EXPECT_EQ(9u, m.identity.dependencies.size());
  EXPECT_EQ(1, m.codes.systemStart);
  EXPECT_EQ(1, m.codes.loadResource);
  EXPECT_EQ(1, m.codes.start);

  ASSERT_EQ(2u, report.icons.size());
  EXPECT_EQ(kIconNegative, report.icons[0].id);
  EXPECT_EQ(kIconPositive, report.icons[1].id);
  EXPECT_EQ(32, report.icons[0].w);

  ASSERT_EQ(1u, report.plugins.size());
  const host::PluginReport& p = report.plugins[0];
  EXPECT_EQ(kCorvane, p.id);
  EXPECT_EQ(C4D_PLUGINTYPE_SHADER, p.type);
  EXPECT_EQ("Corvane", p.name);
  EXPECT_EQ("io.corvane.corvane", p.module);
  ASSERT_TRUE(p.description.has_value());
  EXPECT_EQ("XCorvane", p.description->description.name);
  EXPECT_EQ("Corvane", p.description->description.displayName);
  // Every parameter has an answer; by default only the gradient is disabled (grey output).
  int parameters = 0;
  for (const host::DescriptionElement& e : p.description->description.elements) {
    if (!e.IsParameter()) continue;
    ++parameters;
    ASSERT_TRUE(p.enabled.count(e.id)) << e.symbol;
    EXPECT_EQ(e.id != kGradient, p.enabled.at(e.id)) << e.symbol;
  }
  EXPECT_EQ(7, parameters);
  const host::DescriptionElement* output = p.description->description.FindById(kOutput);
  ASSERT_NE(nullptr, output);
  ASSERT_EQ(2u, output->cycle.size());
  EXPECT_EQ("Gradient", output->cycle[1].label);
  EXPECT_STREQ("IN_EXCLUDE", host::ValueTypeName(p.description->description.FindById(kLights)->ValueType()));
  host::Console().SetEcho(true);
}

}  // namespace
}  // namespace hardening
