// hostile_module.cpp - a module that misbehaves on purpose, built against the C boundary
// alone (no SDK layer), for the tests of what the host survives.
//
// It registers one shader plug-in (ID 1999001, "Hostile"; with mode "claim" Corvane's ID
// 1057829 instead) and misbehaves as the environment variable CORVANE_HOSTILE says:
//   claim               register under 1057829, the ID of another module's shader
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
// Any other value (or none): a well-behaved shader that answers grey 0.5.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "c4d_host_abi.h"

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
constexpr int32_t kCorvaneId = 1057829;

C4DDependencyRecord dependency = {"net.maxon.core.framework", nullptr};
C4DUnitRecord unit = {"hostile_module.cpp", nullptr, "net.example.hostile", &dependency, nullptr};

bool Is(const char* m) { return mode == m; }

[[noreturn]] void Hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

struct Instance {
  int unused = 0;
};
Instance instance;

C4DNodeData* Alloc() { return reinterpret_cast<C4DNodeData*>(&instance); }
void Free(C4DNodeData*) {}

int32_t InitRender(C4DNodeData*, C4DNode*, const C4DInitRenderStruct*) {
  if (Is("hang-initrender")) Hang();
  if (Is("throw-initrender")) throw std::runtime_error("hostile InitRender");
  return C4D_INITRENDERRESULT_OK;
}

void Output(const C4DNodeData*, C4DNode*, C4DChannelData*, C4DVector* out) {
  if (Is("segv-output")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (Is("hang-output")) Hang();
  if (Is("throw-output")) throw std::runtime_error("hostile Output");
  const double v = Is("huge-output") ? 1e308 : 0.5;
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

int32_t Start() {
  if (Is("throw-main-std")) throw std::runtime_error("hostile start");
  if (Is("throw-main-int")) throw 42;
  MisbehaveAtStart();
  C4DShaderPluginRecord record{};
  record.size = sizeof record;
  record.Alloc = Alloc;
  record.Free = Free;
  record.InitRender = InitRender;
  record.Output = Output;
  C4DString* name = Text(Is("claim") ? "Impostor" : "Hostile");
  const bool ok = host->registry->RegisterPlugin(C4D_PLUGINTYPE_SHADER, Is("claim") ? kCorvaneId : kHostileId, name,
                                                 &record, sizeof record, C4D_API_VERSION);
  host->text->StringRelease(name);
  return ok ? 1 : 0;
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
      return 1;
    default:
      return -1;
  }
}

}  // extern "C"
