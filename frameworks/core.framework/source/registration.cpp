// registration.cpp - links the module's unit records into g_maxon at load time.
#include "maxon/registration.h"

namespace maxon {
namespace details {

UnitLink::UnitLink(C4DUnitRecord& unit, const char* path) {
  // The unit is named after the source file, without its folders.
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '/' || *c == '\\') name = c + 1;
  }
  unit.name = name;
  unit.next = g_maxon.units;
  g_maxon.units = &unit;
}

DeclarationLink::DeclarationLink(C4DDeclarationRecord**& tail, const char* framework, const char* name)
    : _record{framework, name, nullptr} {
  *tail = &_record;
  tail = &_record.next;
}

DependencyLink::DependencyLink(C4DDependencyRecord**& tail, const char* framework)
    : _record{framework, nullptr} {
  *tail = &_record;
  tail = &_record.next;
}

ModuleLink::ModuleLink(C4DUnitRecord& unit, const char* moduleId) { unit.moduleId = moduleId; }

}  // namespace details
}  // namespace maxon
