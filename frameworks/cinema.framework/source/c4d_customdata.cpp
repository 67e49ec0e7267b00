// c4d_customdata.cpp - gradients and in/exclude lists on the host's custom data suite.
#include "c4d_raytrace.h"
#include "customgui_gradient.h"
#include "customgui_inexclude.h"
#include "host_access.h"

using maxon::details::CustomDataSuite;
using maxon::details::Handle;

// The knot type of the API shape; laid out like the host's knot, so it is passed in place.
#if API_VERSION >= 2024000
using Knot = maxon::GradientKnot;
static_assert(sizeof(maxon::Color) == sizeof(C4DVector), "Color mirrors C4DVector");
#else
using Knot = GradientKnot;
#endif
static_assert(sizeof(Knot) == sizeof(C4DGradientKnot), "GradientKnot mirrors C4DGradientKnot");
static_assert(offsetof(Knot, col) == offsetof(C4DGradientKnot, col) &&
                  offsetof(Knot, brightness) == offsetof(C4DGradientKnot, brightness) &&
                  offsetof(Knot, pos) == offsetof(C4DGradientKnot, pos) &&
                  offsetof(Knot, bias) == offsetof(C4DGradientKnot, bias) &&
                  offsetof(Knot, index) == offsetof(C4DGradientKnot, index) &&
                  offsetof(Knot, interpolation) == offsetof(C4DGradientKnot, interpolation),
              "GradientKnot field offsets");

CINEMA_NAMESPACE_BEGIN

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

Int32 Gradient::InsertKnot(const Knot& knot) {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite == nullptr) return -1;
  return suite->GradientInsertKnot(Handle<C4DGradient>(this), Handle<C4DGradientKnot>(&knot));
}

Int32 Gradient::GetKnotCount() const {
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  return suite != nullptr ? suite->GradientGetKnotCount(Handle<C4DGradient>(this)) : 0;
}

Knot Gradient::GetKnot(Int32 index) const {
  Knot knot;
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite != nullptr)
    suite->GradientGetKnot(Handle<C4DGradient>(this), index, Handle<C4DGradientKnot>(&knot));
  return knot;
}

#if API_VERSION >= 2024000
maxon::Result<maxon::GradientRenderData> Gradient::PrepareRenderData(const InitRenderStruct& irs) const {
  // The host keeps the preparation with the gradient itself; the render data only refers
  // to it, so it needs nothing released when its holder drops it.
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  C4DGradient* g = const_cast<C4DGradient*>(Handle<C4DGradient>(this));
  if (suite == nullptr || !suite->GradientInitRender(g, Handle<C4DInitRenderStruct>(&irs))) return maxon::FAILED;
  return maxon::GradientRenderData::FromHandle(g);
}
#else
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
#endif

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

CINEMA_NAMESPACE_END

maxon::Color maxon::GradientRenderData::CalcGradientPixel(Float pos) const {
  C4DVector out = {0.0, 0.0, 0.0};
  const C4DCustomDataSuite1* suite = CustomDataSuite();
  if (suite != nullptr && _gradient != nullptr) suite->GradientCalcPixel(_gradient, pos, &out);
  return maxon::Color(out.x, out.y, out.z);
}
