#include "serve/lookdev_requests.h"

#include <algorithm>

#include "scene/json_values.h"
#include "scene/scene_schema.h"

namespace host {

using nlohmann::json;

Reply JsonReply(const json& j, int status) {
  Reply r;
  r.status = status;
  r.body = j.dump();
  return r;
}

Reply Refuse(int status, const std::string& message) { return JsonReply(json{{"error", message}}, status); }

Reply PngReply(std::string png) {
  if (png.empty()) return Refuse(500, "the image could not be encoded as PNG");
  Reply r;
  r.contentType = "image/png";
  r.body = std::move(png);
  return r;
}

bool ParseBody(const std::string& body, json* out, Reply* refusal) {
  if (body.size() > kMaxRequestBytes) {
    *refusal =
        Refuse(413, "the request is too large (at most " + std::to_string(kMaxRequestBytes) + " bytes)");
    return false;
  }
  // Deeply nested input is refused before parsing: printing or copying it recurses once per level.
  if (FindJsonNestingBeyond(body, kMaxRequestNesting) != std::string_view::npos) {
    *refusal = Refuse(
        400, "the request nests arrays and objects more than " + std::to_string(kMaxRequestNesting) + " deep");
    return false;
  }
  try {
    *out = json::parse(body);
  } catch (const json::exception& e) {
    std::string what = e.what();
    auto bracket = what.find("] ");
    *refusal = Refuse(400, "the request is not valid JSON: " +
                               (bracket != std::string::npos ? what.substr(bracket + 2) : what));
    return false;
  }
  if (!out->is_object()) {
    *refusal = Refuse(400, "the request must be a JSON object");
    return false;
  }
  return true;
}

bool TextField(const json& body, const char* key, std::string* out, Reply* refusal) {
  auto it = body.find(key);
  if (it == body.end() || !it->is_string() || it->get<std::string>().empty()) {
    *refusal = Refuse(400, std::string("the request needs \"") + key + "\" (a non-empty text)");
    return false;
  }
  *out = it->get<std::string>();
  return true;
}

bool QueryInt(const Query& query, const char* name, int lo, int hi, int def, int* out, Reply* refusal) {
  auto it = query.find(name);
  const std::string s = it != query.end() ? it->second : std::to_string(def);
  int32_t v = 0;
  if (!ReadInt32Text(s, &v) || v < lo || v > hi) {
    *refusal = Refuse(400, std::string(name) + " must be an integer from " + std::to_string(lo) + " to " +
                               std::to_string(hi) + ", not \"" + s + "\"" +
                               (it == query.end() ? " (the scene's own setting)" : ""));
    return false;
  }
  *out = int(v);
  return true;
}

bool Inside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  if (path.empty()) return false;
  const std::filesystem::path rel = path.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != ".." && !rel.is_absolute();
}

std::shared_ptr<const RegisteredDescription> DescriptionOfShader(const Node* node) {
  return node && node->IsShader() ? scenefile::DescriptionOf(node) : nullptr;
}

bool AcceptsLightsOnly(const DescriptionElement& e) {
  const DescriptionFlag* accept = e.Flag("ACCEPT");
  if (!accept) return false;
  return std::find(accept->args.begin(), accept->args.end(), "Olight") != accept->args.end();
}

}  // namespace host
