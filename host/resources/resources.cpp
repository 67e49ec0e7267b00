// resources.cpp - resource loading, descriptions, start-up folder and the registry suite.
#include "resources/resources.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>

#include "core/console.h"
#include "core/plugins.h"
#include "core/handles.h"
#include "core/memory.h"
#include "core/services.h"
#include "core/suites.h"
#include "core/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

/// The object behind a C4DResource handle: a module's loaded resource folder.
struct C4DResource {
  std::string folder;
  host::SymbolTable symbols;
  std::map<int32_t, host::StringRef> texts;
};

namespace host {

namespace {

std::filesystem::path PathFromUtf8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  std::u8string s = path.generic_u8string();
  return std::string(s.begin(), s.end());
}

std::string ProgramFolder() {
#if defined(_WIN32)
  std::wstring buffer(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n > 0 && n < buffer.size()) {
    buffer.resize(n);
    return Utf8FromPath(std::filesystem::path(buffer).parent_path());
  }
#elif defined(__linux__)
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return Utf8FromPath(exe.parent_path());
#endif
  std::error_code cwdError;
  return Utf8FromPath(std::filesystem::current_path(cwdError));
}

}  // namespace

struct DescriptionRegistry::Impl {
  mutable std::mutex mutex;
  std::map<int32_t, std::shared_ptr<const RegisteredDescription>> byId;
};

namespace {

// This folder's part of HostServices.
struct ResourceState {
  std::atomic<int64_t> liveResources{0};
  DescriptionRegistry::Impl descriptions;
  std::mutex startupMutex;
  std::string startupOverride;  // guarded by startupMutex
};

ResourceState& State() { return Services().Part<ResourceState>(); }

}  // namespace

// Resources

C4DResource* LoadResourceFolder(const std::string& folder, ParseError* error) {
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(PathFromUtf8(folder), ec)) {
    *error = ParseError{folder, 0, "no such resource folder"};
    return nullptr;
  }
  auto res = std::make_unique<C4DResource>();
  res->folder = folder;
  StringTable strings;
  if (!LoadSymbolsFile(JoinPath(folder, "c4d_symbols.h"), &res->symbols, error)) return nullptr;
  if (!LoadStringTableFile(JoinPath(folder, "strings_en-US/c4d_strings.str"), "", &strings, error))
    return nullptr;
  for (const auto& [name, id] : res->symbols.ordered) {
    auto text = strings.texts.find(name);
    if (text != strings.texts.end()) res->texts.insert_or_assign(id, StringRef(text->second));
  }
  ++State().liveResources;
  Resources().Add(res.get());
  return res.release();
}

void FreeLoadedResource(C4DResource* res) {
  if (!res) return;
  Resources().Remove(res);
  delete res;
  --State().liveResources;
}

std::string ResourceFolder(const C4DResource* res) { return res ? res->folder : std::string(); }

bool ResourceText(const C4DResource* res, int32_t id, std::string* text) {
  if (!res) return false;
  auto it = res->texts.find(id);
  if (it == res->texts.end()) return false;
  *text = std::string(it->second.Text());
  return true;
}

int64_t LiveResourceCount() { return State().liveResources.load(); }

// Descriptions

bool ReadDescription(const std::string& folder, const std::string& name, Description* out,
                     ParseError* error) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
    *error = ParseError{folder, 0, "invalid description name '" + name + "'"};
    return false;
  }
  std::string lower = Lower(name);
  SymbolTable symbols;
  StringTable strings;
  std::string text;
  std::string resPath = JoinPath(folder, "description/" + lower + ".res");
  return LoadSymbolsFile(JoinPath(folder, "description/" + lower + ".h"), &symbols, error) &&
         LoadStringTableFile(JoinPath(folder, "strings_en-US/description/" + lower + ".str"), name, &strings,
                             error) &&
         ReadTextFile(resPath, &text, error) &&
         ParseDescription(text, resPath, name, symbols, strings, out, error);
}

DescriptionRegistry::Impl& DescriptionRegistry::State() const { return host::State().descriptions; }

bool DescriptionRegistry::Register(int32_t pluginId, const std::string& name, const std::string& folder,
                                   ParseError* error, const ModuleState* owner, PluginRegistry* plugins) {
  auto refuse = [&](const std::string& why) {
    *error = ParseError{folder, 0, why};
    return false;
  };
  // A description attaches only to an ID of the same module's.
  std::string why;
  if (plugins && !plugins->MayClaim(pluginId, owner, name, &why)) return refuse(why);
  if (std::shared_ptr<const RegisteredDescription> held = Find(pluginId); held && held->owner != owner) {
    auto who = [](const ModuleState* m) { return m ? "module " + m->file : std::string("the host"); };
    if (plugins) plugins->RecordContest(pluginId, held->owner, owner, name);
    return refuse("the description of plug-in " + std::to_string(pluginId) + " is registered already by " +
                  who(held->owner) + "; refused for " + who(owner));
  }
  auto entry = std::make_shared<RegisteredDescription>();
  entry->pluginId = pluginId;
  entry->folder = folder;
  entry->owner = owner;
  if (!ReadDescription(folder, name, &entry->description, error)) return false;
  std::lock_guard<std::mutex> lock(State().mutex);
  State().byId[pluginId] = std::move(entry);
  return true;
}

void DescriptionRegistry::RemoveModule(const ModuleState* owner) {
  if (!owner) return;
  std::lock_guard<std::mutex> lock(State().mutex);
  std::erase_if(State().byId, [owner](const auto& e) { return e.second->owner == owner; });
}

std::shared_ptr<const RegisteredDescription> DescriptionRegistry::Find(int32_t pluginId) const {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto it = State().byId.find(pluginId);
  return it == State().byId.end() ? nullptr : it->second;
}

std::vector<int32_t> DescriptionRegistry::Ids() const {
  std::lock_guard<std::mutex> lock(State().mutex);
  std::vector<int32_t> ids;
  for (const auto& entry : State().byId) ids.push_back(entry.first);
  return ids;
}

void DescriptionRegistry::Clear() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().byId.clear();
}

DescriptionRegistry& Descriptions() {
  static DescriptionRegistry registry;
  return registry;
}

// Start-up folder

std::string StartupFolder() {
  ResourceState& state = State();
  std::lock_guard<std::mutex> lock(state.startupMutex);
  return state.startupOverride.empty() ? NormalizePath(ProgramFolder()) : state.startupOverride;
}

void SetStartupFolder(const std::string& folder) {
  ResourceState& state = State();
  std::lock_guard<std::mutex> lock(state.startupMutex);
  state.startupOverride = folder.empty() ? std::string() : NormalizePath(folder);
}

// The registry suite

namespace {

C4DFilename* SuiteGetStartupPath() {
  if (TakeModuleAllocationFault("start-up folder")) return nullptr;
  try {
    return NewFilename(StartupFolder());
  } catch (...) {
    return nullptr;
  }
}

C4DResource* SuiteLoadResource(const C4DFilename* folder) {
  if (TakeModuleAllocationFault("resource", FilenamePath(folder))) return nullptr;
  try {
    ParseError error;
    C4DResource* res = LoadResourceFolder(std::string(FilenamePath(folder)), &error);
    if (!res) Console().Print("Cannot load resource: " + error.ToString());
    return res;
  } catch (...) {
    return nullptr;
  }
}

// A resource is released once: a second release (or a handle the host never gave) is
// refused and reported, and nothing is freed.
void SuiteFreeResource(C4DResource* res, bool /*flag*/) {
  if (!res || !Resources().TakeForRelease(res, "FreeResource")) return;
  delete res;
  --State().liveResources;
}

const C4DString* SuiteLoadString(const C4DResource* res, int32_t id) {
  if (res && Resources().Check(res, "LoadString")) {
    auto it = res->texts.find(id);
    if (it != res->texts.end()) return it->second.Get();
  }
  return EmptyString();
}

bool SuiteRegisterDescription(int32_t id, const C4DString* name, const C4DResource* res) {
  try {
    std::string descName(StringText(name));
    std::string where = "description '" + descName + "' for plug-in " + std::to_string(id);
    if (!res) {
      Console().Print("Cannot register " + where + ": no resource loaded");
      return false;
    }
    if (!Resources().Check(res, "RegisterDescription")) return false;
    ParseError error;
    if (!Descriptions().Register(id, descName, res->folder, &error, CallingModule(), &Services().plugins)) {
      Console().Print("Cannot register " + where + ": " + error.ToString());
      return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool SuiteRegisterPlugin(int32_t type, int32_t id, const C4DString* name, const void* record,
                         int32_t recordSize, int32_t version) {
  try {
    return RegisterPluginFromModule(type, id, name, record, recordSize, version);
  } catch (...) {
    return false;
  }
}

}  // namespace

const C4DRegistrySuite1* RegistrySuite1() {
  static const C4DRegistrySuite1 suite = {
      SuiteGetStartupPath, SuiteLoadResource,        SuiteFreeResource,
      SuiteLoadString,     SuiteRegisterDescription, SuiteRegisterPlugin,
  };
  return &suite;
}

}  // namespace host
