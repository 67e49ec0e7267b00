#include "serve/operations.h"

#include <nlohmann/json.hpp>

#include "serve/lookdev.h"

namespace host {

namespace {

// Adapters from a PageRequest to the Lookdev member of a row, by what the member takes.
template <Reply (Lookdev::*member)()>
Reply TakesNothing(Lookdev& l, const PageRequest&) {
  return (l.*member)();
}
template <Reply (Lookdev::*member)(const Query&)>
Reply TakesQuery(Lookdev& l, const PageRequest& r) {
  return (l.*member)(r.query);
}
template <Reply (Lookdev::*member)(const std::string&)>
Reply TakesBody(Lookdev& l, const PageRequest& r) {
  return (l.*member)(r.body);
}
template <Reply (Lookdev::*member)(const std::string&)>
Reply TakesPathId(Lookdev& l, const PageRequest& r) {
  return (l.*member)(r.pathId);
}

constexpr bool kChanges = true, kReads = false;

}  // namespace

const std::vector<PageOperation>& PageOperations() {
  static const std::vector<PageOperation> table = {
      // name      method  path                       scene     reply            member
      {"describe", "GET", "/api/describe", kReads, ReplyKind::Json, TakesNothing<&Lookdev::Describe>},
      {"scene", "GET", "/api/scene", kReads, ReplyKind::Json, TakesNothing<&Lookdev::SceneState>},
      {"files", "GET", "/api/files", kReads, ReplyKind::Json, TakesNothing<&Lookdev::Files>},
      {"preview", "GET", "/api/preview.png", kReads, ReplyKind::Png, TakesQuery<&Lookdev::Preview>},
      {"swatch", "GET", "/api/swatch.png", kReads, ReplyKind::Png, TakesQuery<&Lookdev::Swatch>},
      {"icon", "GET", R"(/api/icon/([^/]+)\.png)", kReads, ReplyKind::Png, TakesPathId<&Lookdev::Icon>},
      {"param", "POST", "/api/param", kChanges, ReplyKind::Json, TakesBody<&Lookdev::SetParam>},
      {"lights", "POST", "/api/lights", kChanges, ReplyKind::Json, TakesBody<&Lookdev::EditLights>},
      {"node", "POST", "/api/node", kChanges, ReplyKind::Json, TakesBody<&Lookdev::EditNode>},
      {"view", "POST", "/api/view", kChanges, ReplyKind::Json, TakesBody<&Lookdev::EditView>},
      {"undo", "POST", "/api/undo", kChanges, ReplyKind::Json, TakesBody<&Lookdev::Undo>},
      {"redo", "POST", "/api/redo", kChanges, ReplyKind::Json, TakesBody<&Lookdev::Redo>},
      {"save", "POST", "/api/save", kChanges, ReplyKind::Json, TakesBody<&Lookdev::Save>},
      {"load", "POST", "/api/load", kChanges, ReplyKind::Json, TakesBody<&Lookdev::Load>},
  };
  return table;
}

const PageOperation* FindPageOperation(std::string_view name) {
  for (const PageOperation& op : PageOperations())
    if (name == op.name) return &op;
  return nullptr;
}

Reply ServePageOperation(Lookdev& lookdev, std::string_view name, const PageRequest& request) {
  if (const PageOperation* op = FindPageOperation(name)) return op->serve(lookdev, request);
  Reply refusal;
  refusal.status = 400;
  refusal.body = nlohmann::json{{"error", "unknown request '" + std::string(name) + "'"}}.dump();
  return refusal;
}

}  // namespace host
