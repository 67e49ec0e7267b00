// module_probe - loads a built module the way its platform's loader would and checks what
// a host relies on before the first call: the entry and the module record are exported,
// the static initialisers have run (g_maxon holds the loaded version), and action 4 answers.
//
//   module_probe <module file>
//
// Built three ways: with dlopen on Linux, with LoadLibrary for Windows (run under wine) and
// with the test Mach-O loader on Linux for the macOS binary (CORVANE_PROBE_MACHO).
#include <cstdio>
#include <string>

#include "c4d_host_abi.h"

#if defined(CORVANE_PROBE_MACHO)
#include "loader/macho_library.h"
#elif defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct LoadedModule {
  C4DMainFunction main = nullptr;
  const C4DModuleInfo* info = nullptr;
  bool hasYieldDelegate = false;
  std::string error;
};

#if defined(CORVANE_PROBE_MACHO)
std::unique_ptr<host::MachOImage> g_image;
LoadedModule Load(const char* path) {
  LoadedModule m;
  g_image = host::MachOImage::Load(path, &m.error);
  if (!g_image) return m;
  m.main = reinterpret_cast<C4DMainFunction>(g_image->Symbol("_c4d_main"));
  m.info = static_cast<const C4DModuleInfo*>(g_image->Symbol("_g_maxon"));
  m.hasYieldDelegate = g_image->Symbol("_g_CpuYieldDelegate") != nullptr;
  for (const auto& [name, offset] : g_image->Exports())
    std::printf("export %s +0x%llx\n", name.c_str(), (unsigned long long)offset);
  return m;
}
#elif defined(_WIN32)
LoadedModule Load(const char* path) {
  LoadedModule m;
  HMODULE lib = LoadLibraryA(path);
  if (!lib) {
    m.error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return m;
  }
  m.main = reinterpret_cast<C4DMainFunction>(reinterpret_cast<void*>(GetProcAddress(lib, "c4d_main")));
  m.info = reinterpret_cast<const C4DModuleInfo*>(reinterpret_cast<void*>(GetProcAddress(lib, "g_maxon")));
  return m;
}
#else
LoadedModule Load(const char* path) {
  LoadedModule m;
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    m.error = dlerror();
    return m;
  }
  m.main = reinterpret_cast<C4DMainFunction>(dlsym(lib, "c4d_main"));
  m.info = static_cast<const C4DModuleInfo*>(dlsym(lib, "g_maxon"));
  return m;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: module_probe <module file>\n");
    return 2;
  }
  LoadedModule m = Load(argv[1]);
  if (!m.error.empty()) {
    std::fprintf(stderr, "FAIL load: %s\n", m.error.c_str());
    return 1;
  }
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    failures += ok ? 0 : 1;
  };
  check(m.main != nullptr, "c4d_main is exported");
  check(m.info != nullptr, "g_maxon is exported");
#if defined(CORVANE_PROBE_MACHO)
  check(m.hasYieldDelegate, "g_CpuYieldDelegate is exported");
#endif
  if (m.info) {
    std::printf("g_maxon.version = %lld\n", static_cast<long long>(m.info->version));
    check(m.info->version == C4D_MODULEINFO_VERSION, "g_maxon holds 23004 after load");
    check(m.info->units != nullptr, "units were registered by the static initialisers");
  }
  if (m.main) check(m.main(C4D_ACTION_QUERY, nullptr, nullptr, nullptr) == 5, "action 4 answers 5");
  std::printf("%s\n", failures ? "module_probe: FAILED" : "module_probe: passed");
  return failures ? 1 : 0;
}
