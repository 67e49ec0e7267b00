// scene.cpp - nodes, documents and the node suite.
#include "core/scene.h"

#include <algorithm>

#include "core/fault_boundary.h"
#include "core/host.h"
#include "core/ids.h"
#include "core/lights.h"
#include "core/plugins.h"
#include "core/suites.h"

namespace host {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsGeometryType(int32_t type) {
  return type == kTypeObject || type == kTypeCube || type == kTypeSphere || type == kTypePlane;
}

// Nodes handling a message on this thread, innermost last (fixed size: no allocation).
constexpr int kMaxMessageDepth = 64;
thread_local const Node* messageStack[kMaxMessageDepth];
thread_local int messageDepth = 0;

}  // namespace

// ---- Node ---------------------------------------------------------------------------

Node::Node(Document* doc, int32_t type, NodeKind kind, std::string name)
    : document_(doc), type_(type), kind_(kind), name_(std::move(name)) {}

Node::~Node() {
  if (instance_ && plugin_ && plugin_->record.Free) {
    const auto free = plugin_->record.Free;
    C4DNodeData* instance = instance_;
    CallModuleVoid(plugin_->Call(PluginCall::Free), [&] { free(instance); });
  }
}

bool Node::IsInstanceOf(int32_t type) const {
  if (type == type_) return true;
  switch (kind_) {
    case NodeKind::Shader:
      return type == kTypeShader;
    case NodeKind::Object:
      return type == kTypeBaseObject || (type == kTypeObject && IsGeometryType(type_));
    case NodeKind::Material:
      return type == kTypeBaseMaterial;
  }
  return false;
}

bool Node::InsertShader(Node* shader) {
  if (!shader || !shader->IsShader() || shader->parent_ || shader == this || shader->document_ != document_) {
    return false;
  }
  for (Node* n = this; n; n = n->parent_) {
    if (n == shader) return false;  // would make a cycle
  }
  children_.push_back(shader);
  shader->parent_ = this;
  return true;
}

bool Node::IsEnabled() const { return kind_ == NodeKind::Object && data_.GetBool(OBJECT_ENABLED, true); }

bool Node::SendMessage(int32_t type, void* data) {
  if (Host* host = document_->GetHost(); host && host->GetMessageObserver())
    host->GetMessageObserver()(*this, type, data);
  // A node already handling a message on this thread refuses: a link cycle ends here.
  for (int i = 0; i < messageDepth; ++i) {
    if (messageStack[i] == this) return false;
  }
  if (messageDepth >= kMaxMessageDepth) return false;
  if (!instance_ || !plugin_ || !plugin_->record.Message) return true;
  messageStack[messageDepth++] = this;
  const bool result = CallModule(plugin_->Call(PluginCall::Message), true,
                                 [&] { return plugin_->record.Message(instance_, ToHandle(this), type, data); });
  --messageDepth;
  return result;
}

bool Node::GetDEnabling(const C4DDescID& id, const C4DValue* tData, int32_t flags,
                        const C4DContainer* itemdesc) {
  if (!instance_ || !plugin_ || !plugin_->record.GetDEnabling) return true;
  C4DValue none{};
  return CallModule(plugin_->Call(PluginCall::GetDEnabling), true, [&] {
    return plugin_->record.GetDEnabling(instance_, ToHandle(this), &id, tData ? tData : &none, flags, itemdesc);
  });
}

bool Node::GetDEnabling(int32_t paramId) {
  C4DDescID id{};
  id.count = 1;
  id.levels[0].id = paramId;
  const Value* v = data_.Find(paramId);
  id.levels[0].dtype = v ? v->TypeId() : 0;
  return GetDEnabling(id);
}

int32_t Node::GetRenderInfo() {
  if (!instance_ || !plugin_ || !plugin_->record.GetRenderInfo) return 0;
  return CallModule(plugin_->Call(PluginCall::GetRenderInfo), int32_t{0},
                    [&] { return plugin_->record.GetRenderInfo(instance_, ToHandle(this)); });
}

// ---- Document -----------------------------------------------------------------------

Document::Document(Host* host, std::string name) : host_(host), name_(std::move(name)) {}

Document::~Document() {
  FreeRayLightsOf(this);
  // Children first, so a plug-in's Free never sees a parent already gone.
  while (!nodes_.empty()) {
    nodes_.back()->parent_ = nullptr;
    index_.erase(nodes_.back().get());
    nodes_.pop_back();
  }
}

Node* Document::Add(std::shared_ptr<Node> node) {
  index_.insert(node.get());
  nodes_.push_back(std::move(node));
  return nodes_.back().get();
}

Node* Document::CreateObject(int32_t type, std::string name) {
  if (type == kTypeMaterial || type == kTypeShader) return nullptr;
  Node* n = Add(std::shared_ptr<Node>(new Node(this, type, NodeKind::Object, std::move(name))));
  Container& c = n->Data();
  c.SetBool(OBJECT_ENABLED, true);
  c.SetVector(OBJECT_POSITION, {0, 0, 0});
  c.SetVector(OBJECT_DIRECTION, {0, 0, 1});
  c.SetVector(OBJECT_UP, {0, 1, 0});
  switch (type) {
    case kTypeLight:
      c.SetInt32(LIGHT_TYPE, LIGHT_TYPE_OMNI);
      c.SetVector(LIGHT_COLOR, {1, 1, 1});
      c.SetFloat(LIGHT_BRIGHTNESS, 1.0);
      c.SetInt32(LIGHT_FALLOFF, LIGHT_FALLOFF_NONE);
      c.SetFloat(LIGHT_FALLOFF_RADIUS, 500.0);
      c.SetFloat(LIGHT_SPOT_ANGLE, 30.0 * kPi / 180.0);
      c.SetFloat(LIGHT_SPOT_INNER_ANGLE, 0.0);
      break;
    case kTypeCamera:
      c.SetFloat(CAMERA_FOV, 60.0 * kPi / 180.0);
      break;
    case kTypeSphere:
      c.SetFloat(SPHERE_RADIUS, 100.0);
      break;
    case kTypeCube:
      c.SetVector(CUBE_SIZE, {200, 200, 200});
      break;
    case kTypePlane:
      c.SetFloat(PLANE_WIDTH, 0.0);
      c.SetFloat(PLANE_DEPTH, 0.0);
      break;
    default:
      break;
  }
  return n;
}

Node* Document::CreateMaterial(std::string name) {
  Node* n = Add(std::shared_ptr<Node>(new Node(this, kTypeMaterial, NodeKind::Material, std::move(name))));
  n->Data().SetVector(MATERIAL_COLOR, {0.8, 0.8, 0.8});
  return n;
}

Node* Document::CreateShader(int32_t type, std::string name) {
  switch (type) {
    case kShaderColor: {
      Node* n = Add(std::shared_ptr<Node>(new Node(this, type, NodeKind::Shader, std::move(name))));
      n->Data().SetVector(COLORSHADER_COLOR, {1, 1, 1});
      n->Data().SetFloat(COLORSHADER_BRIGHTNESS, 1.0);
      return n;
    }
    case kShaderCheckerboard: {
      Node* n = Add(std::shared_ptr<Node>(new Node(this, type, NodeKind::Shader, std::move(name))));
      n->Data().SetVector(CHECKER_COLOR1, {1, 1, 1});
      n->Data().SetVector(CHECKER_COLOR2, {0, 0, 0});
      n->Data().SetFloat(CHECKER_USCALE, 8.0);
      n->Data().SetFloat(CHECKER_VSCALE, 8.0);
      return n;
    }
    case kShaderNoise: {
      Node* n = Add(std::shared_ptr<Node>(new Node(this, type, NodeKind::Shader, std::move(name))));
      n->Data().SetVector(NOISE_COLOR1, {0, 0, 0});
      n->Data().SetVector(NOISE_COLOR2, {1, 1, 1});
      n->Data().SetFloat(NOISE_SCALE, 1.0);
      n->Data().SetInt32(NOISE_SPACE, NOISE_SPACE_UVW);
      n->Data().SetInt32(NOISE_SEED, 0);
      return n;
    }
    default:
      break;
  }
  // A registered plug-in shader: Alloc, then Init on the new node.
  const PluginInfo* plugin = host_ ? host_->Plugins().Find(type) : nullptr;
  if (!plugin || plugin->type != C4D_PLUGINTYPE_SHADER || !plugin->record.Alloc) return nullptr;
  C4DNodeData* instance = CallModule(plugin->Call(PluginCall::Alloc), static_cast<C4DNodeData*>(nullptr),
                                     [&] { return plugin->record.Alloc(); });
  if (!instance) return nullptr;
  Node* n = Add(std::shared_ptr<Node>(new Node(this, type, NodeKind::Shader, std::move(name))));
  n->plugin_ = plugin;
  n->instance_ = instance;
  if (plugin->record.Init && !CallModule(plugin->Call(PluginCall::Init), false,
                                         [&] { return plugin->record.Init(instance, ToHandle(n)); })) {
    DeleteNode(n);  // frees the instance
    return nullptr;
  }
  return n;
}

bool Document::Contains(const Node* node) const {
  return node && index_.count(node) != 0;
}

bool Document::DeleteNode(Node* node) {
  if (!Contains(node)) return false;
  // Detach from the parent, then delete the node and its descendants.
  if (Node* p = node->parent_) std::erase(p->children_, node);
  std::vector<Node*> doomed{node};
  for (size_t i = 0; i < doomed.size(); ++i) {
    for (Node* child : doomed[i]->children_) doomed.push_back(child);
  }
  // Deepest first, so plug-in instances of children go before their parents.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    Node* n = *it;
    auto pos = std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& sp) { return sp.get() == n; });
    if (pos == nodes_.end()) continue;
    std::shared_ptr<Node> keep = std::move(*pos);
    nodes_.erase(pos);
    index_.erase(n);
    keep->children_.clear();
    keep->parent_ = nullptr;
    keep.reset();
  }
  return true;
}

std::vector<Node*> Document::Nodes() const {
  std::vector<Node*> out;
  out.reserve(nodes_.size());
  for (const auto& n : nodes_) out.push_back(n.get());
  return out;
}

namespace {
std::vector<Node*> OfKind(const std::vector<Node*>& all, NodeKind kind) {
  std::vector<Node*> out;
  for (Node* n : all) {
    if (n->Kind() == kind) out.push_back(n);
  }
  return out;
}
}  // namespace

std::vector<Node*> Document::Objects() const { return OfKind(Nodes(), NodeKind::Object); }
std::vector<Node*> Document::Materials() const { return OfKind(Nodes(), NodeKind::Material); }
std::vector<Node*> Document::Shaders() const { return OfKind(Nodes(), NodeKind::Shader); }

Node* Document::FindNode(std::string_view name) const {
  for (const auto& n : nodes_) {
    if (n->Name() == name) return n.get();
  }
  return nullptr;
}

Node* Document::FindNode(std::string_view name, NodeKind kind) const {
  for (const auto& n : nodes_) {
    if (n->Name() == name && n->Kind() == kind) return n.get();
  }
  return nullptr;
}

// ---- The suite ----------------------------------------------------------------------

namespace {

int32_t SuiteGetType(const C4DNode* node) { return node ? FromHandle(node)->Type() : 0; }
bool SuiteIsInstanceOf(const C4DNode* node, int32_t type) {
  return node && FromHandle(node)->IsInstanceOf(type);
}
C4DDocument* SuiteGetDocument(const C4DNode* node) {
  return node ? ToHandle(FromHandle(node)->GetDocument()) : nullptr;
}
C4DContainer* SuiteGetDataInstance(C4DNode* node) {
  return node ? ToHandle(&FromHandle(node)->Data()) : nullptr;
}
bool SuiteGetDeformMode(const C4DNode* object, int32_t state) {
  return object && state == C4D_OBJECTSTATE_DEFORM && FromHandle(object)->IsEnabled();
}
bool SuiteInsertShader(C4DNode* node, C4DNode* shader) {
  if (!node || !shader) return false;
  try {
    return FromHandle(node)->InsertShader(FromHandle(shader));
  } catch (...) {
    return false;
  }
}
bool SuiteMessage(C4DNode* node, int32_t type, void* data) {
  if (!node) return false;
  try {
    return FromHandle(node)->SendMessage(type, data);
  } catch (...) {
    return false;
  }
}

constexpr C4DNodeSuite1 kNodeSuite{SuiteGetType,         SuiteIsInstanceOf,  SuiteGetDocument,
                                   SuiteGetDataInstance, SuiteGetDeformMode, SuiteInsertShader,
                                   SuiteMessage};

}  // namespace

const C4DNodeSuite1* NodeSuite1() { return &kNodeSuite; }

}  // namespace host
