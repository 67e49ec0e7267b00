// Illumination, shader sampling, plug-in dispatch and recursion guards.
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "core/ids.h"
#include "core/lights.h"
#include "core/shaders.h"
#include "message_recorder.h"
#include "shader_record.h"
#include "test_support.h"

namespace hosttest {
namespace {

using LightTest = HostTest;
using ShaderTest = HostTest;

constexpr double kDeg = std::numbers::pi / 180.0;

class IlluminationTest : public HostTest {
 protected:
  host::Document* doc = host.NewDocument();

  host::Node* Light(int32_t kind, host::Vec3 pos, host::Vec3 dir) {
    host::Node* l = doc->CreateObject(host::kTypeLight);
    l->Data().SetInt32(host::LIGHT_TYPE, kind);
    l->Data().SetVector(host::OBJECT_POSITION, pos);
    l->Data().SetVector(host::OBJECT_DIRECTION, dir);
    l->Data().SetVector(host::LIGHT_COLOR, {1, 0.5, 0.25});
    l->Data().SetFloat(host::LIGHT_BRIGHTNESS, 2);
    return l;
  }

  // Illuminates p through the C table as the shader does; false keeps the outputs.
  bool Illuminate(host::Node* light, host::Vec3 p, C4DVector* col, C4DVector* lv, bool shadows = false) {
    C4DRayLight* rl = render->AllocRayLight(host::ToHandle(doc), host::ToHandle(light));
    EXPECT_NE(nullptr, rl);
    C4DVolumeData vd{};
    C4DVector pp = p, n{0, 0, 1}, eye{0, 0, -1};
    *col = C4DVector{-7, -7, -7};
    *lv = C4DVector{-7, -7, -7};
    bool hit = render->IlluminateSurfacePoint(&vd, rl, col, lv, &pp, &n, &n, &n, &eye,
                                              shadows ? C4D_ILLUMINATEFLAGS_SHADOW : C4D_ILLUMINATEFLAGS_NONE,
                                              &vd.lhit, C4D_RAYBIT_NONE, false, nullptr);
    render->FreeRayLight(rl);
    if (!hit) {
      EXPECT_EQ(-7, col->x) << "outputs untouched when false";
      EXPECT_EQ(-7, lv->x);
    }
    return hit;
  }
};

void ExpectVec(host::Vec3 want, C4DVector got, const char* what) {
  EXPECT_NEAR(want.x, got.x, 1e-12) << what;
  EXPECT_NEAR(want.y, got.y, 1e-12) << what;
  EXPECT_NEAR(want.z, got.z, 1e-12) << what;
}

TEST_F(IlluminationTest, OmniWithAndWithoutFalloff) {
  host::Node* omni = Light(host::LIGHT_TYPE_OMNI, {0, 0, 10}, {0, 0, 1});
  C4DVector col, lv;
  ASSERT_TRUE(Illuminate(omni, {0, 0, 0}, &col, &lv));
  ExpectVec({2, 1, 0.5}, col, "no falloff: colour x brightness, no cosine term");
  ExpectVec({0, 0, 1}, lv, "towards the light");
  ASSERT_TRUE(Illuminate(omni, {10, 0, 10}, &col, &lv, true));
  ExpectVec({2, 1, 0.5}, col, "grazing point, shadows asked: unoccluded");
  ExpectVec({-1, 0, 0}, lv, "sideways");

  omni->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_INVERSESQUARE);
  omni->Data().SetFloat(host::LIGHT_FALLOFF_RADIUS, 5);
  ASSERT_TRUE(Illuminate(omni, {0, 0, 0}, &col, &lv));
  ExpectVec({0.5, 0.25, 0.125}, col, "inverse square: (5/10)^2");
  ASSERT_TRUE(Illuminate(omni, {0, 0, 6}, &col, &lv));
  ExpectVec({2, 1, 0.5}, col, "inside the radius: full strength");

  omni->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_LINEAR);
  omni->Data().SetFloat(host::LIGHT_FALLOFF_RADIUS, 20);
  ASSERT_TRUE(Illuminate(omni, {0, 0, 0}, &col, &lv));
  ExpectVec({1, 0.5, 0.25}, col, "linear: 1 - 10/20");
  EXPECT_FALSE(Illuminate(omni, {0, 0, -10}, &col, &lv)) << "at the radius";
  EXPECT_FALSE(Illuminate(omni, {0, 0, -20}, &col, &lv)) << "beyond the radius";
  EXPECT_FALSE(Illuminate(omni, {0, 0, 10}, &col, &lv)) << "at the light itself";

  omni->Data().SetFloat(host::LIGHT_BRIGHTNESS, 0);
  EXPECT_FALSE(Illuminate(omni, {0, 0, 0}, &col, &lv)) << "no contribution";
}

TEST_F(IlluminationTest, SpotConeAndSoftEdge) {
  host::Node* spot = Light(host::LIGHT_TYPE_SPOT, {0, 0, 10}, {0, 0, -2});
  spot->Data().SetFloat(host::LIGHT_SPOT_ANGLE, 60 * kDeg);
  spot->Data().SetFloat(host::LIGHT_SPOT_INNER_ANGLE, 20 * kDeg);
  C4DVector col, lv;
  ASSERT_TRUE(Illuminate(spot, {0, 0, 0}, &col, &lv));
  ExpectVec({2, 1, 0.5}, col, "on the axis");
  ASSERT_TRUE(Illuminate(spot, {10 * std::tan(5 * kDeg), 0, 0}, &col, &lv));
  ExpectVec({2, 1, 0.5}, col, "inside the inner cone");
  ASSERT_TRUE(Illuminate(spot, {10 * std::tan(20 * kDeg), 0, 0}, &col, &lv));
  ExpectVec({1, 0.5, 0.25}, col, "half-way through the soft edge: smoothstep 0.5");
  ExpectVec(host::Normalize({-std::tan(20 * kDeg), 0, 1}), lv, "towards the spot");
  EXPECT_FALSE(Illuminate(spot, {10 * std::tan(40 * kDeg), 0, 0}, &col, &lv)) << "outside the cone";
  EXPECT_FALSE(Illuminate(spot, {0, 0, 20}, &col, &lv)) << "behind the spot";
}

TEST_F(IlluminationTest, DistantLightHasNoPositionOrFalloff) {
  host::Node* sun = Light(host::LIGHT_TYPE_DISTANT, {0, 0, 0}, {0, -3, 0});
  sun->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_LINEAR);
  sun->Data().SetFloat(host::LIGHT_FALLOFF_RADIUS, 1);
  C4DVector col, lv;
  for (host::Vec3 p : {host::Vec3(0, 0, 0), host::Vec3(1000, -500, 3)}) {
    ASSERT_TRUE(Illuminate(sun, p, &col, &lv));
    ExpectVec({2, 1, 0.5}, col, "everywhere the same");
    ExpectVec({0, 1, 0}, lv, "minus the light direction");
  }
}

TEST_F(IlluminationTest, RayLightsAreCountedAndOnlyForLightsOfTheDocument) {
  host::Node* light = Light(host::LIGHT_TYPE_OMNI, {}, {0, 0, 1});
  host::Node* camera = doc->CreateObject(host::kTypeCamera);
  host::Document* other = host.NewDocument();
  int64_t before = host::LiveRayLights();
  EXPECT_EQ(nullptr, render->AllocRayLight(host::ToHandle(doc), host::ToHandle(camera)));
  EXPECT_EQ(nullptr, render->AllocRayLight(host::ToHandle(other), host::ToHandle(light)));
  EXPECT_EQ(nullptr, render->AllocRayLight(nullptr, host::ToHandle(light)));
  C4DRayLight* a = render->AllocRayLight(host::ToHandle(doc), host::ToHandle(light));
  C4DRayLight* b = render->AllocRayLight(host::ToHandle(doc), host::ToHandle(light));
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(before + 2, host::LiveRayLights());
  render->FreeRayLight(a);
  render->FreeRayLight(a);  // a second free is ignored
  EXPECT_EQ(before + 1, host::LiveRayLights());
  EXPECT_FALSE(node->GetDeformMode(host::ToHandle(camera), 0)) << "only the deform state";
  EXPECT_TRUE(node->GetDeformMode(host::ToHandle(light), C4D_OBJECTSTATE_DEFORM));
  light->Data().SetBool(host::OBJECT_ENABLED, false);
  EXPECT_FALSE(node->GetDeformMode(host::ToHandle(light), C4D_OBJECTSTATE_DEFORM));
  (void)b;  // left for the document to free
  host.DeleteDocument(doc);
  EXPECT_EQ(before, host::LiveRayLights());
}

// ---- A plug-in shader that samples, prepares and messages the shader linked at kLink ----

constexpr int32_t kPluginId = 1000001;
constexpr int32_t kLink = 10002;
const C4DHostInterface* gApi = nullptr;
int gInitRenders = 0;

struct Instance {
  int magic = 42;
};
C4DNode* Linked(C4DNode* self) {
  C4DContainer* c = gApi->node->GetDataInstance(self);
  return gApi->container->GetLink(c, kLink, gApi->node->GetDocument(self), 0);
}
C4DNodeData* PAlloc() { return reinterpret_cast<C4DNodeData*>(new Instance); }
void PFree(C4DNodeData* d) { delete reinterpret_cast<Instance*>(d); }
bool PInit(C4DNodeData*, C4DNode* n) {
  C4DValue v{};
  v.type = C4D_DTYPE_REAL;
  v.u.f = 1.0;
  return gApi->container->SetValue(gApi->node->GetDataInstance(n), 10001, &v);
}
bool PMessage(C4DNodeData*, C4DNode* n, int32_t type, void* data) {
  C4DNode* sub = Linked(n);
  if (sub) gApi->node->Message(sub, type, data);
  return true;
}
bool PEnabling(C4DNodeData*, C4DNode*, const C4DDescID* id, const C4DValue*, int32_t, const C4DContainer*) {
  return id->levels[0].id != 10009;
}
int32_t PInitRender(C4DNodeData*, C4DNode* n, const C4DInitRenderStruct* irs) {
  ++gInitRenders;
  if (C4DNode* sub = Linked(n)) gApi->render->ShaderInitRender(sub, irs);
  return C4D_INITRENDERRESULT_OK;
}
void PFreeRender(C4DNodeData*, C4DNode* n) {
  if (C4DNode* sub = Linked(n)) gApi->render->ShaderFreeRender(sub);
}
void POutput(const C4DNodeData*, C4DNode* n, C4DChannelData* cd, C4DVector* out) {
  C4DVector sub{0, 0, 0};
  if (C4DNode* s = Linked(n)) gApi->render->SampleShader(s, cd, &sub);
  *out = C4DVector{sub.x + 0.25, sub.y + 0.25, sub.z + 0.25};
}
int32_t PRenderInfo(C4DNodeData*, C4DNode*) { return C4D_SHADERINFO_ALPHA_SUPPORT; }

class PluginTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    gApi = api;
    gInitRenders = 0;
    record = host::test::ShaderRecord({.Alloc = PAlloc,
                                       .Free = PFree,
                                       .Init = PInit,
                                       .Message = PMessage,
                                       .GetDEnabling = PEnabling,
                                       .InitRender = PInitRender,
                                       .FreeRender = PFreeRender,
                                       .Output = POutput,
                                       .GetRenderInfo = PRenderInfo});
    C4DString* name = Str("Test shader");
    {
      // Registered from inside a module's c4d_main: the plug-in is the module's.
      const host::ModuleCall main{&module, 0, "c4d_main"};
      host::detail::CallScope scope(main);
      ASSERT_TRUE(host::RegisterPluginFromModule(C4D_PLUGINTYPE_SHADER, kPluginId, name, &record,
                                                 sizeof record, C4D_API_VERSION));
    }
    text->StringRelease(name);
  }
  host::ModuleState module{"net.example.test.xso64", "net.example.test"};
  C4DShaderPluginRecord record{};
  host::Document* doc = host.NewDocument();
};

TEST_F(PluginTest, RegistrationChecks) {
  const host::PluginInfo* info = host.Plugins().Find(kPluginId);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("Test shader", info->name);
  EXPECT_EQ("net.example.test", info->module);
  auto reg = [&](int32_t type, int32_t id, int32_t size, int32_t version) {
    return host::RegisterPluginFromModule(type, id, nullptr, &record, size, version);
  };
  EXPECT_FALSE(reg(C4D_PLUGINTYPE_SHADER, kPluginId, sizeof record, C4D_API_VERSION)) << "duplicate";
  EXPECT_FALSE(reg(C4D_PLUGINTYPE_SHADER, 7, sizeof record - 8, C4D_API_VERSION)) << "short record";
  EXPECT_FALSE(reg(C4D_PLUGINTYPE_SHADER, 7, sizeof record, 23000)) << "old version";
  EXPECT_FALSE(reg(99, 7, sizeof record, C4D_API_VERSION)) << "other plug-in type";
  EXPECT_FALSE(
      host::RegisterPluginFromModule(C4D_PLUGINTYPE_SHADER, 7, nullptr, nullptr, 0, C4D_API_VERSION));
  EXPECT_TRUE(reg(C4D_PLUGINTYPE_SHADER, 7, sizeof record + 16, C4D_API_VERSION))
      << "a longer record is fine";
  EXPECT_EQ(2u, host.Plugins().List().size());
}

TEST_F(PluginTest, InstancesAreCreatedInitialisedAndQueried) {
  host::Node* s = doc->CreateShader(kPluginId, "p");
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(1.0, s->Data().GetFloat(10001)) << "Init ran on the node";
  EXPECT_EQ(kPluginId, node->GetType(host::ToHandle(s)));
  EXPECT_TRUE(node->IsInstanceOf(host::ToHandle(s), C4D_TYPE_SHADER));
  EXPECT_FALSE(node->IsInstanceOf(host::ToHandle(s), C4D_TYPE_LIGHT));
  EXPECT_EQ(C4D_SHADERINFO_ALPHA_SUPPORT, s->GetRenderInfo());
  EXPECT_TRUE(s->GetDEnabling(10003));
  EXPECT_FALSE(s->GetDEnabling(10009));
  EXPECT_EQ(nullptr, doc->CreateShader(424242)) << "unknown plug-in";

  record.Alloc = nullptr;  // the host keeps its own copy of the record
  EXPECT_NE(nullptr, doc->CreateShader(kPluginId));
}

TEST_F(PluginTest, SamplingDispatchesToPluginsAndBuiltins) {
  host::Node* p = doc->CreateShader(kPluginId);
  host::Node* color = doc->CreateShader(host::kShaderColor);
  color->Data().SetVector(host::COLORSHADER_COLOR, {0.5, 0.25, 1});
  color->Data().SetFloat(host::COLORSHADER_BRIGHTNESS, 0.5);
  p->Data().SetLink(kLink, color);
  C4DChannelData chan{};
  C4DVector out{};
  render->SampleShader(host::ToHandle(p), &chan, &out);
  ExpectVec({0.5, 0.375, 0.75}, out, "plug-in output over the colour shader");

  host::Node* checker = doc->CreateShader(host::kShaderCheckerboard);
  checker->Data().SetFloat(host::CHECKER_USCALE, 2);
  checker->Data().SetFloat(host::CHECKER_VSCALE, 2);
  chan.p = {0.25, 0.25, 0};
  render->SampleShader(host::ToHandle(checker), &chan, &out);
  ExpectVec({1, 1, 1}, out, "square (0,0)");
  chan.p = {0.75, 0.25, 0};
  render->SampleShader(host::ToHandle(checker), &chan, &out);
  ExpectVec({0, 0, 0}, out, "square (1,0)");
  chan.p = {-0.25, 0.25, 0};
  render->SampleShader(host::ToHandle(checker), &chan, &out);
  ExpectVec({0, 0, 0}, out, "square (-1,0)");

  host::Node* noise = doc->CreateShader(host::kShaderNoise);
  C4DVector a{}, b{};
  chan.p = {1.3, 2.7, 0.1};
  render->SampleShader(host::ToHandle(noise), &chan, &a);
  render->SampleShader(host::ToHandle(noise), &chan, &b);
  EXPECT_EQ(a.x, b.x) << "deterministic";
  EXPECT_GE(a.x, 0);
  EXPECT_LE(a.x, 1);
  EXPECT_NEAR(host::ValueNoise({1.3, 2.7, 0.1}, 0), host::ValueNoise({1.3 + 1e-9, 2.7, 0.1}, 0), 1e-6)
      << "smooth";

  render->SampleShader(host::ToHandle(doc->CreateMaterial()), &chan, &out);
  ExpectVec({0, 0, 0}, out, "a material is no shader");
}

TEST_F(PluginTest, CyclesOfLinksAreCutWithoutOverflow) {
  host::Node* a = doc->CreateShader(kPluginId, "a");
  host::Node* b = doc->CreateShader(kPluginId, "b");
  a->Data().SetLink(kLink, b);
  b->Data().SetLink(kLink, a);
  C4DVector out{};
  render->SampleShader(host::ToHandle(a), nullptr, &out);
  ExpectVec({0.5, 0.5, 0.5}, out, "a + b + (a again: black)");

  host::Node* self = doc->CreateShader(kPluginId, "self");
  self->Data().SetLink(kLink, self);
  render->SampleShader(host::ToHandle(self), nullptr, &out);
  ExpectVec({0.25, 0.25, 0.25}, out, "self link samples black once");

  C4DInitRenderStruct irs{host::ToHandle(doc), 0, 1, 0};
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, render->ShaderInitRender(host::ToHandle(a), &irs));
  EXPECT_EQ(2, gInitRenders) << "a, then b; a again is refused";
  render->ShaderFreeRender(host::ToHandle(a));

  // Messages: a forwards to b, b to a, which refuses; every node gets what was sent.
  host::test::MessageRecorder messages(host);
  EXPECT_TRUE(node->Message(host::ToHandle(a), 77, nullptr));
  ASSERT_EQ(2u, messages.Of(a).size());
  ASSERT_EQ(1u, messages.Of(b).size());
  EXPECT_EQ(77, messages.Of(b)[0].type);
  EXPECT_TRUE(node->Message(host::ToHandle(self), 5, nullptr));
  EXPECT_EQ(2u, messages.Of(self).size());

  host::Node* color = doc->CreateShader(host::kShaderColor);
  EXPECT_TRUE(node->Message(host::ToHandle(color), 5, nullptr)) << "host nodes answer true";
}

TEST_F(PluginTest, ConcurrentSamplingAndIlluminationAgree) {
  host::Node* a = doc->CreateShader(kPluginId);
  a->Data().SetLink(kLink, a);  // every thread meets the cycle guard
  host::Node* light = doc->CreateObject(host::kTypeLight);
  light->Data().SetVector(host::OBJECT_POSITION, {0, 0, 4});
  host::RayLight* rl = host::AllocRayLight(doc, light);
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        C4DVector out{};
        render->SampleShader(host::ToHandle(a), nullptr, &out);
        host::Vec3 col, lv;
        bool hit = host::Illuminate(*rl, {0, 0, 0}, &col, &lv);
        if (out.x != 0.25 || !hit || lv.z != 1) ++bad[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), bad);
  host::FreeRayLight(rl);
}

TEST_F(PluginTest, DeepChainsStopAtTheDepthLimit) {
  host::Node* prev = doc->CreateShader(host::kShaderColor);
  for (int i = 0; i < 3 * host::kMaxShaderDepth; ++i) {
    host::Node* s = doc->CreateShader(kPluginId);
    s->Data().SetLink(kLink, prev);
    prev = s;
  }
  C4DVector out{};
  render->SampleShader(host::ToHandle(prev), nullptr, &out);
  EXPECT_NEAR(0.25 * host::kMaxShaderDepth, out.x, 1e-9) << "only kMaxShaderDepth levels contribute";
}

TEST_F(PluginTest, InstancesAreFreedWithTheirNodesAndDocuments) {
  static int frees = 0;
  frees = 0;
  record.Free = [](C4DNodeData* d) {
    ++frees;
    PFree(d);
  };
  ASSERT_TRUE(host::RegisterPluginFromModule(C4D_PLUGINTYPE_SHADER, 555, nullptr, &record, sizeof record,
                                             C4D_API_VERSION));
  host::Node* a = doc->CreateShader(555);
  host::Node* mat = doc->CreateMaterial();
  ASSERT_TRUE(mat->InsertShader(a));
  doc->CreateShader(555);
  doc->DeleteNode(mat);
  EXPECT_EQ(1, frees) << "the child shader went with the material";
  host.DestroyDocuments();
  EXPECT_EQ(2, frees);
}

}  // namespace
}  // namespace hosttest
