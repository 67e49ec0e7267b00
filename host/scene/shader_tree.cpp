// shader_tree.cpp - planned shader attachment and the search for sub-shader cycles.
#include "scene/shader_tree.h"

#include <algorithm>
#include <cstdint>

#include "scene/scene_file.h"

namespace host {

AttachmentPlan::AttachmentPlan(const std::vector<Node*>& nodes) : nodes_(nodes) {
  const size_t n = nodes_.size();
  parent_.assign(n, kNone);
  set_.resize(n);
  top_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    index_[nodes_[i]] = i;
    set_[i] = top_[i] = i;
  }
  for (size_t i = 0; i < n; ++i)
    if (Node* p = nodes_[i]->Parent()) Join(Index(p), i);
}

bool AttachmentPlan::Attach(Node* parent, Node* shader) {
  const size_t p = Index(parent), c = Index(shader);
  if (p == c || parent_[c] != kNone) return false;
  if (top_[Find(p)] == c) return false;  // c is the root of parent's tree: its ancestor
  Join(p, c);
  planned_.emplace_back(p, c);
  return true;
}

bool AttachmentPlan::Apply() {
  std::vector<size_t> depth(nodes_.size(), kNone);
  std::vector<size_t> path;  // nodes whose depth follows from the first known one above
  for (size_t i = 0; i < nodes_.size(); ++i) {
    path.clear();
    size_t at = i;
    while (depth[at] == kNone && parent_[at] != kNone) {
      path.push_back(at);
      at = parent_[at];
    }
    if (depth[at] == kNone) depth[at] = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) depth[*it] = depth[parent_[*it]] + 1;
  }
  std::stable_sort(planned_.begin(), planned_.end(),
                   [&](const auto& a, const auto& b) { return depth[a.second] > depth[b.second]; });
  for (const auto& [p, c] : planned_)
    if (!nodes_[p]->InsertShader(nodes_[c])) return false;
  return true;
}

size_t AttachmentPlan::Find(size_t i) {
  while (set_[i] != i) i = set_[i] = set_[set_[i]];
  return i;
}

void AttachmentPlan::Join(size_t p, size_t c) {
  parent_[c] = p;
  const size_t into = Find(p);
  set_[Find(c)] = into;
}

std::string FindShaderCycle(const Document& doc, const Node** at) {
  // Depth-first search over shader -> linked shader edges, on an explicit stack: a chain of
  // links can be as long as the document.
  enum class Mark : uint8_t { New, OnStack, Done };
  std::unordered_map<const Node*, Mark> marks;
  struct Visit {
    const Node* node;
    std::vector<const Node*> targets;  // the shaders it links, in parameter order
    size_t next = 0;
  };
  std::vector<Visit> stack;
  auto enter = [&](const Node* n) {
    marks[n] = Mark::OnStack;
    Visit visit{n, {}};
    for (const auto& [id, v] : n->Data().Entries())
      if (const Node* t = v.GetLink(); t && t->IsShader()) visit.targets.push_back(t);
    stack.push_back(std::move(visit));
  };
  for (const Node* start : doc.Shaders()) {
    if (marks[start] != Mark::New) continue;
    enter(start);
    while (!stack.empty()) {
      Visit& top = stack.back();
      if (top.next == top.targets.size()) {
        marks[top.node] = Mark::Done;
        stack.pop_back();
        continue;
      }
      const Node* t = top.targets[top.next++];
      const Mark mark = marks[t];
      if (mark == Mark::OnStack) {
        std::string cycle;
        auto from = std::find_if(stack.begin(), stack.end(), [&](const Visit& x) { return x.node == t; });
        for (auto s = from; s != stack.end(); ++s) cycle += "\"" + s->node->Name() + "\" -> ";
        if (at) *at = top.node;
        return cycle + "\"" + t->Name() + "\"";
      }
      if (mark == Mark::New) enter(t);  // `top` is not used after this
    }
  }
  return {};
}

}  // namespace host
