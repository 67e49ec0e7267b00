// scene.h - documents and their nodes.
//
// A Document owns all its nodes (objects, materials, shaders), flat, in creation order;
// parent/child relations (shaders attached below nodes with InsertShader) only structure
// them: deleting a node deletes its children too. Nodes are held by shared pointers so
// that links and in/exclude entries can keep weak references, which resolve to null once
// the node is deleted. A C4DNode* is a host::Node*, a C4DDocument* a host::Document*.
//
// Instance-of: a node is an instance of its own type; every shader (built-in or plug-in,
// whose type is its plug-in ID) also of kTypeShader (5707); every object of
// kTypeBaseObject (5155), and geometry (cube, sphere, plane, 5100) also of kTypeObject
// (5100); every material of kTypeBaseMaterial (5702).
//
// Threads: building and editing a scene is single-threaded; concurrent reads (rendering)
// are safe while nobody edits.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "c4d_host_abi.h"
#include "core/container.h"

namespace host {

class Document;
class Host;
struct PluginInfo;

/// What a node is.
enum class NodeKind { Object, Material, Shader };

/// One scene node.
class Node : public std::enable_shared_from_this<Node> {
 public:
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();

  int32_t Type() const { return type_; }
  NodeKind Kind() const { return kind_; }
  bool IsInstanceOf(int32_t type) const;
  bool IsShader() const { return kind_ == NodeKind::Shader; }
  bool IsObject() const { return kind_ == NodeKind::Object; }
  bool IsLight() const { return kind_ == NodeKind::Object && type_ == C4D_TYPE_LIGHT; }

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  /// The node's parameters.
  Container& Data() { return data_; }
  const Container& Data() const { return data_; }

  Document* GetDocument() const { return document_; }
  Node* Parent() const { return parent_; }
  const std::vector<Node*>& Children() const { return children_; }

  /// Attaches shader below this node. False if shader is null, not a shader, already has a
  /// parent, belongs to another document, is this node or one of its ancestors.
  bool InsertShader(Node* shader);

  /// The object's on/off switch (OBJECT_ENABLED, default on). False for non-objects.
  bool IsEnabled() const;

  /// The plug-in of a plug-in shader and its instance; null for host nodes.
  const PluginInfo* Plugin() const { return plugin_; }
  C4DNodeData* Instance() const { return instance_; }

  /// Sends a message: shown to the host's message observer (Host::SetMessageObserver),
  /// then answered by the plug-in's Message (true for host nodes). A node that is already
  /// handling a message on this thread answers false without dispatching (no recursion
  /// through link cycles).
  bool SendMessage(int32_t type, void* data);

  /// The plug-in's GetDEnabling for a parameter (true for host nodes or without one).
  bool GetDEnabling(const C4DDescID& id, const C4DValue* tData = nullptr, int32_t flags = 0,
                    const C4DContainer* itemdesc = nullptr);
  /// Convenience: GetDEnabling for a one-level description ID.
  bool GetDEnabling(int32_t paramId);
  /// The plug-in's GetRenderInfo (0 for host nodes or without one).
  int32_t GetRenderInfo();

 private:
  friend class Document;
  Node(Document* doc, int32_t type, NodeKind kind, std::string name);

  Document* document_;
  int32_t type_;
  NodeKind kind_;
  std::string name_;
  Container data_;
  Node* parent_ = nullptr;
  std::vector<Node*> children_;
  const PluginInfo* plugin_ = nullptr;
  C4DNodeData* instance_ = nullptr;
};

/// A scene: owns its nodes.
class Document {
 public:
  explicit Document(Host* host, std::string name = {});
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  /// Frees every plug-in instance and every render light still allocated for it.
  ~Document();

  const std::string& Name() const { return name_; }
  Host* GetHost() const { return host_; }

  /// A new object of type (light, camera, cube, sphere, plane, null or any other object
  /// type) with its default parameters written into its container.
  Node* CreateObject(int32_t type, std::string name = {});
  /// A new material (MATERIAL_COLOR (0.8,0.8,0.8), no shader).
  Node* CreateMaterial(std::string name = {});
  /// A new shader: a built-in one (kShaderColor, kShaderCheckerboard, kShaderNoise; its
  /// defaults written) or a registered plug-in (instance made with the record's Alloc,
  /// then Init(node)). Null for an unknown type, or when Alloc fails or Init answers false
  /// (the instance is then freed).
  Node* CreateShader(int32_t type, std::string name = {});

  /// Deletes node and its children (plug-in instances freed). False if not of this document.
  bool DeleteNode(Node* node);
  /// True while node is a live node of this document.
  bool Contains(const Node* node) const;

  /// Every node in creation order.
  std::vector<Node*> Nodes() const;
  std::vector<Node*> Objects() const;
  std::vector<Node*> Materials() const;
  std::vector<Node*> Shaders() const;
  /// The first node named name (optionally only of kind), or null.
  Node* FindNode(std::string_view name) const;
  Node* FindNode(std::string_view name, NodeKind kind) const;

 private:
  Node* Add(std::shared_ptr<Node> node);

  Host* host_;
  std::string name_;
  std::vector<std::shared_ptr<Node>> nodes_;
  /// The live nodes, for Contains: render preparation asks it once per light-list entry.
  std::unordered_set<const Node*> index_;
};

/// Handle conversions.
inline C4DNode* ToHandle(Node* n) { return reinterpret_cast<C4DNode*>(n); }
inline const C4DNode* ToHandle(const Node* n) { return reinterpret_cast<const C4DNode*>(n); }
inline Node* FromHandle(C4DNode* n) { return reinterpret_cast<Node*>(n); }
inline const Node* FromHandle(const C4DNode* n) { return reinterpret_cast<const Node*>(n); }
inline C4DDocument* ToHandle(Document* d) { return reinterpret_cast<C4DDocument*>(d); }
inline const C4DDocument* ToHandle(const Document* d) { return reinterpret_cast<const C4DDocument*>(d); }
inline Document* FromHandle(C4DDocument* d) { return reinterpret_cast<Document*>(d); }
inline const Document* FromHandle(const C4DDocument* d) { return reinterpret_cast<const Document*>(d); }

}  // namespace host
