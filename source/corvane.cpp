// corvane.cpp - the Corvane channel shader and its registration.

// The light sum must come out bit for bit the same from every compiler and processor:
// no multiply may be fused with the add that follows it (arm64 compilers fuse a*b+c into
// one instruction by default, GCC does so on any processor with FMA), whatever the build's
// own flags say. Placed before the includes, so that the SDK's inline vector operations
// are covered too. (CORVANE_UNPINNED_FP_ARITHMETIC: the build that shows what happens
// without this.)
#if defined(CORVANE_UNPINNED_FP_ARITHMETIC)
#elif defined(__clang__)
#pragma clang fp contract(off)
#elif defined(_MSC_VER)
#pragma fp_contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

#include "corvane.h"

#include "c4d_symbols.h"
#include "sdk_compat.h"

namespace {

/// The 64-bit float nearest to one third: averages multiply by it.
constexpr Float kThird = 0.3333333333333333;

/// Average of a colour's components, summed as (x + y) + z.
inline Float Average(const Vector& v) { return ((v.x + v.y) + v.z) * kThird; }

}  // namespace

NodeData* CorvaneShader::Alloc() { return NewObjClear(CorvaneShader); }

CorvaneShader::~CorvaneShader() {
  ReleaseLights();
  lights.Reset();
}

void CorvaneShader::ReleaseLights() {
  for (LightEntry& entry : lights) FreeRayLight(entry.light);
  lights.Flush();
}

// Each branch of a signature switch holds the signature alone, so that every branch keeps
// its braces balanced: the SDK's source processor reads all of them.
#if API_VERSION >= 2024000
Bool CorvaneShader::Init(GeListNode* node, Bool isCloneInit)
#else
Bool CorvaneShader::Init(GeListNode* node)
#endif
{
#if API_VERSION >= 2024000
  (void)isCloneInit;  // a copy gets the same defaults first, then the original's values
#endif
  BaseContainer* data = static_cast<BaseList2D*>(node)->GetDataInstance();
  if (data == nullptr) return true;

  data->SetFloat(XCORVANE_SPARE_VALUE, 1.0);
  data->SetInt32(XCORVANE_OUTPUT, XCORVANE_OUTPUT_GREY);
  data->SetInt32(XCORVANE_MIXMODE, XCORVANE_MIXMODE_MULTIPLY);
  data->SetBool(XCORVANE_INVERT, false);
  BuildDefaultGradient(data, XCORVANE_GRADIENT);
  return true;
}

Bool CorvaneShader::BuildDefaultGradient(BaseContainer* container, Int32 id) {
  Gradient* grad = Gradient::Alloc();
  if (grad == nullptr) return false;

  grad->SetData(GRADIENT_MODE, GeData(GRADIENTMODE_COLOR));

  corvane::Knot knot;
  knot.col = corvane::KnotColor(1.0, 0.0, 0.0);
  knot.pos = 0.0;
  grad->InsertKnot(knot);
  knot.col = corvane::KnotColor(0.0, 0.0, 1.0);
  knot.pos = 1.0;
  grad->InsertKnot(knot);

  // The container keeps its own copy of the gradient.
  {
    const GeData value = corvane::CustomDataValue(*grad, CUSTOMDATATYPE_GRADIENT);
    container->SetData(id, value);
  }
  Gradient::Free(grad);
  return true;
}

Bool CorvaneShader::Message(GeListNode* node, Int32 type, void* data) {
  BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();

  HandleInitialChannel(node, XCORVANE_SHADER, type, data);
  BaseShader* linked = nullptr;
  if (bc != nullptr)
    linked = static_cast<BaseShader*>(bc->GetLink(XCORVANE_SHADER, node->GetDocument(), Xbase));
  HandleShaderMessage(node, linked, type, data);

  return ShaderData::Message(node, type, data);
}

#if API_VERSION >= 2024000
Bool CorvaneShader::GetDEnabling(const GeListNode* node, const DescID& id, const GeData& tData,
                                 DESCFLAGS_ENABLE flags, const BaseContainer* itemdesc) const
#else
Bool CorvaneShader::GetDEnabling(GeListNode* node, const DescID& id, const GeData& tData,
                                 DESCFLAGS_ENABLE flags, const BaseContainer* itemdesc)
#endif
{
  if (id[0].id != XCORVANE_GRADIENT) return true;

  // The gradient is used only for gradient output; the stored mode decides, not tData.
  const BaseContainer* data = static_cast<const BaseList2D*>(node)->GetDataInstance();
  (void)tData;
  (void)flags;
  (void)itemdesc;
  return data != nullptr && data->GetInt32(XCORVANE_OUTPUT, XCORVANE_OUTPUT_GREY) == XCORVANE_OUTPUT_GRADIENT;
}

SHADERINFO CorvaneShader::GetRenderInfo(BaseShader* sh) {
  (void)sh;
  return SHADERINFO::ALPHA_SUPPORT;
}

INITRENDERRESULT CorvaneShader::InitRender(BaseShader* sh, const InitRenderStruct& irs) {
  BaseContainer* data = sh->GetDataInstance();
  BaseDocument* doc = corvane::RenderDocument(irs);

  // A node without parameters renders like one with nothing set.
  ReleaseLights();
  fallbackValue = 1.0;
  if (data == nullptr) {
    outputMode = XCORVANE_OUTPUT_GREY;
    mixMode = XCORVANE_MIXMODE_MULTIPLY;
    invert = false;
    subShader = nullptr;
    gradient = nullptr;
    return INITRENDERRESULT::OK;
  }

  // Copy the settings.
  outputMode = data->GetInt32(XCORVANE_OUTPUT, XCORVANE_OUTPUT_GREY);
  mixMode = data->GetInt32(XCORVANE_MIXMODE, XCORVANE_MIXMODE_MULTIPLY);
  invert = data->GetBool(XCORVANE_INVERT, false);

  // Resolve the sub-shader and the gradient.
  subShader = static_cast<BaseShader*>(data->GetLink(XCORVANE_SHADER, doc));
  // The container hands its gradient out read-only. Before 2024 the gradient is prepared
  // for the render in place, the one change made to it, so the constness goes here, once.
  gradient = const_cast<corvane::PreparedGradient>(
      corvane::GetCustomData<Gradient>(*data, XCORVANE_GRADIENT, CUSTOMDATATYPE_GRADIENT));

  // Collect the switched-on lights marked active, in list order.
  const InExcludeData* list =
      corvane::GetCustomData<InExcludeData>(*data, XCORVANE_LIGHTS, CUSTOMDATATYPE_INEXCLUDE_LIST);
  if (list != nullptr) {
    const Int32 count = list->GetObjectCount();
    for (Int32 i = 0; i < count; ++i) {
      BaseList2D* object = list->ObjectFromIndex(doc, i);
      const Int32 flags = list->GetFlags(i);
      if (object == nullptr || object->GetType() != Olight) continue;
      BaseObject* light = static_cast<BaseObject*>(object);
      if (!light->GetDeformMode() || (flags & LIGHTFLAG_ACTIVE) == 0) continue;

      RayLight* rayLight = AllocRayLight(doc, light);
      if (rayLight == nullptr) continue;
      // Out of memory: this light is left out, and handed back at once.
      if (lights.Append(LightEntry{rayLight, static_cast<Int64>(flags)}) == maxon::FAILED) FreeRayLight(rayLight);
    }
  }

  // Prepare the sub-shader and the gradient; their own failures are not fatal.
  if (subShader != nullptr) subShader->InitRender(irs);
#if API_VERSION >= 2024000
  if (gradient != nullptr) {
    // Lookups go through the render data; without it (the host could not prepare the
    // gradient) the output falls back to grey, as without a gradient.
    maxon::Result<maxon::GradientRenderData> prepared = gradient->PrepareRenderData(irs);
    if (prepared == maxon::OK)
      gradientRender = prepared.GetValue();
    else
      gradient = nullptr;
  }
#else
  if (gradient != nullptr && gradient->InitRender(irs) == maxon::FAILED) {
    // Lookups work on an unprepared gradient as well, so a host that cannot prepare it
    // (its gradient library lacks the operation) still gets gradient output.
  }
#endif
  return INITRENDERRESULT::OK;
}

void CorvaneShader::FreeRender(BaseShader* sh) {
  (void)sh;
  if (subShader != nullptr) {
    subShader->FreeRender();
    subShader = nullptr;
  }
  if (gradient != nullptr) {
#if API_VERSION >= 2024000
    gradientRender = maxon::GradientRenderData();
#else
    gradient->FreeRender();
#endif
    gradient = nullptr;
  }
}

Vector CorvaneShader::Output(BaseShader* sh, ChannelData* cd) {
  (void)sh;
  // Illumination is asked of the sample's own volume data, which is the host's to change.
  VolumeData* vd = cd != nullptr ? cd->vd : nullptr;
  if (vd == nullptr || lights.IsEmpty()) return Vector(fallbackValue);

  // Brightness of the sub-shader.
  const Float shaderValue = subShader != nullptr ? Average(subShader->Sample(cd)) : 1.0;

  // Signed sum of the light brightnesses; lights behind the surface do not count.
  const Vector& normal = vd->orign;
  Vector col;
  Vector lv;
  Float sum = 0.0;
  for (const LightEntry& entry : lights) {
    if (!vd->IlluminateSurfacePoint(entry.light, &col, &lv, vd->p, vd->bumpn, normal, normal, vd->ray->v,
                                    ILLUMINATEFLAGS::NONE, vd->lhit, RAYBIT::NONE, false))
      continue;
    const Float facing = (lv.x * normal.x + lv.y * normal.y) + lv.z * normal.z;
    if (!(facing > 0.0)) continue;
    Vector c = col;
    if ((entry.flags & LIGHTFLAG_POSITIVE) == 0) c = -c;
    sum = sum + Average(c);
  }

  // Mix with the sub-shader.
  switch (mixMode) {
    case XCORVANE_MIXMODE_MULTIPLY:
      sum = sum * shaderValue;
      break;
    case XCORVANE_MIXMODE_ADD:
      if (subShader != nullptr) sum = sum + shaderValue;
      break;
    case XCORVANE_MIXMODE_SUBTRACT:
      if (subShader != nullptr) sum = sum - shaderValue;
      break;
    default:
      break;
  }

  // Clamp to [0, 1]; a sum that is not a number counts as 0.
  Float v = (0.0 > sum || sum != sum) ? 0.0 : sum;
  v = 1.0 < v ? 1.0 : v;
  if (invert) v = 1.0 - v;

  if (outputMode == XCORVANE_OUTPUT_GRADIENT && gradient != nullptr) {
#if API_VERSION >= 2024000
    const maxon::Color colour = gradientRender.CalcGradientPixel(v);
    return Vector(colour.r, colour.g, colour.b);
#else
    return gradient->CalcGradientPixel(v);
#endif
  }
  return Vector(v);
}

Bool RegisterCorvane() {
  const maxon::String name = GeLoadString(IDS_CORVANE);

  Filename iconFile;
  IconData icon;
  BaseBitmap* bitmap = BaseBitmap::Alloc();

  struct IconSource {
    Int32 id;
    const char* file;
  };
  const IconSource icons[] = {
      {ID_CORVANE_ICON_NEGATIVE, "negative.png"},
      {ID_CORVANE_ICON_POSITIVE, "positive.png"},
  };
  for (const IconSource& source : icons) {
    const Filename folder = GeGetPluginResourcePath();
    const Filename image{maxon::String(source.file)};
    iconFile = folder + image;
    RegisterIcon(source.id, iconFile, 0, 0, 32, 32, ICONFLAG::NONE);
    // Load the whole image and scale it into the icon's bitmap.
    if (bitmap != nullptr) bitmap->Init(iconFile, -1, nullptr);
    if (GetIcon(source.id, &icon) && icon.bmp != nullptr && bitmap != nullptr)
      bitmap->ScaleIt(icon.bmp, 256, true, false);
  }
  if (bitmap != nullptr) BaseBitmap::Free(bitmap);

  // Without memory for the description's name the shader would be registered without its
  // description (no parameters to show or to read from a scene file): refuse instead.
  const maxon::String description("XCorvane");
  if (description.IsEmpty()) return false;
  return RegisterShaderPlugin(ID_CORVANE, name, 0, CorvaneShader::Alloc, description, 0);
}
