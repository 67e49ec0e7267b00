// c4d_general.cpp - console output and the module's folders.
#include "c4d_general.h"

#include "host_access.h"
#include "module_state.h"

using maxon::details::RegistrySuite;
using maxon::details::TextSuite;

CINEMA_NAMESPACE_BEGIN

void GePrint(const maxon::String& str) {
  const C4DTextSuite1* text = TextSuite();
  if (text != nullptr) text->Print(str.GetHandle());
}

Filename GeGetStartupPath() {
  const C4DRegistrySuite1* registry = RegistrySuite();
  if (registry == nullptr) return Filename();
  return Filename::Adopt(registry->GetStartupPath());
}

Filename GeGetPluginPath() {
  const Filename* modulePath = maxon::details::ModulePath();
  if (modulePath == nullptr) return Filename();
  return modulePath->GetDirectory();
}

Filename GeGetPluginResourcePath() {
  const Filename pluginFolder = GeGetPluginPath();
  const Filename* modulePath = maxon::details::ModulePath();
  if (modulePath != nullptr) {
    // A module in a folder directly inside the application keeps its resource with the
    // application's own: <start-up>/resource/modules/<module name>.
    const Filename startup = GeGetStartupPath();
    if (pluginFolder.GetDirectory() == startup) {
      Filename moduleName = modulePath->GetFile();
      moduleName.ClearSuffix();
      return startup + Filename(maxon::String("resource")) + Filename(maxon::String("modules")) + moduleName;
    }
  }
  return pluginFolder + Filename(maxon::String("res"));
}

CINEMA_NAMESPACE_END
