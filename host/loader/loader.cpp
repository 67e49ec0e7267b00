// loader.cpp - module loading and the c4d_main lifecycle.
#include "loader/loader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/services.h"
#include "core/suites.h"
#include "core/text.h"
#include "interface/host_interface.h"
#include "resources/resources.h"

namespace host {

namespace {

// Bounds for walking the module's linked lists; far above any real module.
constexpr int kMaxUnits = 4096;
constexpr int kMaxDeclarations = 65536;
constexpr int kMaxDependencies = 1024;
constexpr size_t kMaxNameLength = 4096;

std::string BoundedString(const char* s) {
  if (!s) return std::string();
  size_t n = 0;
  while (n < kMaxNameLength && s[n] != '\0') ++n;
  return std::string(s, n);
}

// What each c4d_main action is called in fault reports.
const char* MainCallName(int32_t action) {
  switch (action) {
    case C4D_ACTION_SYSTEM_START:
      return "c4d_main action 1 (system start)";
    case C4D_ACTION_START:
      return "c4d_main action 2 (start)";
    case C4D_ACTION_END:
      return "c4d_main action 3 (end)";
    case C4D_ACTION_QUERY:
      return "c4d_main action 4 (query)";
    case C4D_ACTION_MESSAGE:
      return "c4d_main action 6 (message)";
    default:
      return "c4d_main";
  }
}

}  // namespace

// Unit records

ModuleIdentity ReadModuleIdentity(const C4DModuleInfo* info) {
  ModuleIdentity identity;
  if (!info) return identity;
  int unitCount = 0;
  for (const C4DUnitRecord* unit = info->units; unit; unit = unit->next) {
    if (++unitCount > kMaxUnits) {
      identity.problems.push_back("unit list longer than " + std::to_string(kMaxUnits) +
                                  " entries (cyclic?)");
      break;
    }
    UnitInfo u;
    u.name = BoundedString(unit->name);
    int declCount = 0;
    for (const C4DDeclarationRecord* d = unit->declarations; d; d = d->next) {
      if (++declCount > kMaxDeclarations) {
        identity.problems.push_back("declaration list of unit '" + u.name + "' longer than " +
                                    std::to_string(kMaxDeclarations) + " entries (cyclic?)");
        break;
      }
      u.declarations.push_back(DeclarationInfo{BoundedString(d->framework), BoundedString(d->name)});
    }
    if (unit->moduleId) {
      if (!identity.identifier.empty()) {
        identity.problems.push_back("unit '" + u.name + "' declares a second module identifier");
      } else {
        identity.identifier = BoundedString(unit->moduleId);
        int depCount = 0;
        for (const C4DDependencyRecord* dep = unit->dependencies; dep; dep = dep->next) {
          if (++depCount > kMaxDependencies) {
            identity.problems.push_back("dependency list longer than " + std::to_string(kMaxDependencies) +
                                        " entries (cyclic?)");
            break;
          }
          identity.dependencies.push_back(BoundedString(dep->framework));
        }
      }
    }
    identity.units.push_back(std::move(u));
  }
  return identity;
}

// Module

std::unique_ptr<Module> Module::Open(const std::string& path, const ModuleOptions& options,
                                     std::string* error) {
  auto refuse = [&](const std::string& why) -> std::unique_ptr<Module> {
    if (error) *error = path + ": " + why;
    return nullptr;
  };
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(std::u8string(path.begin(), path.end())), ec)) {
    return refuse("no such file");
  }
  // Whatever opener is used, such a module is never opened: dlopen would run its constructors.
  if (IsMaxonSdkModule(path)) return refuse(kMaxonSdkModuleRefusal);
  std::string cause;
  std::unique_ptr<ModuleLibrary> library =
      options.opener ? options.opener(path, &cause) : DefaultModuleOpener()(path, &cause);
  if (!library) return refuse("not a loadable module: " + cause);

  auto main = reinterpret_cast<C4DMainFunction>(library->Symbol("c4d_main"));
  if (!main) return refuse("not a module: no c4d_main export");
  auto info = static_cast<C4DModuleInfo*>(library->Symbol("g_maxon"));
  if (!info) return refuse("not a module: no g_maxon export");
  if (info->version != C4D_MODULEINFO_VERSION) {
    return refuse("g_maxon version is " + std::to_string(info->version) + ", expected " +
                  std::to_string(C4D_MODULEINFO_VERSION));
  }

  std::unique_ptr<Module> module(new Module);
  module->path = path;
  module->state.file = path;
  module->library = std::move(library);
  module->main = main;
  module->info = info;
  module->identity = ReadModuleIdentity(info);
  module->state.identifier = module->identity.identifier;
  for (int32_t action = 0; action < Module::kMainCalls; ++action)
    module->mainCalls[action] = ModuleCall{&module->state, 0, MainCallName(action)};
  module->hostInterface = *Interface();
  module->hostInterface.version = options.interfaceVersion;
  if (options.hostInterface) module->handedInterface = options.hostInterface;
  module->passModuleFile = options.passModuleFile;
  // The framework's allocator must work before the first call
  info->memory = MemorySuite1();

  // The host's own file name, not one the module asked for.
  module->moduleFile = NewFilename(path);
  return module;
}

Module::~Module() { Unload(); }

int32_t Module::CallMain(int32_t action, void* p1, void* p2, void* p3) {
  if (!main) return -1;
  const ModuleCall& call = mainCalls[action >= 0 && action < kMainCalls ? action : 0];
  return CallModule(call, int32_t{-1}, [&] { return main(action, p1, p2, p3); });
}

int32_t Module::SystemStart() {
  ++owedEnds;
  return CallMain(C4D_ACTION_SYSTEM_START, const_cast<C4DHostInterface*>(handedInterface), nullptr,
                  passModuleFile ? moduleFile : nullptr);
}

int32_t Module::SendMessage(int32_t message, void* data) {
  return CallMain(C4D_ACTION_MESSAGE, reinterpret_cast<void*>(static_cast<intptr_t>(message)), data);
}

int32_t Module::Start() { return CallMain(C4D_ACTION_START); }

int32_t Module::End() {
  if (owedEnds > 0) --owedEnds;
  return CallMain(C4D_ACTION_END);
}

bool Module::RunLifecycle() {
  std::string name = identity.identifier.empty() ? path : identity.identifier;
  auto report = [&](const char* step, int32_t code) {
    // A module that threw is reported once, by LoadModule, with the fault itself.
    if (Faulted()) return;
    Console().Print("Module " + name + ": " + step + " returned " + std::to_string(code));
  };
  codes.systemStart = SystemStart();
  if (codes.systemStart != 1) {
    report("c4d_main action 1 (system start)", codes.systemStart);
    return false;
  }
  codes.loadResource = SendMessage(C4D_MSG_LOAD_RESOURCE);
  if (codes.loadResource != 1) report("c4d_main message 1 (load resource)", codes.loadResource);
  codes.start = Start();
  if (codes.start != 1) report("c4d_main action 2 (start)", codes.start);
  return codes.loadResource == 1 && codes.start == 1;
}

void Module::Unload() {
  if (!library) return;
  while (owedEnds > 0) End();
  // What it registered goes with it: nothing may call into the closed file.
  ForgetRegistrations(&state);
  main = nullptr;
  info = nullptr;
  library.reset();
  if (moduleFile) {
    ReleaseFilename(moduleFile);
    moduleFile = nullptr;
  }
}

// Loading

std::unique_ptr<Module> LoadModule(const std::string& path, const ModuleOptions& options,
                                   std::string* error) {
  std::string why;
  std::unique_ptr<Module> module = Module::Open(path, options, &why);
  if (!module) {
    Console().Print("Refused module " + why);
    if (error) *error = why;
    return nullptr;
  }
  const ModuleIdentity& id = module->Identity();
  std::string frameworks;
  for (const std::string& dep : id.dependencies) frameworks += (frameworks.empty() ? "" : ", ") + dep;
  Console().Note(
      "Loaded module " + (id.identifier.empty() ? std::string("(no identifier)") : id.identifier) + " from " +
      path + " (" + module->LoaderName() + ")" + (frameworks.empty() ? "" : "; frameworks: " + frameworks));
  for (const std::string& problem : id.problems) Console().Print("Module " + path + ": " + problem);
  module->RunLifecycle();
  // A module that threw is refused: it is unloaded without further calls into it.
  if (module->Faulted()) {
    ModuleFault fault;
    TakeModuleFault(&fault);
    const std::string cause = fault.call + " " + fault.what;
    Console().Print("Refused module " + path + ": " + cause);
    module->Unload();
    if (error) *error = cause;
    return nullptr;
  }
  return module;
}

void ForgetRegistrations(const ModuleState* module) {
  Services().plugins.RemoveModule(module);
  Descriptions().RemoveModule(module);
  ForgetIcons(module);
}

namespace {

/// A plug-in folder as shipped holds the same module for every platform (corvane.xso64,
/// corvane.xdl64 and corvane.xlib beside one res/), and each platform's application loads
/// only its own. Where a module file of this platform's extension has files of the same
/// name with another platform's extension beside it, those are skipped with a line each:
/// loading both would register every plug-in twice. A lone file of another platform is
/// still opened (the Mach-O loader runs the macOS build here).
void KeepOwnPlatformsBuild(std::vector<std::string>* files) {
  const std::string own = Lower(DefaultModuleExtension());
  auto stemOf = [](const std::string& file) {
    const std::filesystem::path p(std::u8string(file.begin(), file.end()));
    const std::u8string s = (p.parent_path() / p.stem()).generic_u8string();
    return std::string(s.begin(), s.end());
  };
  auto extensionOf = [](const std::string& file) {
    const std::u8string e = std::filesystem::path(std::u8string(file.begin(), file.end())).extension().u8string();
    return Lower(std::string(e.begin(), e.end()));
  };
  std::map<std::string, std::string> ownFiles;  // stem -> this platform's file
  for (const std::string& file : *files)
    if (extensionOf(file) == own) ownFiles.emplace(stemOf(file), file);
  std::erase_if(*files, [&](const std::string& file) {
    if (extensionOf(file) == own) return false;
    auto it = ownFiles.find(stemOf(file));
    if (it == ownFiles.end()) return false;
    Console().Print("Skipped module " + file + ": " + it->second + " beside it is the same module for this platform");
    return true;
  });
}

}  // namespace

std::vector<std::string> ListModuleFiles(const std::string& folder, const ModuleOptions& options) {
  // Without a named extension every platform's module files are looked at: the opener
  // decides by their contents, and a foreign one is refused with its own line.
  const std::string extension = Lower(options.extension);
  std::filesystem::path root(std::u8string(folder.begin(), folder.end()));
  std::error_code ec;
  std::vector<std::string> files;
  if (!std::filesystem::is_directory(root, ec)) {
    Console().Print("Plug-ins folder not found: " + folder);
    return files;
  }
  // Collect module files first, so the order does not depend on the file system
  auto it = std::filesystem::recursive_directory_iterator(
      root, std::filesystem::directory_options::skip_permission_denied, ec);
  for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::u8string ext8 = it->path().extension().u8string();
    const std::string ext(ext8.begin(), ext8.end());
    if (extension.empty() ? !IsModuleExtension(ext) : Lower(ext) != extension) continue;
    std::u8string p = it->path().generic_u8string();
    files.emplace_back(p.begin(), p.end());
  }
  if (ec) Console().Print("Plug-ins folder " + folder + ": " + ec.message());
  std::sort(files.begin(), files.end());
  if (extension.empty()) KeepOwnPlatformsBuild(&files);
  return files;
}

PluginsFolder LoadPluginsFolder(const std::string& folder, const ModuleOptions& options) {
  PluginsFolder result;
  const std::vector<std::string> files = ListModuleFiles(folder, options);
  for (const std::string& file : files) {
    std::string why;
    std::unique_ptr<Module> module = LoadModule(file, options, &why);
    if (module) {
      result.modules.push_back(std::move(module));
    } else {
      result.refused.push_back(RefusedModule{file, why, IsMaxonSdkModule(file)});
    }
  }
  return result;
}

}  // namespace host
