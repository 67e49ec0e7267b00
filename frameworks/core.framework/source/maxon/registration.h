// registration.h - load-time registration of the module's units with the framework.
//
// Every source file of a module is one unit. Including any SDK header gives the source
// file a unit record of its own; each SDK header then adds the framework declarations it
// refers to, and the module's `register` source adds the module identifier and the
// frameworks it depends on. The records are linked into g_maxon while the library's
// static initialisers run. Within one source file the records are filled in order of
// appearance; across files nothing depends on the order of the initialisers.
//
// The framework's own sources are compiled with MAXON_FRAMEWORK_SOURCE and register no
// units.
#pragma once

#include "c4d_host_abi.h"
#include "maxon/apibase.h"

extern "C" {
/// The module-information record the host looks up by name.
extern C4D_EXPORT C4DModuleInfo g_maxon;
}

namespace maxon {
namespace details {

/// Links a unit record into g_maxon.units; the unit's name is the file part of path.
class UnitLink {
 public:
  UnitLink(C4DUnitRecord& unit, const char* path);
};

/// Appends one declaration record to the unit's declaration list.
class DeclarationLink {
 public:
  DeclarationLink(C4DDeclarationRecord**& tail, const char* framework, const char* name);

 private:
  C4DDeclarationRecord _record;
};

/// Appends one dependency record to the unit's dependency list.
class DependencyLink {
 public:
  DependencyLink(C4DDependencyRecord**& tail, const char* framework);

 private:
  C4DDependencyRecord _record;
};

/// Names the module entity carried by this unit.
class ModuleLink {
 public:
  ModuleLink(C4DUnitRecord& unit, const char* moduleId);
};

}  // namespace details
}  // namespace maxon

#if defined(MAXON_FRAMEWORK_SOURCE)

#define MAXON_DECLARATION_RECORD(framework, name)

#else

namespace {
C4DUnitRecord g_maxonUnit = {nullptr, nullptr, nullptr, nullptr, nullptr};
[[maybe_unused]] C4DDeclarationRecord** g_maxonDeclarationTail = &g_maxonUnit.declarations;
[[maybe_unused]] C4DDependencyRecord** g_maxonDependencyTail = &g_maxonUnit.dependencies;
::maxon::details::UnitLink g_maxonUnitLink(g_maxonUnit, __BASE_FILE__);
}  // namespace

/// Records that the including source file refers to declaration `name` of `framework`.
/// Used by SDK headers, once per declaration, without a trailing semicolon.
#define MAXON_DECLARATION_RECORD(framework, name)                                                        \
  namespace {                                                                                            \
  ::maxon::details::DeclarationLink g_maxonDeclaration_##name(g_maxonDeclarationTail, framework, #name); \
  }

#endif
