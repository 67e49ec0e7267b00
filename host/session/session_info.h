// session_info.h - what a session has loaded, as plain data: modules, icons, plug-ins and
// their parameters with enabling. The command line's `info` prints it; a page or a test
// can read it without parsing text.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "loader/loader.h"
#include "resources/resources.h"
#include "session/session.h"

namespace host {

/// One loaded module.
struct ModuleReport {
  std::string path;
  std::string loader;  ///< which loader mapped the file ("dlopen", "Mach-O loader", ...)
  ModuleIdentity identity;
  LifecycleCodes codes;
};

/// One registered plug-in.
struct PluginReport {
  int32_t id = 0;
  int32_t type = 0;  ///< C4D_PLUGINTYPE_*
  std::string name;
  int32_t version = 0;  ///< the interface version the module declared
  std::string module;   ///< identifier of the module that registered it (may be empty)
  /// The description registered for the plug-in (with the folder it was read from); absent
  /// when the module registered none.
  std::optional<RegisteredDescription> description;
  /// Enabling of each parameter ID, as the plug-in's GetDEnabling answers for a default
  /// instance (an attribute panel asks the same); empty when no instance could be made.
  std::map<int32_t, bool> enabled;
};

/// Everything a session has loaded.
struct SessionReport {
  std::vector<ModuleReport> modules;  ///< in load order
  std::vector<IconInfo> icons;        ///< in ID order
  std::vector<PluginReport> plugins;  ///< in registration order
};

/// Describes the session. Enabling is asked of a default instance of each shader plug-in,
/// made in a scratch document that is deleted again before returning.
SessionReport DescribeSession(Session& session);

}  // namespace host
