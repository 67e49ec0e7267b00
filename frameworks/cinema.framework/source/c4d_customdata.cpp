// c4d_customdata.cpp - gradients and in/exclude lists on the host's custom data suite.
#include "c4d_raytrace.h"
#include "customgui_gradient.h"
#include "customgui_inexclude.h"
#include "host_access.h"

using maxon::details::CustomDataSuite;
using maxon::details::Handle;

static_assert(sizeof(GradientKnot) == sizeof(C4DGradientKnot), "GradientKnot mirrors C4DGradientKnot");
static_assert(offsetof(GradientKnot, col) == offsetof(C4DGradientKnot, col) &&
                  offsetof(GradientKnot, brightness) == offsetof(C4DGradientKnot, brightness) &&
                  offsetof(GradientKnot, pos) == offsetof(C4DGradientKnot, pos) &&
                  offsetof(GradientKnot, bias) == offsetof(C4DGradientKnot, bias) &&
                  offsetof(GradientKnot, index) == offsetof(C4DGradientKnot, index) &&
                  offsetof(GradientKnot, interpolation) == offsetof(C4DGradientKnot, interpolation),
              "GradientKnot field offsets");

// ---------------------------------------------------------------------------------
// Gradient
// ---------------------------------------------------------------------------------
Gradient* Gradient::Alloc() {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr ? Handle<Gradient>(suite->GradientAlloc()) : nullptr;
}

void Gradient::Free(Gradient*& grad) {
  if (grad == nullptr) return;
  if (const C4DCustomDataSuite1* suite = maxon::details::ReleaseCustomDataSuite())
    suite->GradientFree(Handle<C4DGradient>(grad));
  grad = nullptr;
}

Bool Gradient::SetData(Int32 id, const GeData& data) {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr &&
         suite->GradientSetData(Handle<C4DGradient>(this), id, reinterpret_cast<const C4DValue*>(&data));
}

GeData Gradient::GetData(Int32 id) const {
  GeData result;
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  C4DValue value = {};
  if (suite != nullptr && suite->GradientGetData(Handle<C4DGradient>(this), id, &value))
    result = *reinterpret_cast<const GeData*>(&value);
  return result;
}

Int32 Gradient::InsertKnot(const GradientKnot& knot) {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite == nullptr) return -1;
  return suite->GradientInsertKnot(Handle<C4DGradient>(this), Handle<C4DGradientKnot>(&knot));
}

Int32 Gradient::GetKnotCount() const {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr ? suite->GradientGetKnotCount(Handle<C4DGradient>(this)) : 0;
}

GradientKnot Gradient::GetKnot(Int32 index) const {
  GradientKnot knot;
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite != nullptr)
    suite->GradientGetKnot(Handle<C4DGradient>(this), index, Handle<C4DGradientKnot>(&knot));
  return knot;
}

maxon::Result<void> Gradient::InitRender(const InitRenderStruct& irs) {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite == nullptr || !suite->GradientInitRender(Handle<C4DGradient>(this), Handle<C4DInitRenderStruct>(&irs)))
    return maxon::FAILED;
  return maxon::OK;
}

void Gradient::FreeRender() {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite != nullptr) suite->GradientFreeRender(Handle<C4DGradient>(this));
}

Vector Gradient::CalcGradientPixel(Float pos) const {
  C4DVector out = {0.0, 0.0, 0.0};
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite != nullptr) suite->GradientCalcPixel(Handle<C4DGradient>(this), pos, &out);
  return Vector(out.x, out.y, out.z);
}

// ---------------------------------------------------------------------------------
// InExcludeData
// ---------------------------------------------------------------------------------
Int32 InExcludeData::GetObjectCount() const {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr ? suite->InExcludeGetObjectCount(Handle<C4DInExclude>(this)) : 0;
}

BaseList2D* InExcludeData::ObjectFromIndex(const BaseDocument* doc, Int32 index) const {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite == nullptr) return nullptr;
  return Handle<BaseList2D>(
      suite->InExcludeObjectFromIndex(Handle<C4DInExclude>(this), Handle<C4DDocument>(doc), index));
}

Int32 InExcludeData::GetFlags(Int32 index) const {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr ? suite->InExcludeGetFlags(Handle<C4DInExclude>(this), index) : 0;
}
