// A later host hands a larger interface record: today's C4DHostInterface followed by one
// more table, with a higher interface version. The module built against today's header
// must start, register and render as before, and never touch the table it does not know.
#include <gtest/gtest.h>

#include <cstddef>

#include "core/console.h"
#include "core/customdata.h"
#include "core/ids.h"
#include "core/shaders.h"
#include "core/suites.h"
#include "interface/host_interface.h"
#include "corvane_sample.h"
#include "loader/loader.h"
#include "module_fixture.h"
#include "resources/resources.h"
#include "session/session.h"

namespace host {
namespace {

#ifdef CORVANE_MODULE_PATH

using namespace ::corvanetest;

// A table that only a later header declares. Calling it counts.
int laterCalls = 0;
struct LaterSuite1 {
  void (*Touch)(void);
};
void Touch() { ++laterCalls; }
constexpr LaterSuite1 kLaterSuite{Touch};

// A later host's record: today's fields first, then the appended table.
struct GrownHostInterface {
  C4DHostInterface today;
  const LaterSuite1* later;
};
static_assert(offsetof(GrownHostInterface, today) == 0 &&
                  offsetof(GrownHostInterface, later) == sizeof(C4DHostInterface),
              "the grown record starts with today's record and appends one pointer");

constexpr int32_t kLaterVersion = C4D_API_VERSION + 100;

// Illumination through the handed record is counted, then answered by the host. The
// arguments after the eighth pass on the stack: what arrives there is kept, so that a
// module built for another calling convention (macOS arm64 packs small stack arguments)
// is seen to place them where the host reads them.
int illuminations = 0;
struct StackArguments {
  const C4DVector* rayVector;
  int64_t illuminateFlags;
  const C4DRayHitID* hitId;
  int64_t rayBits;
  int64_t cosineCutoff;
  C4DVector* xshadow;
} lastStackArguments{};
bool CountingIlluminate(const C4DVolumeData* vd, const C4DRayLight* light, C4DVector* col, C4DVector* lv,
                        const C4DVector* p, const C4DVector* bumpn, const C4DVector* phongn,
                        const C4DVector* orign, const C4DVector* rayVector, int64_t illuminateFlags,
                        const C4DRayHitID* hitId, int64_t rayBits, int64_t cosineCutoff, C4DVector* xshadow) {
  ++illuminations;
  lastStackArguments = {rayVector, illuminateFlags, hitId, rayBits, cosineCutoff, xshadow};
  return RenderSuite1()->IlluminateSurfacePoint(vd, light, col, lv, p, bumpn, phongn, orign, rayVector,
                                                illuminateFlags, hitId, rayBits, cosineCutoff, xshadow);
}

TEST(InterfaceGrowthTest, ModuleStartsRegistersAndRendersWithAGrownRecord) {
  Console().SetEcho(false);
  Console().Clear();
  laterCalls = 0;
  illuminations = 0;
  // The record, its tables and the module's folder outlive the session.
  C4DRenderSuite1 render = *RenderSuite1();
  render.IlluminateSurfacePoint = CountingIlluminate;
  GrownHostInterface grown{*Interface(), &kLaterSuite};
  grown.today.version = kLaterVersion;
  grown.today.render = &render;
  test::TempFolder outside;
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  Session hostSession;
  SetStartupFolder(outside.Path());

  ModuleOptions options;
  options.hostInterface = &grown.today;
  Module* m = hostSession.Adopt(sandbox.Open(options));
  ASSERT_NE(m, nullptr) << sandbox.LastError();
  ASSERT_EQ(m->HostInterface(), &grown.today);

  // Starts and registers as with today's record
  ASSERT_TRUE(m->RunLifecycle());
  EXPECT_EQ(m->Codes().systemStart, 1);
  const PluginInfo* shader = hostSession.Plugins().Find(kCorvane);
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(shader->version, C4D_API_VERSION) << "the module declares the header it was built with";
  EXPECT_NE(Descriptions().Find(kCorvane), nullptr);

  // Renders a sample: one positive light of average 0.5 lights the surface
  Document* doc = hostSession.NewDocument("grown record");
  Node* light = doc->CreateObject(kTypeLight, "light");
  light->Data().SetVector(LIGHT_COLOR, {0.75, 0.5, 0.25});
  light->Data().SetVector(OBJECT_POSITION, {0, 0, 100});
  Node* corvane = doc->CreateShader(kCorvane, "Corvane");
  ASSERT_NE(corvane, nullptr);
  InExclude lights;
  lights.Append(light, kFlagActive | kFlagPositive);
  corvane->Data().Set(kLights, Value::FromInExclude(lights));
  const C4DInitRenderStruct irs{ToHandle(doc), 0.0 /* time */, 1 /* threads */, 0};
  EXPECT_EQ(ShaderInitRender(corvane, &irs), C4D_INITRENDERRESULT_OK);
  Sample sample;
  const Vec3 c = SampleShader(corvane, &sample.cd);
  ShaderFreeRender(corvane);
  EXPECT_NEAR(c.x, 0.5, 1e-12);
  EXPECT_NEAR(c.y, 0.5, 1e-12);
  EXPECT_NEAR(c.z, 0.5, 1e-12);
  EXPECT_EQ(illuminations, 1) << "the sample is lit through the record the module was handed";
  // Corvane asks with the sample's ray direction, no flags, no hit, no ray bits, no cosine
  // cut-off and no shadow output
  EXPECT_EQ(lastStackArguments.rayVector, &sample.eyeRay.v);
  EXPECT_EQ(lastStackArguments.hitId, &sample.vd.lhit);
  EXPECT_EQ(lastStackArguments.illuminateFlags, 0);
  EXPECT_EQ(lastStackArguments.rayBits, 0);
  EXPECT_EQ(lastStackArguments.cosineCutoff, 0);
  EXPECT_EQ(lastStackArguments.xshadow, nullptr) << "the shadow output is read where the module put it";

  EXPECT_EQ(laterCalls, 0) << "the module calls nothing of a table its header does not declare";
  Console().SetEcho(true);
}

#else

TEST(InterfaceGrowthTest, NeedsTheBuiltModule) { FAIL() << "built without CORVANE_MODULE_PATH"; }

#endif

}  // namespace
}  // namespace host
