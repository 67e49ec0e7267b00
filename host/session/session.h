// session.h - host::Session: a Host that owns the modules it loaded.
//
// A session is what an application of the host holds: the documents and the plug-in
// registry (from Host) plus the modules whose plug-ins fill that registry. It tears down
// in the only order that works, so no caller has to know it:
//   1. the documents, so every plug-in instance is freed while its module is loaded;
//   2. the modules, in load order: the final action 3, then the file is closed;
//   3. the Host: its plug-in registry, then its HostServices (core/services.h: bitmaps and
//      icons, resources and descriptions, render lights, handle tables, allocator state
//      and fault injections), so the next Session starts from clean state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/host.h"
#include "loader/loader.h"

namespace host {

class Session : public Host {
 public:
  Session() = default;
  ~Session();

  /// Loads every module file of folder (see host::LoadPluginsFolder) and keeps the loaded
  /// ones. Returns the files this call refused (each reported on the console); they are
  /// also added to Refused().
  std::vector<RefusedModule> LoadPluginsFolder(const std::string& folder, const ModuleOptions& options = {});
  /// Loads one module file and runs its lifecycle (see host::LoadModule). Null (with
  /// *error) when the file is refused; otherwise the session owns the module.
  Module* LoadModule(const std::string& path, const ModuleOptions& options = {},
                     std::string* error = nullptr);
  /// Takes over a module that the caller opened itself (e.g. to drive c4d_main by hand).
  /// Returns it; null stays null.
  Module* Adopt(std::unique_ptr<Module> module);

  /// The session's modules, in load order.
  const std::vector<std::unique_ptr<Module>>& Modules() const { return modules_; }
  /// Every file a LoadPluginsFolder call of this session refused, in path order.
  const std::vector<RefusedModule>& Refused() const { return refused_; }

  /// Destroys every document, then unloads every module (final action 3) and closes its
  /// file. The session stays usable: documents can be made and modules loaded again.
  void UnloadModules();

 private:
  std::vector<std::unique_ptr<Module>> modules_;
  std::vector<RefusedModule> refused_;
};

}  // namespace host
