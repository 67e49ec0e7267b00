// session.cpp - a Host with its modules, torn down in order.
#include "session/session.h"

#include <utility>

namespace host {

Session::~Session() { UnloadModules(); }

std::vector<RefusedModule> Session::LoadPluginsFolder(const std::string& folder,
                                                      const ModuleOptions& options) {
  PluginsFolder loaded = host::LoadPluginsFolder(folder, options);
  for (auto& module : loaded.modules) modules_.push_back(std::move(module));
  refused_.insert(refused_.end(), loaded.refused.begin(), loaded.refused.end());
  return std::move(loaded.refused);
}

Module* Session::LoadModule(const std::string& path, const ModuleOptions& options, std::string* error) {
  return Adopt(host::LoadModule(path, options, error));
}

Module* Session::Adopt(std::unique_ptr<Module> module) {
  if (!module) return nullptr;
  modules_.push_back(std::move(module));
  return modules_.back().get();
}

void Session::UnloadModules() {
  DestroyDocuments();
  // Load order, as a plug-ins folder was always released.
  for (auto& module : modules_) module.reset();
  modules_.clear();
}

}  // namespace host
