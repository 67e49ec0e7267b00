// shader_tree.h - the shader tree of a document: attaching many shaders in linear time
// and finding cycles of sub-shader links.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/scene.h"

namespace host {

// Shader attachment planned on a model of the node tree, then done deepest child first:
// Node::InsertShader walks the new parent's ancestors to refuse cycles, so attaching the
// shaders of a long chain from the top down would take time quadratic in its length. The
// model answers "would this make a cycle" from the root of each tree (union-find), and the
// document sees the same attachments, in an order where each walk is one step.
class AttachmentPlan {
 public:
  explicit AttachmentPlan(const std::vector<Node*>& nodes);

  bool HasParent(const Node* n) const { return parent_[Index(n)] != kNone; }

  /// Plans shader below parent, as parent->InsertShader(shader) would do it now: false if
  /// shader already has a parent, is parent or is one of its ancestors.
  bool Attach(Node* parent, Node* shader);

  /// Attaches the planned shaders in the document, deepest first (siblings keep their
  /// order); false if the document refused one.
  bool Apply();

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t Index(const Node* n) const { return index_.at(n); }
  size_t Find(size_t i);
  // Records c (the root of its tree) below p: c's tree joins p's, whose root stays on top.
  void Join(size_t p, size_t c);

  std::vector<Node*> nodes_;
  std::unordered_map<const Node*, size_t> index_;
  std::vector<size_t> parent_;  // the modelled tree
  std::vector<size_t> set_;     // union-find over trees
  std::vector<size_t> top_;     // root of the tree of each set representative
  std::vector<std::pair<size_t, size_t>> planned_;
};

}  // namespace host
