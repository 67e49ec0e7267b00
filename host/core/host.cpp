// host.cpp - the Host object, the plug-in registry and the interface record.
#include "core/host.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/customdata.h"
#include "core/memory.h"
#include "core/suites.h"

namespace host {
namespace {

std::atomic<Host*> currentHost{nullptr};

std::mutex registeringMutex;
std::string& RegisteringModuleName() {
  static std::string name;
  return name;
}

}  // namespace

// ---- Host ---------------------------------------------------------------------------

Host::Host() {
  Host* expected = nullptr;
  if (!currentHost.compare_exchange_strong(expected, this)) {
    std::fprintf(stderr, "host::Host: another Host is alive; only one may exist at a time\n");
    std::abort();
  }
}

Host::~Host() {
  DestroyDocuments();
  plugins_.Clear();
  ResetBitmapState();
  ResetResourceState();
  FailNextAllocations(0);
  ResetModuleAllocationFaults();
  FailNextGradientAllocs(0);
  currentHost.store(nullptr);
}

Host* Host::Current() { return currentHost.load(); }

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

bool PluginRegistry::Register(int32_t type, int32_t id, std::string_view name, const void* record,
                              int32_t recordSize, int32_t version, std::string module) {
  auto fail = [&](const char* why) {
    lastError_ = "plug-in " + std::to_string(id) + ": " + why;
    return false;
  };
  if (type != C4D_PLUGINTYPE_SHADER) return fail("unsupported plug-in type");
  if (!record) return fail("no record");
  if (recordSize < static_cast<int32_t>(sizeof(C4DShaderPluginRecord))) return fail("record too small");
  if (version < C4D_API_VERSION_MIN) return fail("interface version too old");
  if (id <= 0) return fail("invalid ID");
  if (plugins_.count(id)) return fail("ID already registered");
  auto info = std::make_unique<PluginInfo>();
  info->record = *static_cast<const C4DShaderPluginRecord*>(record);
  if (!info->record.Alloc || !info->record.Free) return fail("record lacks Alloc or Free");
  info->type = type;
  info->id = id;
  info->name.assign(name);
  info->version = version;
  info->module = std::move(module);
  plugins_.emplace(id, std::move(info));
  lastError_.clear();
  return true;
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

void PluginRegistry::Clear() {
  plugins_.clear();
  lastError_.clear();
}

std::string RegisteringModule() {
  std::lock_guard lock(registeringMutex);
  return RegisteringModuleName();
}

void SetRegisteringModule(const std::string& moduleIdentifier) {
  std::lock_guard lock(registeringMutex);
  RegisteringModuleName() = moduleIdentifier;
}

bool RegisterPluginFromModule(int32_t type, int32_t id, const C4DString* name, const void* record,
                              int32_t recordSize, int32_t version) {
  Host* h = Host::Current();
  if (!h) return false;
  try {
    return h->Plugins().Register(type, id, StringText(name), record, recordSize, version,
                                 RegisteringModule());
  } catch (...) {
    return false;
  }
}

// ---- Interface record ---------------------------------------------------------------

const C4DHostInterface* Interface() {
  static const C4DHostInterface record{C4D_API_VERSION,    0,
                                       MemorySuite1(),     TextSuite1(),
                                       ContainerSuite1(),  NodeSuite1(),
                                       CustomDataSuite1(), RenderSuite1(),
                                       BitmapSuite1(),     RegistrySuite1()};
  return &record;
}

}  // namespace host
