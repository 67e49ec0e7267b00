// info_command.cpp - `corvane-host info`: the modules, icons and plug-ins of a plug-ins
// folder, with each shader's parameters.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "resources/resources.h"
#include "session/session.h"
#include "session/session_info.h"

namespace host::cli {

CLI::App* AddInfo(CLI::App& app, InfoArgs& a) {
  CLI::App* info = app.add_subcommand("info", "List modules, plug-ins, icons and parameters");
  AddPluginsOption(info, &a.plugins);
  return info;
}

int RunInfo(const InfoArgs& args) {
  Session session;
  const std::string& folder = args.plugins;
  if (!LoadPlugins(session, folder)) return kExitBadInput;
  const SessionReport report = DescribeSession(session);
  if (ReportModuleFault()) return kExitFailure;

  std::printf("corvane-host %s (built with Corvane %s)\nPlug-ins folder: %s\n\nModules (%zu):\n",
              CORVANE_VERSION, CORVANE_VERSION, folder.c_str(), report.modules.size());
  for (const ModuleReport& m : report.modules) {
    const ModuleIdentity& id = m.identity;
    std::printf("  %s\n    loader: %s\n    identifier: %s\n    frameworks (%zu):", m.path.c_str(),
                m.loader.c_str(), id.identifier.empty() ? "(none)" : id.identifier.c_str(),
                id.dependencies.size());
    for (const std::string& f : id.dependencies) std::printf("\n      %s", f.c_str());
    std::printf("\n    lifecycle: action 1 -> %d, message 1 -> %d, action 2 -> %d\n", m.codes.systemStart,
                m.codes.loadResource, m.codes.start);
    for (const std::string& p : id.problems) std::printf("    problem: %s\n", p.c_str());
  }

  std::printf("\nIcons (%zu):\n", report.icons.size());
  for (const IconInfo& icon : report.icons)
    std::printf("  %d  %dx%d at (%d, %d) of %s\n", icon.id, icon.w, icon.h, icon.x, icon.y,
                icon.file.c_str());

  std::printf("\nPlug-ins (%zu):\n", report.plugins.size());
  for (const PluginReport& p : report.plugins) {
    std::printf("  %d  %s  (%s, interface %d, module %s)\n", p.id, p.name.c_str(),
                p.type == C4D_PLUGINTYPE_SHADER ? "shader" : "other", p.version,
                p.module.empty() ? "?" : p.module.c_str());
    if (!p.description) {
      std::printf("    no description\n");
      continue;
    }
    const Description& desc = p.description->description;
    std::printf("    description %s \"%s\" from %s\n", desc.name.c_str(), desc.displayName.c_str(),
                p.description->folder.c_str());
    std::printf("    %-8s %-28s %-16s %-8s %s\n", "ID", "symbol", "type", "enabled", "label");
    for (const DescriptionElement& e : desc.elements) {
      if (!e.IsParameter()) continue;
      std::string type(e.TypeName());
      if (e.ValueType() != 0 && type != ValueTypeName(e.ValueType()))
        type += std::string("/") + ValueTypeName(e.ValueType());
      auto enabled = p.enabled.find(e.id);
      std::printf("    %-8d %-28s %-16s %-8s %s\n", e.id, e.symbol.c_str(), type.c_str(),
                  enabled == p.enabled.end() ? "?"
                  : enabled->second          ? "yes"
                                             : "no",
                  e.label.c_str());
      for (const CycleEntry& c : e.cycle)
        std::printf("    %8s   %d = %s \"%s\"\n", "", c.id, c.symbol.c_str(), c.label.c_str());
    }
  }
  return kExitOk;
}

}  // namespace host::cli
