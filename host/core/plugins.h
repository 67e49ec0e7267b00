// plugins.h - the plug-in registry: what modules registered and how to reach it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "c4d_host_abi.h"
#include "core/fault_boundary.h"

namespace host {

/// The calls the host makes on a plug-in's record; each is a ModuleCall of its own.
enum class PluginCall { Alloc, Free, Init, Message, GetDEnabling, InitRender, FreeRender, Output, GetRenderInfo };
inline constexpr int kPluginCallCount = 9;

/// One registered plug-in. The record is the host's own copy of the module's record.
struct PluginInfo {
  int32_t type = 0;  ///< C4D_PLUGINTYPE_*
  int32_t id = 0;
  std::string name;        ///< copy of the registered name
  int32_t version = 0;     ///< the interface version the module declared
  std::string module;      ///< identifier of the module that registered it (may be empty)
  std::string moduleFile;  ///< file of that module (empty for the host's own registrations)
  const ModuleState* owner = nullptr;  ///< that module while it is loaded; null: the host's
  C4DShaderPluginRecord record{};
  ModuleCall calls[kPluginCallCount];  ///< what each call into the record is named

  const ModuleCall& Call(PluginCall c) const { return calls[static_cast<int>(c)]; }
};

/// An ID that two modules claimed: the first keeps it, the later claim was refused, and
/// scenes that use the ID (or a name the later module asked for) fail naming both.
struct ContestedId {
  int32_t id = 0;
  std::vector<std::string> modules;  ///< the claimants' files, first claim first
  std::vector<std::string> names;    ///< description names the refused claims asked for
  /// "plug-in ID 1000001 is claimed by two modules: A and B"
  std::string ToString() const;
};

/// A registration the registry refused, and why.
struct RefusedRegistration {
  int32_t type = 0, id = 0;
  std::string name;
  std::string why;  ///< LastError() of the refusal
  const ModuleState* owner = nullptr;
};

/// The plug-ins registered during one Host's life. Entries never move once registered; a
/// module's entries go when the module is unloaded (RemoveModule).
class PluginRegistry {
 public:
  /// Registers a shader plug-in for owner (null: the host's own): type must be
  /// C4D_PLUGINTYPE_SHADER, record non-null with recordSize >= sizeof(C4DShaderPluginRecord)
  /// and non-null Alloc and Free, version >= C4D_API_VERSION_MIN, id positive and not yet
  /// registered. False otherwise (the reason is in LastError()); an ID that another module
  /// registered is recorded as contested.
  bool Register(int32_t type, int32_t id, std::string_view name, const void* record, int32_t recordSize,
                int32_t version, const ModuleState* owner);
  /// The plug-in registered under id, or null.
  const PluginInfo* Find(int32_t id) const;
  /// All plug-ins, ordered by ID.
  std::vector<const PluginInfo*> List() const;
  /// Why the last Register failed.
  const std::string& LastError() const { return lastError_; }
  /// Every Register call that failed, in call order (a plug-in type the host does not
  /// know, say, so that a tool can tell "registered nothing" from "registered no shader").
  const std::vector<RefusedRegistration>& Refusals() const { return refusals_; }

  /// Whether owner may attach things (a description, say) to id: true unless another
  /// module registered the plug-in id. Otherwise the claim is recorded as contested
  /// (asking for name, when not empty) and *why says so, naming both modules.
  bool MayClaim(int32_t id, const ModuleState* owner, const std::string& name, std::string* why);
  /// Records that claimant tried to take id (asking for name, when not empty) while holder
  /// has it.
  void RecordContest(int32_t id, const ModuleState* holder, const ModuleState* claimant, const std::string& name);
  /// The contest over id, or null.
  const ContestedId* FindContest(int32_t id) const;
  /// The contest in which a refused module asked for name (in any case), or null.
  const ContestedId* FindContestByName(const std::string& name) const;
  /// Every contest, by ID.
  std::vector<const ContestedId*> Contests() const;

  /// Forgets every plug-in that owner registered.
  void RemoveModule(const ModuleState* owner);
  void Clear();

 private:
  std::map<int32_t, std::unique_ptr<PluginInfo>> plugins_;
  std::vector<std::unique_ptr<PluginInfo>> removed_;  // of unloaded modules, for their nodes
  std::map<int32_t, ContestedId> contests_;
  std::string lastError_;
  std::vector<RefusedRegistration> refusals_;
};

/// The module whose code is running on this thread (the innermost module call), or null.
const ModuleState* CallingModule();

}  // namespace host
