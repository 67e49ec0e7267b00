// Every suite function of host/core answers null handles and bad arguments as "absent".
#include "core/customdata.h"
#include "core/ids.h"
#include "core/lights.h"
#include "test_support.h"

namespace hosttest {
namespace {

using RobustnessTest = HostTest;

TEST_F(RobustnessTest, NullHandlesAreAbsentNeverACrash) {
  EXPECT_EQ(C4D_API_VERSION, api->version);
  mem->Free(nullptr);

  size_t len = 5;
  C4DString* fromNull = text->StringFromUtf8(nullptr, 10);
  EXPECT_STREQ("", text->StringUtf8(fromNull, nullptr)) << "null text is an empty string";
  text->StringRelease(fromNull);
  text->StringRetain(nullptr);
  text->StringRelease(nullptr);
  EXPECT_STREQ("", text->StringUtf8(nullptr, &len));
  EXPECT_EQ(0u, len);
  EXPECT_EQ(nullptr, text->FilenameFromString(nullptr));
  text->FilenameRetain(nullptr);
  text->FilenameRelease(nullptr);
  EXPECT_EQ(nullptr, text->FilenameToString(nullptr));
  EXPECT_EQ(nullptr, text->FilenameJoin(nullptr, nullptr));
  EXPECT_EQ(nullptr, text->FilenameDirectory(nullptr));
  EXPECT_EQ(nullptr, text->FilenameFile(nullptr));
  EXPECT_EQ(nullptr, text->FilenameClearSuffix(nullptr));
  text->Print(nullptr);

  C4DValue v = Long(3);
  EXPECT_FALSE(cont->GetValue(nullptr, 1, &v));
  EXPECT_EQ(C4D_DTYPE_NONE, v.type);
  EXPECT_FALSE(cont->SetValue(nullptr, 1, &v));
  EXPECT_EQ(nullptr, cont->GetLink(nullptr, 1, nullptr, 0));
  EXPECT_EQ(nullptr, cont->GetCustomData(nullptr, 1, C4D_CUSTOMDATA_GRADIENT));

  EXPECT_EQ(0, node->GetType(nullptr));
  EXPECT_FALSE(node->IsInstanceOf(nullptr, C4D_TYPE_SHADER));
  EXPECT_EQ(nullptr, node->GetDocument(nullptr));
  EXPECT_EQ(nullptr, node->GetDataInstance(nullptr));
  EXPECT_FALSE(node->GetDeformMode(nullptr, C4D_OBJECTSTATE_DEFORM));
  EXPECT_FALSE(node->InsertShader(nullptr, nullptr));
  EXPECT_FALSE(node->Message(nullptr, 1, nullptr));

  C4DGradientKnot knot = host::DefaultKnot();
  C4DVector col{5, 5, 5};
  cd->GradientFree(nullptr);
  EXPECT_FALSE(cd->GradientSetData(nullptr, 1002, &v));
  EXPECT_FALSE(cd->GradientGetData(nullptr, 1002, &v));
  EXPECT_EQ(-1, cd->GradientInsertKnot(nullptr, &knot));
  EXPECT_EQ(0, cd->GradientGetKnotCount(nullptr));
  EXPECT_FALSE(cd->GradientGetKnot(nullptr, 0, &knot));
  EXPECT_FALSE(cd->GradientInitRender(nullptr, nullptr));
  cd->GradientFreeRender(nullptr);
  cd->GradientCalcPixel(nullptr, 0.5, &col);
  EXPECT_EQ(0, col.x) << "no gradient is black";
  EXPECT_EQ(0, cd->InExcludeGetObjectCount(nullptr));
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(nullptr, nullptr, 0));
  EXPECT_EQ(0, cd->InExcludeGetFlags(nullptr, 0));

  C4DVector lv{};
  EXPECT_EQ(nullptr, render->AllocRayLight(nullptr, nullptr));
  render->FreeRayLight(nullptr);
  EXPECT_FALSE(render->IlluminateSurfacePoint(nullptr, nullptr, &col, &lv, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, 0, nullptr, 0, false, nullptr));
  col = {5, 5, 5};
  render->SampleShader(nullptr, nullptr, &col);
  EXPECT_EQ(0, col.x) << "no shader samples black";
  render->SampleShader(nullptr, nullptr, nullptr);
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, render->ShaderInitRender(nullptr, nullptr));
  render->ShaderFreeRender(nullptr);
}

TEST_F(RobustnessTest, NullOutputsAndArgumentsWithLiveHandles) {
  host::Document* doc = host.NewDocument();
  host::Node* light = doc->CreateObject(host::kTypeLight);
  C4DContainer* c = node->GetDataInstance(host::ToHandle(light));
  EXPECT_TRUE(cont->GetValue(c, host::LIGHT_TYPE, nullptr)) << "present, nowhere to write";
  EXPECT_FALSE(cont->SetValue(c, 1, nullptr));
  EXPECT_EQ(nullptr, cont->GetCustomData(c, host::LIGHT_TYPE, C4D_DTYPE_LONG)) << "not custom data";

  C4DGradient* g = cd->GradientAlloc();
  EXPECT_EQ(-1, cd->GradientInsertKnot(g, nullptr));
  EXPECT_FALSE(cd->GradientGetKnot(g, 0, nullptr));
  EXPECT_FALSE(cd->GradientSetData(g, 1002, nullptr));
  cd->GradientCalcPixel(g, 0.5, nullptr);
  cd->GradientFree(g);

  C4DRayLight* rl = render->AllocRayLight(host::ToHandle(doc), host::ToHandle(light));
  C4DVector col{}, lv{}, p{0, 0, 1};
  EXPECT_FALSE(render->IlluminateSurfacePoint(nullptr, rl, nullptr, &lv, &p, nullptr, nullptr, nullptr,
                                              nullptr, 0, nullptr, 0, false, nullptr));
  EXPECT_FALSE(render->IlluminateSurfacePoint(nullptr, rl, &col, &lv, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, 0, nullptr, 0, false, nullptr))
      << "no point and no volume data";
  C4DVolumeData vd{};
  vd.p = p;
  EXPECT_TRUE(render->IlluminateSurfacePoint(&vd, rl, &col, &lv, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             0, nullptr, 0, false, nullptr))
      << "the point of the volume data";
  render->FreeRayLight(rl);
  EXPECT_FALSE(node->GetDeformMode(host::ToHandle(light), 1)) << "other object states";
}

}  // namespace
}  // namespace hosttest
