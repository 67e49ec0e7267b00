// hostile_module.cpp - a module that misbehaves on purpose, built against the C boundary
// alone (no SDK layer), for the tests of what the host survives.
//
// It registers one shader plug-in (ID 1999001, "Hostile"; with mode "claim" Corvane's ID
// instead) and misbehaves as the environment variable CORVANE_HOSTILE says:
//   claim               register under Corvane's ID, the ID of another module's shader
//   segv-output         Output writes through a null pointer
//   throw-main-std      c4d_main action 2 throws a std::runtime_error
//   throw-main-int      c4d_main action 2 throws an int
//   hang-initrender     InitRender never returns
//   hang-output         Output never returns
//   throw-initrender    InitRender throws
//   throw-output        Output throws
//   huge-output         Output answers 1e308, finite as a double but not as a float
//   free-resource-twice action 2 loads its res folder and releases it twice
//   free-lent-bitmap    action 2 frees the bitmap GetIcon lends
//   free-foreign        action 2 hands Free pointers the host never gave
//   print-control       action 2 prints texts with control characters and a long text
// and, each caught by one check of `corvane-host validate`:
//   fail-start          action 2 answers 0 and registers nothing
//   unlabelled          registers a description whose parameter has no label
//   bad-defaults        Init stores a strength of 2, above its MAX of 1
//   leak-initrender     InitRender allocates a block that nothing frees
//   nan-output          Output answers NaN
//   range-output        answers 1.5, outside the range [0, 1] its string table documents
//   racy-output         Output answers a step of a counter that every sample advances
//   alloc-output        Output allocates and frees a block
//   container-output    Output reads the strength from the container
//   state-outside       every new instance answers a brighter grey than the one before
//   crash-odd-value     InitRender writes through null when the strength is not a finite number
//                       up to 1000
//   locale-output       InitRender reads its grey from the text "0.25" with strtod
//   unchecked-alloc     action 2 writes into a block it allocated without checking for null
//   other-type          registers a plug-in of type 7, which is not a shader
// Any other value (or none): a well-behaved shader with a description (res/description/
// xhostile.res) that answers grey 0.5.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "c4d_host_abi.h"
#include "corvane_ids.h"

#if defined(_WIN32)
#define HOSTILE_EXPORT __declspec(dllexport)
#else
#define HOSTILE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

const C4DHostInterface* host = nullptr;
std::string moduleFolder;
std::string mode;

constexpr int32_t kHostileId = 1999001;

C4DDependencyRecord dependency = {"net.maxon.core.framework", nullptr};
C4DUnitRecord unit = {"hostile_module.cpp", nullptr, "net.example.hostile", &dependency, nullptr};

bool Is(const char* m) { return mode == m; }

[[noreturn]] void Hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

constexpr int32_t kStrength = 1001, kStyle = 1002, kFlip = 1003;

// Instances live in a fixed pool; the host never sees more than a few at once in tests.
struct Instance {
  double grey = 0.5;
  bool used = false;
};
Instance pool[4096];
std::atomic<int> instancesMade{0};
std::atomic<long> samplesTaken{0};

C4DNodeData* Alloc() {
  for (Instance& i : pool) {
    if (i.used) continue;
    i = Instance{};
    i.used = true;
    // Each new instance a little brighter: what it shows depends on its history.
    if (Is("state-outside")) i.grey = 0.1 + 0.05 * (instancesMade++ % 10);
    return reinterpret_cast<C4DNodeData*>(&i);
  }
  return nullptr;
}
void Free(C4DNodeData* data) { reinterpret_cast<Instance*>(data)->used = false; }

C4DContainer* Data(C4DNode* node) { return host->node->GetDataInstance(node); }

void Store(C4DNode* node, int32_t id, int32_t type, double f, int32_t i) {
  C4DValue v{};
  v.type = type;
  if (type == C4D_DTYPE_REAL)
    v.u.f = f;
  else
    v.u.i32 = i;
  host->container->SetValue(Data(node), id, &v);
}

double Strength(C4DNode* node) {
  C4DValue v{};
  return host->container->GetValue(Data(node), kStrength, &v) && v.type == C4D_DTYPE_REAL ? v.u.f : 0.5;
}

bool Init(C4DNodeData*, C4DNode* node) {
  Store(node, kStrength, C4D_DTYPE_REAL, Is("bad-defaults") ? 2.0 : 0.5, 0);
  Store(node, kStyle, C4D_DTYPE_LONG, 0, 0);
  Store(node, kFlip, C4D_DTYPE_LONG, 0, 0);
  return true;
}

int32_t InitRender(C4DNodeData* data, C4DNode* node, const C4DInitRenderStruct*) {
  if (Is("hang-initrender")) Hang();
  if (Is("throw-initrender")) throw std::runtime_error("hostile InitRender");
  if (Is("leak-initrender")) host->memory->Alloc(64, 16);
  if (Is("crash-odd-value")) {
    const double s = Strength(node);
    if (!(std::isfinite(s) && std::fabs(s) <= 1000)) {
      volatile int* nowhere = nullptr;
      *nowhere = 1;
    }
  }
  // A careless parse: strtod follows the process's locale.
  if (Is("locale-output")) reinterpret_cast<Instance*>(data)->grey = std::strtod("0.25", nullptr);
  return C4D_INITRENDERRESULT_OK;
}

void Output(const C4DNodeData* data, C4DNode* node, C4DChannelData*, C4DVector* out) {
  if (Is("segv-output")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (Is("hang-output")) Hang();
  if (Is("throw-output")) throw std::runtime_error("hostile Output");
  double v = reinterpret_cast<const Instance*>(data)->grey;
  if (Is("huge-output")) v = 1e308;
  if (Is("nan-output")) v = std::nan("");
  if (Is("range-output")) v = 1.5;
  if (Is("racy-output")) v = double(samplesTaken++ % 7) / 7;
  if (Is("alloc-output")) host->memory->Free(host->memory->Alloc(32, 16));
  if (Is("container-output")) v = Strength(node);
  *out = C4DVector{v, v, v};
}

C4DString* Text(const char* s) { return host->text->StringFromUtf8(s, std::strlen(s)); }

void Print(const std::string& s) {
  C4DString* line = host->text->StringFromUtf8(s.data(), s.size());
  host->text->Print(line);
  host->text->StringRelease(line);
}

// The misbehaviours of action 2 that are calls into the host.
void MisbehaveAtStart() {
  if (Is("free-resource-twice")) {
    C4DString* path = Text((moduleFolder + "/res").c_str());
    C4DFilename* folder = host->text->FilenameFromString(path);
    C4DResource* res = host->registry->LoadResource(folder);
    host->registry->FreeResource(res, true);
    host->registry->FreeResource(res, true);
    host->text->FilenameRelease(folder);
    host->text->StringRelease(path);
  }
  if (Is("free-lent-bitmap")) {
    C4DString* path = Text((moduleFolder + "/res/negative.png").c_str());
    C4DFilename* file = host->text->FilenameFromString(path);
    host->bitmap->RegisterIcon(1999002, file, 0, 0, 32, 32, 0);
    C4DIconData icon{};
    if (host->bitmap->GetIcon(1999002, &icon)) host->bitmap->BitmapFree(icon.bmp);
    host->text->FilenameRelease(file);
    host->text->StringRelease(path);
  }
  if (Is("free-foreign")) {
    int onTheStack = 0;
    void* fromLibc = std::malloc(64);
    char* block = static_cast<char*>(host->memory->Alloc(256, 16));
    host->memory->Free(&onTheStack);
    host->memory->Free(fromLibc);
    host->memory->Free(block + 64);
    host->memory->Free(block);
    host->memory->Free(block);
    host->memory->Free(reinterpret_cast<void*>(uintptr_t{0x10}));
    host->memory->Free(reinterpret_cast<void*>(uintptr_t{0x7f0000000000}));
    std::free(fromLibc);
  }
  if (Is("print-control")) {
    Print("forged\nCorvane: a line the host did not print\r\x1b[31mred\x1b[0m");
    Print(std::string(10000, 'x'));
  }
}

C4DResource* resource = nullptr;

/// Registers the description `name` of the module's res folder for id.
void Describe(int32_t id, const char* name) {
  C4DString* path = Text((moduleFolder + "/res").c_str());
  C4DFilename* folder = host->text->FilenameFromString(path);
  resource = host->registry->LoadResource(folder);
  host->text->FilenameRelease(folder);
  host->text->StringRelease(path);
  if (!resource) return;
  C4DString* text = Text(name);
  host->registry->RegisterDescription(id, text, resource);
  host->text->StringRelease(text);
}

int32_t Start() {
  if (Is("throw-main-std")) throw std::runtime_error("hostile start");
  if (Is("throw-main-int")) throw 42;
  if (Is("fail-start")) return 0;
  MisbehaveAtStart();
  if (Is("unchecked-alloc")) {
    char* block = static_cast<char*>(host->memory->Alloc(64, 16));
    block[0] = 1;
    host->memory->Free(block);
  }
  C4DShaderPluginRecord record{};
  record.size = sizeof record;
  record.Alloc = Alloc;
  record.Free = Free;
  record.Init = Init;
  record.InitRender = InitRender;
  record.Output = Output;
  const int32_t id = Is("claim") ? corvanetest::kCorvane : kHostileId;
  C4DString* name = Text(Is("claim") ? "Impostor" : "Hostile");
  const bool ok = host->registry->RegisterPlugin(Is("other-type") ? 7 : C4D_PLUGINTYPE_SHADER, id, name,
                                                 &record, sizeof record, C4D_API_VERSION);
  host->text->StringRelease(name);
  // The claim of another module's ID stays a bare claim.
  if (ok && !Is("claim")) Describe(id, Is("unlabelled") ? "Xunlabelled" : "Xhostile");
  return ok || Is("other-type") ? 1 : 0;
}

}  // namespace

extern "C" {

HOSTILE_EXPORT C4DModuleInfo g_maxon = {C4D_MODULEINFO_VERSION, &unit, nullptr, {nullptr}};

HOSTILE_EXPORT int32_t c4d_main(int32_t action, void* p1, void*, void* p3) {
  switch (action) {
    case C4D_ACTION_SYSTEM_START: {
      host = static_cast<const C4DHostInterface*>(p1);
      const char* m = std::getenv("CORVANE_HOSTILE");
      mode = m ? m : "";
      size_t length = 0;
      C4DString* path = host->text->FilenameToString(static_cast<const C4DFilename*>(p3));
      const char* text = host->text->StringUtf8(path, &length);
      moduleFolder.assign(text, length);
      moduleFolder = moduleFolder.substr(0, moduleFolder.rfind('/'));
      host->text->StringRelease(path);
      return 1;
    }
    case C4D_ACTION_MESSAGE:
      return 1;
    case C4D_ACTION_START:
      return Start();
    case C4D_ACTION_END:
      if (resource) host->registry->FreeResource(resource, true);
      resource = nullptr;
      return 1;
    default:
      return -1;
  }
}

}  // extern "C"
