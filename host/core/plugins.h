// plugins.h - the plug-in registry: what modules registered and how to reach it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "c4d_host_abi.h"

namespace host {

/// One registered plug-in. The record is the host's own copy of the module's record.
struct PluginInfo {
  int32_t type = 0;  ///< C4D_PLUGINTYPE_*
  int32_t id = 0;
  std::string name;     ///< copy of the registered name
  int32_t version = 0;  ///< the interface version the module declared
  std::string module;   ///< identifier of the module that registered it (may be empty)
  C4DShaderPluginRecord record{};
};

/// The plug-ins registered during one Host's life. Entries never move once registered.
class PluginRegistry {
 public:
  /// Registers a shader plug-in: type must be C4D_PLUGINTYPE_SHADER, record non-null with
  /// recordSize >= sizeof(C4DShaderPluginRecord) and non-null Alloc and Free, version >=
  /// C4D_API_VERSION_MIN, id positive and not yet registered. False otherwise (the reason
  /// is in LastError()).
  bool Register(int32_t type, int32_t id, std::string_view name, const void* record, int32_t recordSize,
                int32_t version, std::string module);
  /// The plug-in registered under id, or null.
  const PluginInfo* Find(int32_t id) const;
  /// All plug-ins, ordered by ID.
  std::vector<const PluginInfo*> List() const;
  /// Why the last Register failed.
  const std::string& LastError() const { return lastError_; }
  void Clear();

 private:
  std::map<int32_t, std::unique_ptr<PluginInfo>> plugins_;
  std::string lastError_;
};

/// The identifier last given to SetRegisteringModule (empty when none).
std::string RegisteringModule();

}  // namespace host
