// The Corvane shader fed any parameter container: values of any type at any of its IDs,
// light lists with any flags, entries of deleted objects, of other documents and of
// objects that are no lights, gradients with any knots, lights with NaN and infinite
// colours and brightnesses, sub-shader links (to itself and to other instances) and
// volume data with any vectors. Each instance is prepared, sampled and released through
// the host; the document is then deleted.
//
// Checked: no crash (sanitizers), every grey result lies in [0, 1], a gradient result lies
// within its knots' colours, and after the document is gone the host's counters (module
// memory blocks, render lights, gradients) are back where they started.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/customdata.h"
#include "core/ids.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/scene.h"
#include "core/shaders.h"
#include "fuzz_support.h"

namespace {

constexpr int32_t kCorvane = 1057829;
constexpr int32_t kFirstId = 10001;  // XCORVANE_SPARE_VALUE
constexpr int32_t kOutput = 10003;
constexpr int32_t kShader = 10002;
constexpr int32_t kLights = 10008;
constexpr int32_t kGradient = 10009;

/// The fuzz input, with 64-bit floats and vectors besides bytes and words.
class Input : public fuzz::Input {
 public:
  using fuzz::Input::Input;
  /// Mostly values that matter to the shader (0, 1, halves, NaN, infinities, extremes),
  /// now and then any 64-bit pattern.
  double Double() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double kSpecial[] = {0.0,
                                      1.0,
                                      0.5,
                                      0.25,
                                      -0.5,
                                      -1.0,
                                      2.0,
                                      0.3333333333333333,
                                      1e-300,
                                      -0.0,
                                      1e308,
                                      -1e308,
                                      inf,
                                      -inf,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::denorm_min(),
                                      100.0,
                                      -100.0,
                                      1e-9,
                                      0.75};
    const uint8_t pick = Byte();
    if (pick < 200) return kSpecial[pick % (sizeof(kSpecial) / sizeof(kSpecial[0]))];
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | Byte();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  host::Vec3 Vector() {
    const double x = Double();
    if (Byte() & 1) return {x, x, x};
    const double y = Double();
    return {x, y, Double()};
  }
};

fuzz::Session& Loaded() {
  static fuzz::Session* session = [] {
    auto* s = new fuzz::Session;
    s->Open();
    if (!s->module->RunLifecycle()) std::abort();
    if (!s->host->Plugins().Find(kCorvane)) std::abort();
    return s;
  }();
  return *session;
}

[[noreturn]] void Fail(const char* what, const host::Vec3& v) {
  std::fprintf(stderr, "fuzz_shader: %s: (%.17g, %.17g, %.17g)\n", what, v.x, v.y, v.z);
  std::abort();
}

/// The nodes one input works with.
struct Pool {
  std::vector<host::Node*> nodes;  // lights, other objects, shaders; some get deleted
  std::vector<host::Node*> corvanes;

  const host::Node* Pick(Input& in) const {
    const uint8_t b = in.Byte();
    if (nodes.empty() || b % 8 == 7) return nullptr;
    return nodes[b % nodes.size()];
  }
};

host::Gradient AnyGradient(Input& in) {
  host::Gradient g;
  const int knots = in.Byte() % 6;
  for (int i = 0; i < knots; ++i) {
    C4DGradientKnot k = host::DefaultKnot();
    k.col = in.Vector();
    k.brightness = (in.Byte() & 1) ? in.Double() : 1.0;
    k.pos = in.Double();
    k.bias = (in.Byte() & 1) ? in.Double() : 0.5;
    k.index = in.Word();
    k.interpolation = in.Byte() % 7;
    g.InsertKnot(k);
  }
  if (in.Byte() & 1) g.Settings().SetInt32(1002, in.Word());  // the gradient's mode
  return g;
}

host::InExclude AnyList(Input& in, const Pool& pool) {
  host::InExclude list;
  const int entries = in.Byte() % 9;
  for (int i = 0; i < entries; ++i) {
    const host::Node* node = pool.Pick(in);
    const uint8_t f = in.Byte();
    list.Append(node, f < 240 ? f % 4 : in.Word());
  }
  return list;
}

/// A value of any kind; the kind the parameter holds by nature comes first more often.
host::Value AnyValue(Input& in, const Pool& pool, int32_t id) {
  uint8_t kind = in.Byte();
  if (kind < 128) {
    if (id == kLights) return host::Value::FromInExclude(AnyList(in, pool));
    if (id == kGradient) return host::Value::FromGradient(AnyGradient(in));
    if (id == kShader) return host::Value::Link(pool.Pick(in));
  }
  switch (kind % 10) {
    case 0:
      return host::Value();
    case 1:
      return host::Value::Int32(kind < 200 ? static_cast<int32_t>(in.Byte() % 4) - 1 : in.Word());
    case 2:
      return host::Value::Float(in.Double());
    case 3:
      return host::Value::Vector(in.Vector());
    case 4:
      return host::Value::String("fuzz");
    case 5:
      return host::Value::Link(pool.Pick(in));
    case 6:
      return host::Value::FromGradient(AnyGradient(in));
    case 7:
      return host::Value::FromInExclude(AnyList(in, pool));
    case 8:
      return host::Value::Opaque(in.Word(), "fuzz");
    default:
      return host::Value::Bool(in.Byte() & 1);
  }
}

host::Node* NewLight(Input& in, host::Document* doc) {
  host::Node* light = doc->CreateObject(host::kTypeLight, "light");
  host::Container& d = light->Data();
  d.SetInt32(host::LIGHT_TYPE, in.Byte() % 4);
  d.SetVector(host::LIGHT_COLOR, in.Vector());
  d.SetFloat(host::LIGHT_BRIGHTNESS, in.Double());
  d.SetInt32(host::LIGHT_FALLOFF, in.Byte() % 4);
  if (in.Byte() & 1) d.SetFloat(host::LIGHT_FALLOFF_RADIUS, in.Double());
  if (in.Byte() & 1) d.SetFloat(host::LIGHT_SPOT_ANGLE, in.Double());
  if (in.Byte() & 1) d.SetFloat(host::LIGHT_SPOT_INNER_ANGLE, in.Double());
  d.SetVector(host::OBJECT_POSITION, (in.Byte() & 1) ? in.Vector() : host::Vec3(0, 0, -10));
  d.SetVector(host::OBJECT_DIRECTION, (in.Byte() & 1) ? in.Vector() : host::Vec3(0, 0, 1));
  if (in.Byte() % 8 == 0) d.SetBool(host::OBJECT_ENABLED, false);
  return light;
}

/// Whether the instance may answer through its gradient (its output value is not plainly
/// grey and a gradient is stored), and the bounds of the gradient's colours when every
/// knot's colour is finite and moderate.
struct GradientBounds {
  bool possible = false;
  bool bounded = false;
  host::Vec3 lo, hi;
};

GradientBounds BoundsOf(const host::Node* corvane) {
  GradientBounds b;
  const host::Value* output = corvane->Data().Find(kOutput);
  const bool grey =
      output == nullptr || (output->GetKind() == host::Value::Kind::Int32 && output->GetInt32() != 1);
  const host::Gradient* g = corvane->Data().GetGradient(kGradient);
  if (grey || g == nullptr) return b;
  b.possible = true;
  b.bounded = true;
  if (g->Knots().empty()) return b;  // black: lo = hi = 0
  const double inf = std::numeric_limits<double>::infinity();
  b.lo = {inf, inf, inf};
  b.hi = {-inf, -inf, -inf};
  for (const C4DGradientKnot& k : g->Knots()) {
    const double c[3] = {k.col.x * k.brightness, k.col.y * k.brightness, k.col.z * k.brightness};
    for (double v : c)
      if (!(std::fabs(v) < 1e300)) b.bounded = false;
    b.lo = {std::fmin(b.lo.x, c[0]), std::fmin(b.lo.y, c[1]), std::fmin(b.lo.z, c[2])};
    b.hi = {std::fmax(b.hi.x, c[0]), std::fmax(b.hi.y, c[1]), std::fmax(b.hi.z, c[2])};
  }
  return b;
}

bool Within(double v, double lo, double hi) {
  const double slack = 1e-9 * (1.0 + std::fabs(lo) + std::fabs(hi));
  return v >= lo - slack && v <= hi + slack;
}

void Check(const host::Vec3& v, const GradientBounds& b) {
  const bool grey = v.x == v.y && v.y == v.z;
  if (grey && v.x >= 0.0 && v.x <= 1.0) return;
  if (!b.possible) Fail("grey output outside [0, 1] or not grey", v);
  if (!b.bounded) return;
  if (!Within(v.x, b.lo.x, b.hi.x) || !Within(v.y, b.lo.y, b.hi.y) || !Within(v.z, b.lo.z, b.hi.z))
    Fail("gradient output outside its knots' colours", v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Session& session = Loaded();
  const int64_t blocks = host::GetMemoryStats().liveBlocks;
  const int64_t rayLights = host::LiveRayLights();
  const int64_t gradients = host::LiveGradients();

  Input in(data, size);
  host::Document* doc = session.host->NewDocument("fuzz");
  host::Document* other = session.host->NewDocument("other");
  Pool pool;

  // Nodes: lights of this and of another document, a camera, a colour sub-shader.
  const int lights = in.Byte() % 6;
  for (int i = 0; i < lights; ++i) pool.nodes.push_back(NewLight(in, (in.Byte() % 8 == 0) ? other : doc));
  pool.nodes.push_back(doc->CreateObject(host::kTypeCamera, "camera"));
  host::Node* colour = doc->CreateShader(host::kShaderColor, "colour");
  colour->Data().SetVector(host::COLORSHADER_COLOR, in.Vector());
  pool.nodes.push_back(colour);

  // One to three instances; they may link each other and themselves.
  const int instances = 1 + in.Byte() % 3;
  for (int i = 0; i < instances; ++i) {
    host::Node* c = doc->CreateShader(kCorvane, "Corvane");
    if (c == nullptr) std::abort();  // no allocation fails here
    pool.corvanes.push_back(c);
    pool.nodes.push_back(c);
  }
  for (host::Node* c : pool.corvanes) {
    const int values = in.Byte() % 12;
    for (int i = 0; i < values; ++i) {
      const uint8_t which = in.Byte();
      const int32_t id = which < 250 ? kFirstId + which % 10 : in.Word();
      c->Data().Set(id, AnyValue(in, pool, id));
    }
  }
  // Some listed objects are deleted before the render.
  for (host::Node*& n : pool.nodes) {
    if (n != colour && n->GetDocument() == doc && n->Kind() == host::NodeKind::Object && in.Byte() % 6 == 0) {
      doc->DeleteNode(n);
      n = nullptr;
    }
  }

  const C4DInitRenderStruct irs{host::ToHandle(doc), 0.0, 1, 0};
  for (host::Node* c : pool.corvanes) {
    const GradientBounds bounds = BoundsOf(c);
    (void)host::ShaderInitRender(c, &irs);
    if (in.Byte() & 1) (void)host::ShaderInitRender(c, &irs);  // prepared twice
    const int samples = 1 + in.Byte() % 8;
    for (int i = 0; i < samples; ++i) {
      C4DRay eyeRay{};
      eyeRay.v = {0, 0, 1};
      C4DVolumeData vd{};
      vd.n = vd.bumpn = vd.orign = {0, 0, -1};
      vd.ray = &eyeRay;
      if (in.Byte() & 1) {
        vd.p = in.Vector();
        vd.orign = in.Vector();
        vd.bumpn = in.Vector();
      }
      C4DChannelData cd{};
      cd.vd = in.Byte() % 16 == 0 ? nullptr : &vd;
      cd.p = in.Vector();
      Check(host::SampleShader(c, &cd), bounds);
    }
    host::ShaderFreeRender(c);
    if (in.Byte() & 1) {  // a sample after the release still answers within range
      C4DVolumeData vd{};
      vd.n = vd.bumpn = vd.orign = {0, 0, -1};
      C4DChannelData cd{};
      cd.vd = &vd;
      Check(host::SampleShader(c, &cd), bounds);
    }
  }

  session.host->DeleteDocument(doc);
  session.host->DeleteDocument(other);
  host::Console().Clear();
  if (host::GetMemoryStats().liveBlocks != blocks) Fail("module memory blocks left", {});
  if (host::LiveRayLights() != rayLights) Fail("render lights left", {});
  if (host::LiveGradients() != gradients) Fail("gradients left", {});
  return 0;
}
