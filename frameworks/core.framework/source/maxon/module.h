// module.h - the module entity and its framework dependencies.
//
// Used by the module's generated `register` source:
//   MAXON_MODULE("io.example.name");
//   MAXON_DEPENDENCY("net.maxon.core.framework");
#pragma once

#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.core.framework", Module)

/// Registers the module entity under moduleId on the current unit.
#define MAXON_MODULE(moduleId)                                           \
  namespace {                                                            \
  ::maxon::details::ModuleLink g_maxonModuleLink(g_maxonUnit, moduleId); \
  }                                                                      \
  static_assert(true, "")

/// Declares that the module uses framework; the dependencies keep the order of the lines.
#define MAXON_DEPENDENCY(framework)                                                                 \
  namespace {                                                                                       \
  ::maxon::details::DependencyLink MAXON_CONCAT(g_maxonDependency, __LINE__)(g_maxonDependencyTail, \
                                                                             framework);            \
  }                                                                                                 \
  static_assert(true, "")
