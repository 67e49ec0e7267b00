// session_info.cpp - DescribeSession: the session's modules, icons and plug-ins as data.
#include "session/session_info.h"

namespace host {

SessionReport DescribeSession(Session& session) {
  SessionReport report;
  for (const auto& m : session.Modules())
    report.modules.push_back(ModuleReport{m->Path(), m->LoaderName(), m->Identity(), m->Codes()});
  report.icons = ListIcons();

  // Enabling is asked of a default instance, as an attribute panel would.
  Document* scratch = session.NewDocument("info");
  for (const PluginInfo* p : session.Plugins().List()) {
    PluginReport plugin;
    plugin.id = p->id;
    plugin.type = p->type;
    plugin.name = p->name;
    plugin.version = p->version;
    plugin.module = p->module;
    if (auto desc = Descriptions().Find(p->id)) {
      plugin.description = *desc;
      Node* instance = p->type == C4D_PLUGINTYPE_SHADER ? scratch->CreateShader(p->id) : nullptr;
      if (instance) {
        for (const DescriptionElement& e : desc->description.elements)
          if (e.IsParameter()) plugin.enabled[e.id] = instance->GetDEnabling(e.id);
      }
    }
    report.plugins.push_back(std::move(plugin));
  }
  session.DeleteDocument(scratch);
  return report;
}

}  // namespace host
