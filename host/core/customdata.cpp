// customdata.cpp - gradients, in/exclude lists and the custom data suite.
#include "core/customdata.h"

#include "core/services.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "core/memory.h"
#include "core/scene.h"
#include "core/suites.h"

namespace host {
namespace {

std::atomic<int64_t> liveGradients{0};

double Clamp01(double x) {
  if (!(x > 0)) return 0;  // also NaN
  return x < 1 ? x : 1;
}

Vec3 KnotColor(const C4DGradientKnot& k) { return Vec3(k.col) * k.brightness; }

}  // namespace

// ---- Gradient -----------------------------------------------------------------------

C4DGradientKnot DefaultKnot() {
  C4DGradientKnot k{};
  k.col = C4DVector{1, 1, 1};
  k.brightness = 1;
  k.pos = 0;
  k.bias = 0.5;
  k.index = 0;
  k.interpolation = C4D_GRADIENT_INTERPOLATION_SMOOTH;
  return k;
}

Gradient::Gradient() { liveGradients.fetch_add(1); }
// A copy is a new, unprepared gradient owned by whoever copies it.
Gradient::Gradient(const Gradient& o) : knots_(o.knots_), settings_(o.settings_) {
  liveGradients.fetch_add(1);
}
Gradient& Gradient::operator=(const Gradient& o) {
  knots_ = o.knots_;
  settings_ = o.settings_;
  return *this;
}
Gradient::~Gradient() { liveGradients.fetch_sub(1); }

int32_t Gradient::InsertKnot(const C4DGradientKnot& knot) {
  C4DGradientKnot k = knot;
  k.pos = Clamp01(k.pos);
  auto it = std::upper_bound(knots_.begin(), knots_.end(), k.pos,
                             [](double pos, const C4DGradientKnot& other) { return pos < other.pos; });
  it = knots_.insert(it, k);
  return static_cast<int32_t>(it - knots_.begin());
}

bool Gradient::RemoveKnot(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(knots_.size())) return false;
  knots_.erase(knots_.begin() + index);
  return true;
}

Vec3 Gradient::CalcPixel(double pos) const {
  if (knots_.empty()) return {};
  pos = Clamp01(pos);
  if (pos <= knots_.front().pos) return KnotColor(knots_.front());
  if (pos >= knots_.back().pos) return KnotColor(knots_.back());
  // Find the segment [k, k+1) holding pos: the last knot at or before pos.
  auto next = std::upper_bound(knots_.begin(), knots_.end(), pos,
                               [](double p, const C4DGradientKnot& k) { return p < k.pos; });
  const C4DGradientKnot& a = *(next - 1);
  const C4DGradientKnot& b = *next;
  double span = b.pos - a.pos;
  double t = span > 0 ? (pos - a.pos) / span : 1;
  // Bias: t = bias maps to the midpoint.
  if (a.bias > 0 && a.bias < 1 && a.bias != 0.5) t = std::pow(t, std::log(0.5) / std::log(a.bias));
  switch (a.interpolation) {
    case C4D_GRADIENT_INTERPOLATION_STEP:
      t = 0;
      break;
    case C4D_GRADIENT_INTERPOLATION_SMOOTH:
      t = t * t * (3 - 2 * t);
      break;
    default:
      break;  // linear
  }
  return Lerp(KnotColor(a), KnotColor(b), t);
}

int64_t LiveGradients() { return liveGradients.load(); }
void FailNextGradientAllocs(int n) { Services().failGradientAllocs.store(n > 0 ? n : 0); }

// ---- InExclude ----------------------------------------------------------------------

void InExclude::Append(const Node* node, int32_t flags) {
  Entry e;
  if (node) e.node = const_cast<Node*>(node)->weak_from_this();
  e.flags = flags;
  entries_.push_back(std::move(e));
}

bool InExclude::Remove(int32_t index) {
  if (index < 0 || index >= Count()) return false;
  entries_.erase(entries_.begin() + index);
  return true;
}

Node* InExclude::ObjectFromIndex(const Document* doc, int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  Node* node = entries_[static_cast<size_t>(index)].node.lock().get();
  if (!node || (doc && node->GetDocument() != doc)) return nullptr;
  return node;
}

int32_t InExclude::Flags(int32_t index) const {
  if (index < 0 || index >= Count()) return 0;
  return entries_[static_cast<size_t>(index)].flags;
}

void InExclude::SetFlags(int32_t index, int32_t flags) {
  if (index >= 0 && index < Count()) entries_[static_cast<size_t>(index)].flags = flags;
}

// ---- The suite ----------------------------------------------------------------------

namespace {

C4DGradient* SuiteGradientAlloc() {
  if (TakeModuleAllocationFault("gradient")) return nullptr;
  std::atomic<int>& failGradientAllocs = Services().failGradientAllocs;
  int n = failGradientAllocs.load();
  while (n > 0) {
    if (failGradientAllocs.compare_exchange_weak(n, n - 1)) return nullptr;
  }
  auto* g = new (std::nothrow) Gradient;
  if (g) g->ownedByCaller = true;
  return ToHandle(g);
}

void SuiteGradientFree(C4DGradient* g) {
  // Only gradients from GradientAlloc: one that lives in a container belongs to it.
  if (g && FromHandle(g)->ownedByCaller) delete FromHandle(g);
}

bool SuiteGradientSetData(C4DGradient* g, int32_t id, const C4DValue* value) {
  if (!g || !value) return false;
  try {
    Value v;
    if (!Value::FromC(*value, &v)) return false;
    FromHandle(g)->Settings().Set(id, std::move(v));
    return true;
  } catch (...) {
    return false;
  }
}

bool SuiteGradientGetData(const C4DGradient* g, int32_t id, C4DValue* out) {
  const Value* v = g ? FromHandle(g)->Settings().Find(id) : nullptr;
  if (!v) {
    if (out) *out = C4DValue{};
    return false;
  }
  if (out) v->ToC(out);
  return true;
}

int32_t SuiteGradientInsertKnot(C4DGradient* g, const C4DGradientKnot* knot) {
  if (!g || !knot) return -1;
  try {
    return FromHandle(g)->InsertKnot(*knot);
  } catch (...) {
    return -1;
  }
}

int32_t SuiteGradientGetKnotCount(const C4DGradient* g) {
  return g ? static_cast<int32_t>(FromHandle(g)->Knots().size()) : 0;
}

bool SuiteGradientGetKnot(const C4DGradient* g, int32_t index, C4DGradientKnot* out) {
  if (!g || !out) return false;
  const auto& knots = FromHandle(g)->Knots();
  if (index < 0 || index >= static_cast<int32_t>(knots.size())) return false;
  *out = knots[static_cast<size_t>(index)];
  return true;
}

bool SuiteGradientInitRender(C4DGradient* g, const C4DInitRenderStruct*) {
  if (!g) return false;
  FromHandle(g)->InitRender();
  return true;
}

void SuiteGradientFreeRender(C4DGradient* g) {
  if (g) FromHandle(g)->FreeRender();
}

void SuiteGradientCalcPixel(const C4DGradient* g, double pos, C4DVector* out) {
  if (!out) return;
  *out = g ? FromHandle(g)->CalcPixel(pos) : Vec3{};
}

int32_t SuiteInExcludeGetObjectCount(const C4DInExclude* list) {
  return list ? FromHandle(list)->Count() : 0;
}

C4DNode* SuiteInExcludeObjectFromIndex(const C4DInExclude* list, const C4DDocument* doc, int32_t index) {
  // Entries resolve only within a document.
  if (!list || !doc) return nullptr;
  return ToHandle(FromHandle(list)->ObjectFromIndex(FromHandle(doc), index));
}

int32_t SuiteInExcludeGetFlags(const C4DInExclude* list, int32_t index) {
  return list ? FromHandle(list)->Flags(index) : 0;
}

constexpr C4DCustomDataSuite1 kCustomDataSuite{
    SuiteGradientAlloc,           SuiteGradientFree,
    SuiteGradientSetData,         SuiteGradientGetData,
    SuiteGradientInsertKnot,      SuiteGradientGetKnotCount,
    SuiteGradientGetKnot,         SuiteGradientInitRender,
    SuiteGradientFreeRender,      SuiteGradientCalcPixel,
    SuiteInExcludeGetObjectCount, SuiteInExcludeObjectFromIndex,
    SuiteInExcludeGetFlags,
};

}  // namespace

const C4DCustomDataSuite1* CustomDataSuite1() { return &kCustomDataSuite; }

}  // namespace host
