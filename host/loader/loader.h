// loader.h - loading modules and driving their lifecycle through c4d_main.
//
// A module file is refused (with a console line naming the file and the cause) when it
// cannot be opened, lacks c4d_main or g_maxon, or its g_maxon version is not
// C4D_MODULEINFO_VERSION. An accepted module gets the host's memory suite in g_maxon
// before its first call; its unit records are read once and kept for listing.
//
// Standard lifecycle: action 1 (host interface, module file), message 1 (load resource),
// action 2 (start); at Unload or destruction the final action 3, then the file is closed.
// Every c4d_main call passes the fault boundary (core/fault_boundary.h) named after its
// action, so that registrations belong to the module and a throwing module is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "c4d_host_abi.h"
#include "core/fault_boundary.h"
#include "loader/module_library.h"

namespace host {

/// One framework declaration that a unit's SDK headers refer to.
struct DeclarationInfo {
  std::string framework;
  std::string name;
};

/// One unit (source file) registered by the module at load.
struct UnitInfo {
  std::string name;
  std::vector<DeclarationInfo> declarations;
};

/// What a module registered with the framework layer while it was loaded.
struct ModuleIdentity {
  std::string identifier;                 ///< the module entity's identifier; empty if none
  std::vector<std::string> dependencies;  ///< framework identifiers, in declaration order
  std::vector<UnitInfo> units;            ///< in list order
  std::vector<std::string> problems;      ///< malformed records (too long or cyclic lists, ...)
};

/// Reads the unit records linked into g_maxon. Lists are followed for at most a fixed
/// number of entries, so a cyclic or corrupt list ends with a problem, not a hang.
ModuleIdentity ReadModuleIdentity(const C4DModuleInfo* info);

/// How a module is loaded and started.
struct ModuleOptions {
  /// Interface version handed with action 1; other than C4D_API_VERSION, the module gets a
  /// copy of the host interface carrying this version.
  int32_t interfaceVersion = C4D_API_VERSION;
  /// The record handed with action 1 instead of the host's own, as it is (interfaceVersion
  /// does not apply): e.g. a later host's larger record that starts with today's
  /// C4DHostInterface. It must outlive the module. Null: the host's own record.
  const C4DHostInterface* hostInterface = nullptr;
  /// False: action 1 passes no module file (null p3).
  bool passModuleFile = true;
  /// Opens module files; empty means DefaultModuleOpener() (OpenModuleLibrary: the loader
  /// follows from the file's format).
  ModuleOpener opener;
  /// Extension of module files for LoadPluginsFolder; empty means every platform's module
  /// extension (.xso64, .xdl64, .xlib), so that a foreign module is refused with a reason
  /// instead of passing unseen.
  std::string extension;
};

/// Return codes of the standard lifecycle (0 where the step did not run).
struct LifecycleCodes {
  int32_t systemStart = 0;   ///< action 1
  int32_t loadResource = 0;  ///< action 6, message 1
  int32_t start = 0;         ///< action 2
};

/// One opened module. Not copyable; the destructor unloads it.
class Module {
 public:
  /// Opens and checks the module file and hands g_maxon the memory suite; calls nothing.
  /// Null with *error (naming the file and the cause) when the file is refused.
  static std::unique_ptr<Module> Open(const std::string& path, const ModuleOptions& options,
                                      std::string* error);

  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  /// Calls c4d_main with arbitrary arguments (no bookkeeping).
  int32_t CallMain(int32_t action, void* p1 = nullptr, void* p2 = nullptr, void* p3 = nullptr);

  /// Action 1 with the host interface (see ModuleOptions) and the module's file name; each
  /// call makes Unload owe one more action 3.
  int32_t SystemStart();
  /// Action 6 with the message number and data.
  int32_t SendMessage(int32_t message, void* data = nullptr);
  /// Action 2.
  int32_t Start();
  /// Action 3; settles one owed action 3.
  int32_t End();

  /// Action 1, message 1, action 2; a console line for each unexpected return code.
  /// True when all three succeeded.
  bool RunLifecycle();

  /// Sends the owed action 3 calls and closes the file. Idempotent.
  void Unload();

  bool IsOpen() const { return library != nullptr; }
  const std::string& Path() const { return path; }
  /// Which loader mapped the file ("dlopen", "LoadLibraryW", "Mach-O loader", ...).
  const char* LoaderName() const { return library ? library->LoaderName() : "unloaded"; }
  const ModuleIdentity& Identity() const { return identity; }
  const LifecycleCodes& Codes() const { return codes; }
  /// The module's g_maxon record (null once unloaded).
  C4DModuleInfo* Info() const { return info; }
  /// The interface record handed with action 1.
  const C4DHostInterface* HostInterface() const { return handedInterface; }
  /// The module as calls into it are named; what it registered belongs to it.
  const ModuleState& State() const { return state; }
  /// Whether its code faulted (threw): the host then calls it no more.
  bool Faulted() const { return state.faulted.load(); }

  static constexpr int32_t kMainCalls = 8;  ///< actions with a name of their own: 0..7

 private:
  Module() = default;

  std::string path;
  std::unique_ptr<ModuleLibrary> library;
  C4DMainFunction main = nullptr;
  C4DModuleInfo* info = nullptr;
  ModuleIdentity identity;
  C4DHostInterface hostInterface{};
  const C4DHostInterface* handedInterface = &hostInterface;  ///< hostInterface or the options' record
  bool passModuleFile = true;
  C4DFilename* moduleFile = nullptr;
  int owedEnds = 0;
  LifecycleCodes codes;
  ModuleState state;
  ModuleCall mainCalls[kMainCalls];
};

/// Forgets what the module registered: its plug-ins, descriptions and icons.
void ForgetRegistrations(const ModuleState* module);

/// Opens the module at path and runs its standard lifecycle. Null (and a console line)
/// when the file is refused or its code threw during the lifecycle (then it is unloaded
/// again and its registrations are gone); a module whose lifecycle reported failure is
/// still returned.
std::unique_ptr<Module> LoadModule(const std::string& path, const ModuleOptions& options = {},
                                   std::string* error = nullptr);

/// A module file that was not loaded, and why.
struct RefusedModule {
  std::string path;
  std::string reason;
  bool builtWithMaxonSdk = false;  ///< a module of Maxon's own SDK (IsMaxonSdkModule)
};

/// Result of loading a plug-ins folder.
struct PluginsFolder {
  std::vector<std::unique_ptr<Module>> modules;  ///< in path order
  std::vector<RefusedModule> refused;
};

/// The module files (see ModuleOptions::extension) in folder and its sub-folders, in path
/// order; empty (with a console line) when the folder is missing. Without a named extension,
/// a file of another platform beside this platform's file of the same name is skipped, with
/// a console line: a shipped plug-in folder holds the module once per platform.
std::vector<std::string> ListModuleFiles(const std::string& folder, const ModuleOptions& options = {});

/// Loads every module file (see ModuleOptions::extension) in folder and its sub-folders (in path
/// order) with LoadModule; refused files are reported and skipped.
PluginsFolder LoadPluginsFolder(const std::string& folder, const ModuleOptions& options = {});

}  // namespace host
