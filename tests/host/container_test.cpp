// Containers, links, gradients and in/exclude lists, through the C tables.
#include <cmath>

#include "core/customdata.h"
#include "core/ids.h"
#include "test_support.h"

namespace hosttest {
namespace {

using ContainerTest = HostTest;
using GradientTest = HostTest;

TEST_F(ContainerTest, TypedValuesAndWrongTypeAnswers) {
  host::Document* doc = host.NewDocument("d");
  host::Node* shader = doc->CreateShader(host::kShaderColor, "s");
  C4DContainer* c = node->GetDataInstance(host::ToHandle(shader));
  ASSERT_NE(nullptr, c);

  C4DValue in = Long(7), out{};
  EXPECT_TRUE(cont->SetValue(c, 10, &in));
  in = Real(0.25);
  EXPECT_TRUE(cont->SetValue(c, 11, &in));
  C4DString* s = Str("abc");
  in = Handle(C4D_DTYPE_STRING, s);
  EXPECT_TRUE(cont->SetValue(c, 12, &in));
  text->StringRelease(s);  // the container holds its own reference

  ASSERT_TRUE(cont->GetValue(c, 10, &out));
  EXPECT_EQ(C4D_DTYPE_LONG, out.type);
  EXPECT_EQ(7, out.u.i32);
  ASSERT_TRUE(cont->GetValue(c, 11, &out));
  EXPECT_EQ(C4D_DTYPE_REAL, out.type);
  EXPECT_EQ(0.25, out.u.f);
  ASSERT_TRUE(cont->GetValue(c, 12, &out));
  EXPECT_EQ(C4D_DTYPE_STRING, out.type);
  EXPECT_STREQ("abc", text->StringUtf8(static_cast<C4DString*>(out.u.handle), nullptr));

  // Absent entries and typed reads of another type answer absent / default.
  out = Long(5);
  EXPECT_FALSE(cont->GetValue(c, 99, &out));
  EXPECT_EQ(C4D_DTYPE_NONE, out.type);
  const host::Container& data = shader->Data();
  EXPECT_EQ(3, data.GetInt32(11, 3)) << "a float is no int32";
  EXPECT_EQ(0.5, data.GetFloat(10, 0.5)) << "an int32 is no float";
  EXPECT_EQ(nullptr, cont->GetCustomData(c, 10, C4D_CUSTOMDATA_GRADIENT));
  EXPECT_EQ(nullptr, cont->GetLink(c, 10, host::ToHandle(doc), 0));

  // Booleans are LONG 0/1; NONE removes; unknown types are refused.
  shader->Data().SetBool(13, true);
  ASSERT_TRUE(cont->GetValue(c, 13, &out));
  EXPECT_EQ(C4D_DTYPE_LONG, out.type);
  EXPECT_EQ(1, out.u.i32);
  in = C4DValue{};
  EXPECT_TRUE(cont->SetValue(c, 13, &in));
  EXPECT_FALSE(cont->GetValue(c, 13, &out));
  in = Handle(1234567, nullptr);
  EXPECT_FALSE(cont->SetValue(c, 14, &in));
  in = Handle(C4D_CUSTOMDATA_GRADIENT, nullptr);
  EXPECT_FALSE(cont->SetValue(c, 14, &in)) << "custom data needs a handle";
  EXPECT_FALSE(shader->Data().Has(14));
}

TEST_F(ContainerTest, LinksResolveOnlyToLiveNodesOfTheDocumentAndType) {
  host::Document* doc = host.NewDocument();
  host::Document* other = host.NewDocument();
  host::Node* owner = doc->CreateMaterial("m");
  host::Node* shader = doc->CreateShader(host::kShaderNoise);
  host::Node* light = doc->CreateObject(host::kTypeLight);
  C4DContainer* c = node->GetDataInstance(host::ToHandle(owner));
  C4DDocument* d = host::ToHandle(doc);

  C4DValue in = Handle(C4D_DTYPE_LINK, shader);
  ASSERT_TRUE(cont->SetValue(c, 1, &in));
  in = Handle(C4D_DTYPE_LINK, light);
  ASSERT_TRUE(cont->SetValue(c, 2, &in));

  EXPECT_EQ(host::ToHandle(shader), cont->GetLink(c, 1, d, 0));
  EXPECT_EQ(host::ToHandle(shader), cont->GetLink(c, 1, d, C4D_TYPE_SHADER)) << "every shader is a 5707";
  EXPECT_EQ(host::ToHandle(shader), cont->GetLink(c, 1, d, host::kShaderNoise));
  EXPECT_EQ(nullptr, cont->GetLink(c, 2, d, C4D_TYPE_SHADER)) << "a light is no shader";
  EXPECT_EQ(host::ToHandle(light), cont->GetLink(c, 2, d, C4D_TYPE_LIGHT));
  EXPECT_EQ(nullptr, cont->GetLink(c, 1, host::ToHandle(other), 0)) << "other document";
  EXPECT_EQ(nullptr, cont->GetLink(c, 1, nullptr, 0));

  // A deleted node leaves a link that resolves to nothing, also through GetValue.
  ASSERT_TRUE(doc->DeleteNode(shader));
  EXPECT_EQ(nullptr, cont->GetLink(c, 1, d, 0));
  C4DValue out{};
  ASSERT_TRUE(cont->GetValue(c, 1, &out));
  EXPECT_EQ(C4D_DTYPE_LINK, out.type);
  EXPECT_EQ(nullptr, out.u.handle);
}

TEST_F(ContainerTest, InsertShaderAndDeletionOfChildren) {
  host::Document* doc = host.NewDocument();
  host::Node* mat = doc->CreateMaterial();
  host::Node* a = doc->CreateShader(host::kShaderColor);
  host::Node* b = doc->CreateShader(host::kShaderColor);
  host::Node* foreign = host.NewDocument()->CreateShader(host::kShaderColor);
  EXPECT_TRUE(node->InsertShader(host::ToHandle(mat), host::ToHandle(a)));
  EXPECT_FALSE(node->InsertShader(host::ToHandle(mat), host::ToHandle(a))) << "already has a parent";
  EXPECT_TRUE(node->InsertShader(host::ToHandle(a), host::ToHandle(b)));
  EXPECT_FALSE(node->InsertShader(host::ToHandle(b), host::ToHandle(a))) << "no cycles";
  EXPECT_FALSE(node->InsertShader(host::ToHandle(mat), host::ToHandle(foreign)));
  EXPECT_FALSE(node->InsertShader(host::ToHandle(a), host::ToHandle(mat))) << "only shaders";
  mat->Data().SetLink(5, b);
  ASSERT_TRUE(doc->DeleteNode(a));
  EXPECT_EQ(nullptr, mat->Data().GetLink(5)) << "the child went with its parent";
  EXPECT_TRUE(mat->Children().empty());
  EXPECT_EQ(1u, doc->Nodes().size());
}

TEST_F(ContainerTest, GradientIsCopiedIntoTheContainer) {
  host::Document* doc = host.NewDocument();
  C4DContainer* c = node->GetDataInstance(host::ToHandle(doc->CreateMaterial()));
  int64_t liveBefore = host::LiveGradients();

  C4DGradient* g = cd->GradientAlloc();
  C4DValue mode = Long(0);
  EXPECT_TRUE(cd->GradientSetData(g, C4D_GRADIENT_MODE, &mode));
  C4DGradientKnot k = host::DefaultKnot();
  k.col = {1, 0, 0};
  EXPECT_EQ(0, cd->GradientInsertKnot(g, &k));
  C4DValue v = Handle(C4D_CUSTOMDATA_GRADIENT, g);
  ASSERT_TRUE(cont->SetValue(c, 10009, &v));

  // Later edits of the original do not reach the stored copy, and vice versa.
  k.col = {0, 0, 1};
  k.pos = 1;
  EXPECT_EQ(1, cd->GradientInsertKnot(g, &k));
  auto* stored = static_cast<C4DGradient*>(cont->GetCustomData(c, 10009, C4D_CUSTOMDATA_GRADIENT));
  ASSERT_NE(nullptr, stored);
  EXPECT_NE(g, stored);
  EXPECT_EQ(1, cd->GradientGetKnotCount(stored));
  EXPECT_EQ(2, cd->GradientGetKnotCount(g));
  C4DValue out{};
  ASSERT_TRUE(cd->GradientGetData(stored, C4D_GRADIENT_MODE, &out));
  EXPECT_EQ(C4D_DTYPE_LONG, out.type);
  EXPECT_EQ(0, out.u.i32);
  EXPECT_EQ(nullptr, cont->GetCustomData(c, 10009, C4D_CUSTOMDATA_INEXCLUDE)) << "type must match";

  cd->GradientFree(stored);  // belongs to the container: ignored
  EXPECT_EQ(1, cd->GradientGetKnotCount(stored));
  cd->GradientFree(g);
  EXPECT_EQ(liveBefore + 1, host::LiveGradients());
  host::Container copy = *host::FromHandle(c);
  EXPECT_NE(copy.GetGradient(10009), host::FromHandle(c)->GetGradient(10009)) << "container copies deep-copy";
}

TEST_F(ContainerTest, InExcludeResolvesLiveNodesOfTheDocument) {
  host::Document* doc = host.NewDocument();
  host::Node* l1 = doc->CreateObject(host::kTypeLight, "l1");
  host::Node* l2 = doc->CreateObject(host::kTypeLight, "l2");
  host::Node* foreign = host.NewDocument()->CreateObject(host::kTypeLight);
  host::InExclude list;
  list.Append(l1, 3);
  list.Append(l2, 1);
  list.Append(foreign, 2);
  list.Append(nullptr, 7);
  host::Node* owner = doc->CreateMaterial();
  owner->Data().Set(10008, host::Value::FromInExclude(list));
  auto* stored = static_cast<C4DInExclude*>(
      cont->GetCustomData(node->GetDataInstance(host::ToHandle(owner)), 10008, C4D_CUSTOMDATA_INEXCLUDE));
  ASSERT_NE(nullptr, stored);
  C4DDocument* d = host::ToHandle(doc);

  doc->DeleteNode(l2);
  EXPECT_EQ(4, cd->InExcludeGetObjectCount(stored));
  EXPECT_EQ(host::ToHandle(l1), cd->InExcludeObjectFromIndex(stored, d, 0));
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(stored, d, 1)) << "deleted";
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(stored, d, 2)) << "other document";
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(stored, d, 3));
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(stored, d, 4));
  EXPECT_EQ(nullptr, cd->InExcludeObjectFromIndex(stored, d, -1));
  EXPECT_EQ(3, cd->InExcludeGetFlags(stored, 0));
  EXPECT_EQ(1, cd->InExcludeGetFlags(stored, 1)) << "flags stay with a dead entry";
  EXPECT_EQ(0, cd->InExcludeGetFlags(stored, 9));
}

// Gradient lookup: expected values in closed form.
TEST_F(GradientTest, InterpolationBiasAndRange) {
  auto make = [&](int32_t interpolation, double bias) {
    host::Gradient g;
    C4DGradientKnot k = host::DefaultKnot();
    k.col = {1, 0, 0};
    k.pos = 0.2;
    k.bias = bias;
    k.interpolation = interpolation;
    g.InsertKnot(k);
    k.col = {0, 0, 1};
    k.brightness = 2;
    k.pos = 0.6;
    g.InsertKnot(k);
    return g;
  };
  const double t = 0.25;  // pos 0.3 between 0.2 and 0.6
  host::Gradient linear = make(C4D_GRADIENT_INTERPOLATION_LINEAR, 0.5);
  host::Vec3 c = linear.CalcPixel(0.3);
  EXPECT_NEAR(1 - t, c.x, 1e-12);
  EXPECT_NEAR(2 * t, c.z, 1e-12) << "colour times brightness";

  double s = t * t * (3 - 2 * t);
  c = make(C4D_GRADIENT_INTERPOLATION_SMOOTH, 0.5).CalcPixel(0.3);
  EXPECT_NEAR(1 - s, c.x, 1e-12);
  EXPECT_NEAR(2 * s, c.z, 1e-12);

  c = make(C4D_GRADIENT_INTERPOLATION_STEP, 0.5).CalcPixel(0.59);
  EXPECT_EQ(host::Vec3(1, 0, 0), c);
  c = make(C4D_GRADIENT_INTERPOLATION_STEP, 0.5).CalcPixel(0.6);
  EXPECT_EQ(host::Vec3(0, 0, 2), c);
  c = make(99, 0.5).CalcPixel(0.3);
  EXPECT_NEAR(1 - t, c.x, 1e-12) << "unknown interpolation is linear";

  // Bias b: t = b lands on the midpoint; t' = t^(log 0.5 / log b) elsewhere.
  host::Gradient biased = make(C4D_GRADIENT_INTERPOLATION_LINEAR, 0.2);
  c = biased.CalcPixel(0.2 + 0.2 * 0.4);
  EXPECT_NEAR(0.5, c.x, 1e-12);
  double tb = std::pow(t, std::log(0.5) / std::log(0.2));
  EXPECT_NEAR(1 - tb, biased.CalcPixel(0.3).x, 1e-12);

  // Outside the knots, clamped positions, no knots.
  EXPECT_EQ(host::Vec3(1, 0, 0), linear.CalcPixel(0.1));
  EXPECT_EQ(host::Vec3(0, 0, 2), linear.CalcPixel(0.9));
  EXPECT_EQ(host::Vec3(1, 0, 0), linear.CalcPixel(-5));
  EXPECT_EQ(host::Vec3(0, 0, 2), linear.CalcPixel(7));
  EXPECT_EQ(host::Vec3(1, 0, 0), linear.CalcPixel(std::nan("")));
  EXPECT_EQ(host::Vec3(), host::Gradient().CalcPixel(0.5));
}

TEST_F(GradientTest, KnotsStaySortedAndLookupWorksWithoutInitRender) {
  C4DGradient* g = cd->GradientAlloc();
  C4DGradientKnot k = host::DefaultKnot();
  k.pos = 0.8;
  k.index = 1;
  EXPECT_EQ(0, cd->GradientInsertKnot(g, &k));
  k.pos = 0.1;
  k.index = 2;
  EXPECT_EQ(0, cd->GradientInsertKnot(g, &k));
  k.pos = 1.5;
  k.index = 3;
  EXPECT_EQ(2, cd->GradientInsertKnot(g, &k)) << "position clamped to 1";
  C4DGradientKnot out{};
  ASSERT_TRUE(cd->GradientGetKnot(g, 2, &out));
  EXPECT_EQ(1.0, out.pos);
  EXPECT_EQ(3, out.index);
  EXPECT_FALSE(cd->GradientGetKnot(g, 3, &out));

  C4DVector before{}, after{};
  cd->GradientCalcPixel(g, 0.5, &before);
  EXPECT_TRUE(cd->GradientInitRender(g, nullptr));
  cd->GradientCalcPixel(g, 0.5, &after);
  cd->GradientFreeRender(g);
  EXPECT_EQ(before.x, after.x);
  EXPECT_EQ(1.0, after.x);
  cd->GradientFree(g);
}

}  // namespace
}  // namespace hosttest
