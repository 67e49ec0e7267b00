// resources.h - module resources, description registry, start-up folder and the registry suite.
//
// A module's resource folder holds
//   c4d_symbols.h                                 enum of text IDs
//   strings_en-US/c4d_strings.str                 STRINGTABLE of texts
//   description/<name>.h, description/<name>.res  a description's symbols and layout
//   strings_en-US/description/<name>.str          the description's labels
// with <name> the description's name in lower case.
//
// The live-resource count, the description registry and the start-up folder are a part of
// the current HostServices (core/services.h): they go with the Host that owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "c4d_host_abi.h"
#include "core/fault_boundary.h"
#include "core/plugins.h"
#include "resources/resource_files.h"

namespace host {

/// Loads the resource folder (symbols and texts). Null when the folder does not exist or
/// its files are missing or broken; then *error says which file, line and why. The caller
/// releases the result with FreeLoadedResource.
C4DResource* LoadResourceFolder(const std::string& folder, ParseError* error);
void FreeLoadedResource(C4DResource* res);

/// The folder a resource was loaded from ("" for null).
std::string ResourceFolder(const C4DResource* res);
/// The text of id, or false when the resource has none.
bool ResourceText(const C4DResource* res, int32_t id, std::string* text);

/// Resources loaded and not yet freed.
int64_t LiveResourceCount();

/// One description registered for a plug-in.
struct RegisteredDescription {
  int32_t pluginId = 0;
  std::string folder;  ///< the resource folder it was read from
  Description description;
  const ModuleState* owner = nullptr;  ///< the module that registered it; null: the host
};

/// Descriptions registered by modules, by plug-in ID: a view of the current services'
/// registry. Thread-safe.
class DescriptionRegistry {
 public:
  /// Reads and registers the description `name` of the resource folder for pluginId, for
  /// owner (null: the host). False with *error filled when a file is missing or broken, or
  /// when pluginId is another module's (its plug-in or its description: the claim is
  /// recorded as contested); the registry is then unchanged. A later registration by the
  /// same owner replaces the earlier one.
  /// plugins is the plug-in registry the claim is checked against (null: none).
  bool Register(int32_t pluginId, const std::string& name, const std::string& folder, ParseError* error,
                const ModuleState* owner = nullptr, PluginRegistry* plugins = nullptr);
  /// Forgets the descriptions owner registered.
  void RemoveModule(const ModuleState* owner);
  /// The description of pluginId, or null.
  std::shared_ptr<const RegisteredDescription> Find(int32_t pluginId) const;
  /// Every registered plug-in ID, ascending.
  std::vector<int32_t> Ids() const;
  void Clear();

  /// The registry's state: a part of the current services (defined in resources.cpp).
  struct Impl;

 private:
  Impl& State() const;
};

/// The description registry of the current services.
DescriptionRegistry& Descriptions();

/// Reads a description (header, .res, labels) from a resource folder without registering it.
bool ReadDescription(const std::string& folder, const std::string& name, Description* out, ParseError* error);

/// The host's start-up folder: the program's own folder unless set.
std::string StartupFolder();
/// Sets the start-up folder (an empty path restores the program's folder) until the
/// current Host goes.
void SetStartupFolder(const std::string& folder);

/// The registry suite (collected by interface/host_interface.h).
const C4DRegistrySuite1* RegistrySuite1();

}  // namespace host
