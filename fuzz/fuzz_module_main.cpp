// The module entry c4d_main fed arbitrary actions and messages in arbitrary order, mixed
// with creating, rendering and deleting shader instances while the plug-in is registered.
// The module is loaded once per process; when its usage count drifts far from the usual
// range it is closed and opened again, so the process state stays bounded.
//
// Host-side rules kept here (the module's own contract asks nothing of the order):
// documents are destroyed before an action 3 that ends the module, and instances are
// only created while the shader is registered.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/customdata.h"
#include "core/ids.h"
#include "core/shaders.h"
#include "core/suites.h"
#include "interface/host_interface.h"
#include "corvane_ids.h"
#include "fuzz_support.h"

namespace {

using namespace corvanetest;  // the plug-in's IDs
constexpr int kMaxUsage = 64;

struct State {
  fuzz::Session session;
  C4DFilename* moduleFile = nullptr;
  C4DHostInterface oldHost{};  // the host interface with a version below the minimum
  int usage = 0;               // the module's usage count as driven from here

  void Open() {
    session.Open();
    const C4DTextSuite1* text = host::TextSuite1();
    const std::string path = session.module->Path();
    C4DString* s = text->StringFromUtf8(path.data(), path.size());
    moduleFile = text->FilenameFromString(s);
    text->StringRelease(s);
    oldHost = *host::Interface();
    oldHost.version = C4D_API_VERSION_MIN - 1;
    usage = 0;
  }
  void Reopen() {
    // Bring the module to a clean end when it was started, then close everything.
    if (session.host) session.host->DestroyDocuments();
    if (usage > 0) {
      while (usage > 0) End();
    }
    host::TextSuite1()->FilenameRelease(moduleFile);
    session.Close();
    Open();
  }

  int32_t Call(int32_t action, void* p1 = nullptr, void* p2 = nullptr, void* p3 = nullptr) {
    return session.module->CallMain(action, p1, p2, p3);
  }
  void SystemStart(uint8_t how) {
    void* iface = const_cast<C4DHostInterface*>(host::Interface());
    if (how % 4 == 1) iface = &oldHost;
    if (how % 4 == 2) iface = nullptr;
    int32_t r = Call(C4D_ACTION_SYSTEM_START, iface, nullptr, how % 8 == 3 ? nullptr : moduleFile);
    ++usage;
    if (r != 1 && r != -3) __builtin_trap();
  }
  void End() {
    if (usage == 1) session.host->DestroyDocuments();  // the host frees instances before the end
    if (Call(C4D_ACTION_END) != 1) __builtin_trap();
    --usage;
  }

  bool Registered() const { return session.host->Plugins().Find(kCorvane) != nullptr; }

  /// Creates a Corvane instance with a light list (and maybe itself as sub-shader), renders
  /// a few samples through the host and releases it.
  void RenderInstance(fuzz::Input& in) {
    if (!Registered() || usage < 1) return;
    host::Document* doc = session.host->NewDocument("fuzz");
    host::Node* shader = doc->CreateShader(kCorvane, "Corvane");
    if (!shader) return;
    host::InExclude list;
    const int lights = in.Byte() % 5;
    for (int i = 0; i < lights; ++i) {
      host::Node* light = doc->CreateObject(host::kTypeLight, "light");
      light->Data().SetInt32(host::LIGHT_TYPE, in.Byte() % 3);
      light->Data().SetFloat(host::LIGHT_BRIGHTNESS, static_cast<double>(in.Word()) / 65536.0);
      light->Data().SetVector(host::OBJECT_POSITION, host::Vec3(0, 0, 100));
      list.Append(light, in.Byte() % 4);
    }
    shader->Data().Set(kLights, host::Value::FromInExclude(list));
    if (in.Byte() & 1) shader->Data().SetLink(kSubShader, shader);  // a link to itself
    const C4DInitRenderStruct irs{host::ToHandle(doc), 0.0, 1, 0};
    host::ShaderInitRender(shader, &irs);
    C4DRay eyeRay{};
    eyeRay.v = {0, 0, -1};
    C4DVolumeData vd{};
    vd.n = vd.bumpn = vd.orign = {0, 0, 1};
    vd.ray = &eyeRay;
    C4DChannelData cd{};
    cd.vd = &vd;
    for (int i = 0; i < 3; ++i) (void)host::SampleShader(shader, &cd);
    host::ShaderFreeRender(shader);
    if (in.Byte() & 1) session.host->DeleteDocument(doc);
  }
};

State& Driver() {
  static State* state = [] {
    auto* s = new State;
    s->Open();
    return s;
  }();
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Driver();
  fuzz::Input in(data, size);
  while (in.More()) {
    const uint8_t op = in.Byte();
    switch (op % 10) {
      case 0:
        s.SystemStart(in.Byte());
        break;
      case 1: {
        int32_t r = s.Call(C4D_ACTION_START);
        if (r != 0 && r != 1) __builtin_trap();
        break;
      }
      case 2:
        s.End();
        break;
      case 3:
        if (s.Call(C4D_ACTION_QUERY) != 5) __builtin_trap();
        break;
      case 4: {
        // Messages 0 and 1 mostly, any other number now and then.
        const uint8_t kind = in.Byte();
        int32_t message = kind < 100 ? 1 : kind < 200 ? 0 : in.Word();
        int32_t r = s.Call(C4D_ACTION_MESSAGE, reinterpret_cast<void*>(static_cast<intptr_t>(message)));
        if (r != 1 && r != -1) __builtin_trap();
        break;
      }
      case 5: {
        // Any action number; the known ones go through their own paths.
        int32_t action = in.Word();
        if (action == C4D_ACTION_SYSTEM_START || action == C4D_ACTION_END || action == C4D_ACTION_START ||
            action == C4D_ACTION_MESSAGE || action == C4D_ACTION_QUERY)
          break;
        if (s.Call(action) != -1) __builtin_trap();
        break;
      }
      case 6:
      case 7:
        s.RenderInstance(in);
        break;
      case 8:
        s.session.host->DestroyDocuments();
        break;
      default:
        break;
    }
    if (s.usage > kMaxUsage || s.usage < -kMaxUsage) s.Reopen();
  }
  // Each input starts from a freshly loaded module in about one in sixteen runs, so
  // start-up paths are exercised repeatedly without unbounded growth of host state.
  if ((size & 15) == 0) s.Reopen();
  return 0;
}
