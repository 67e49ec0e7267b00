// host.cpp - the Host object, the plug-in registry and the interface record.
#include "core/host.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/console.h"
#include "core/suites.h"

namespace host {
// ---- Host ---------------------------------------------------------------------------

Host::Host() {
  HostServices* expected = nullptr;
  if (!detail::currentServices.compare_exchange_strong(expected, &services_)) {
    std::fprintf(stderr, "host::Host: another Host is alive; only one may exist at a time\n");
    std::abort();
  }
}

Host::~Host() {
  DestroyDocuments();
  services_.plugins.Clear();
  detail::currentServices.store(nullptr);
  // services_ goes with the members.
}

Document* Host::NewDocument(std::string name) {
  documents_.push_back(std::make_unique<Document>(this, std::move(name)));
  return documents_.back().get();
}

bool Host::DeleteDocument(Document* doc) {
  auto it = std::find_if(documents_.begin(), documents_.end(), [&](const auto& d) { return d.get() == doc; });
  if (it == documents_.end()) return false;
  std::unique_ptr<Document> doomed = std::move(*it);
  documents_.erase(it);
  doomed.reset();
  return true;
}

std::vector<Document*> Host::Documents() const {
  std::vector<Document*> out;
  for (const auto& d : documents_) out.push_back(d.get());
  return out;
}

void Host::DestroyDocuments() {
  while (!documents_.empty()) {
    std::unique_ptr<Document> doomed = std::move(documents_.back());
    documents_.pop_back();
    doomed.reset();
  }
}

// ---- Plug-in registry ---------------------------------------------------------------

namespace {

constexpr const char* kPluginCallNames[kPluginCallCount] = {
    "Alloc", "Free", "Init", "Message", "GetDEnabling", "InitRender", "FreeRender", "Output", "GetRenderInfo"};

std::string OwnerName(const ModuleState* owner) { return owner ? "module " + owner->file : "the host"; }

}  // namespace

std::string ContestedId::ToString() const {
  std::string text = "plug-in ID " + std::to_string(id) + " is claimed by " +
                     std::to_string(modules.size()) + " modules: ";
  for (size_t i = 0; i < modules.size(); ++i) text += (i ? " and " : "") + modules[i];
  return text;
}

void PluginRegistry::RecordContest(int32_t id, const ModuleState* holder, const ModuleState* claimant,
                                   const std::string& name) {
  ContestedId& c = contests_[id];
  c.id = id;
  for (const ModuleState* m : {holder, claimant}) {
    const std::string file = m ? m->file : "the host";
    if (std::find(c.modules.begin(), c.modules.end(), file) == c.modules.end()) c.modules.push_back(file);
  }
  if (!name.empty() && std::find(c.names.begin(), c.names.end(), name) == c.names.end()) c.names.push_back(name);
}

bool PluginRegistry::Register(int32_t type, int32_t id, std::string_view name, const void* record,
                              int32_t recordSize, int32_t version, const ModuleState* owner) {
  auto fail = [&](const std::string& why) {
    lastError_ = "plug-in " + std::to_string(id) + ": " + why;
    refusals_.push_back(RefusedRegistration{type, id, std::string(name), lastError_, owner});
    return false;
  };
  if (type != C4D_PLUGINTYPE_SHADER) return fail("unsupported plug-in type");
  if (!record) return fail("no record");
  if (recordSize < static_cast<int32_t>(sizeof(C4DShaderPluginRecord))) return fail("record too small");
  if (version < C4D_API_VERSION_MIN) return fail("interface version too old");
  if (id <= 0) return fail("invalid ID");
  if (auto it = plugins_.find(id); it != plugins_.end()) {
    const PluginInfo& held = *it->second;
    if (held.owner == owner) return fail("ID already registered");
    // Another module's ID: the first claim keeps it.
    RecordContest(id, held.owner, owner, std::string(name));
    return fail("ID already registered by " + OwnerName(held.owner) + "; refused for " + OwnerName(owner));
  }
  auto info = std::make_unique<PluginInfo>();
  info->record = *static_cast<const C4DShaderPluginRecord*>(record);
  if (!info->record.Alloc || !info->record.Free) return fail("record lacks Alloc or Free");
  info->type = type;
  info->id = id;
  info->name.assign(name);
  info->version = version;
  info->owner = owner;
  if (owner) {
    info->module = owner->identifier;
    info->moduleFile = owner->file;
  }
  for (int c = 0; c < kPluginCallCount; ++c) info->calls[c] = ModuleCall{owner, id, kPluginCallNames[c]};
  plugins_.emplace(id, std::move(info));
  lastError_.clear();
  return true;
}

bool PluginRegistry::MayClaim(int32_t id, const ModuleState* owner, const std::string& name, std::string* why) {
  auto it = plugins_.find(id);
  if (it == plugins_.end() || it->second->owner == owner) return true;
  const PluginInfo& held = *it->second;
  RecordContest(id, held.owner, owner, name);
  if (why)
    *why = "plug-in ID " + std::to_string(id) + " is registered already by " + OwnerName(held.owner) +
           "; refused for " + OwnerName(owner);
  return false;
}

const ContestedId* PluginRegistry::FindContest(int32_t id) const {
  auto it = contests_.find(id);
  return it == contests_.end() ? nullptr : &it->second;
}

const ContestedId* PluginRegistry::FindContestByName(const std::string& name) const {
  auto lower = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  const std::string wanted = lower(name);
  for (const auto& [id, c] : contests_) {
    for (const std::string& n : c.names)
      if (lower(n) == wanted) return &c;
  }
  return nullptr;
}

std::vector<const ContestedId*> PluginRegistry::Contests() const {
  std::vector<const ContestedId*> out;
  for (const auto& [id, c] : contests_) out.push_back(&c);
  return out;
}

const PluginInfo* PluginRegistry::Find(int32_t id) const {
  auto it = plugins_.find(id);
  return it == plugins_.end() ? nullptr : it->second.get();
}

std::vector<const PluginInfo*> PluginRegistry::List() const {
  std::vector<const PluginInfo*> out;
  for (const auto& [id, info] : plugins_) out.push_back(info.get());
  return out;
}

void PluginRegistry::RemoveModule(const ModuleState* owner) {
  if (!owner) return;
  for (RefusedRegistration& refusal : refusals_)
    if (refusal.owner == owner) refusal.owner = nullptr;
  for (auto it = plugins_.begin(); it != plugins_.end();) {
    if (it->second->owner != owner) {
      ++it;
      continue;
    }
    // Nodes made from the plug-in may outlive its module: they keep the entry, which no
    // longer reaches into the closed file.
    PluginInfo& gone = *it->second;
    gone.record = C4DShaderPluginRecord{};
    gone.owner = nullptr;
    for (ModuleCall& call : gone.calls) call.module = nullptr;
    removed_.push_back(std::move(it->second));
    it = plugins_.erase(it);
  }
}

void PluginRegistry::Clear() {
  plugins_.clear();
  removed_.clear();
  contests_.clear();
  lastError_.clear();
  refusals_.clear();
}

const ModuleState* CallingModule() {
  const ModuleCall* call = CurrentModuleCall();
  return call ? call->module : nullptr;
}

bool RegisterPluginFromModule(int32_t type, int32_t id, const C4DString* name, const void* record,
                              int32_t recordSize, int32_t version) {
  try {
    PluginRegistry& registry = Services().plugins;
    const bool contestedBefore = registry.FindContest(id) != nullptr;
    if (registry.Register(type, id, StringText(name), record, recordSize, version, CallingModule())) return true;
    // A claim on another module's ID is reported, once per contest and claimant.
    const ContestedId* contest = registry.FindContest(id);
    if (contest && !contestedBefore) Console().Print("Refused " + registry.LastError());
    return false;
  } catch (...) {
    return false;
  }
}

}  // namespace host
