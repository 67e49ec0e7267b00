// lookdev_render.cpp - the page's images: the scene's preview, a shader's swatch and icons.
#include "serve/lookdev.h"

#include "bitmap/bitmap.h"
#include "render/image.h"
#include "render/renderer.h"
#include "scene/scene_render.h"
#include "scene/scene_schema.h"
#include "serve/lookdev_requests.h"
#include "serve/plugin_notes.h"

namespace host {

using nlohmann::json;

namespace {

/// Refuses an image of more than kMaxPreviewSamples camera samples.
bool WithinPreviewLimits(int w, int h, int spp, Reply* refusal) {
  if (int64_t(w) * h * spp <= kMaxPreviewSamples) return true;
  *refusal = Refuse(400, std::to_string(w) + " x " + std::to_string(h) + " pixels at " + std::to_string(spp) +
                             " samples would take " + std::to_string(int64_t(w) * h * spp) +
                             " camera samples; a preview takes at most " + std::to_string(kMaxPreviewSamples) +
                             " (and at most " + std::to_string(kMaxPreviewSide) +
                             " pixels a side): ask for fewer pixels or samples");
  return false;
}

/// The material preview of shader: a sphere with a new shader of the same plug-in
/// ("Shader") as its material's channel, lit by a key and a fill light, which every light
/// list of the description holds with all its flags set (NUM_FLAGS). The shader's own
/// values are copied on afterwards (CopyOwnValues).
json SwatchSceneJson(int size, int spp, const Node& shader) {
  json lists = json::object();
  for (const DescriptionElement& e : DescriptionOfShader(&shader)->description.elements) {
    if (e.type != ElementType::InExclude) continue;
    const int32_t all = int32_t((uint32_t(1) << ListFlagCount(e)) - 1);
    lists[e.symbol] = json::array({{{"object", "Key"}, {"flags", all}}, {{"object", "Fill"}, {"flags", all}}});
  }
  return {{"camera", {{"position", {0, 0, -420}}, {"target", {0, 0, 0}}, {"fov", 32}, {"resolution", {size, size}}}},
          {"render", {{"background", {0.16, 0.16, 0.17}}, {"samples", spp}}},
          {"objects", {{{"name", "Sphere"}, {"type", "sphere"}, {"radius", 100}, {"material", "Preview"}}}},
          {"lights",
           {{{"name", "Key"}, {"type", "omni"}, {"position", {-260, 240, -300}}, {"falloff", "linear"}, {"radius", 620}},
            {{"name", "Fill"},
             {"type", "omni"},
             {"position", {300, -120, -160}},
             {"color", {0.55, 0.65, 0.8}},
             {"falloff", "linear"},
             {"radius", 520}}}},
          {"materials", {{{"name", "Preview"}, {"shader", "Shader"}}}},
          {"shaders", {{{"name", "Shader"}, {"plugin", shader.Plugin()->id}, {"parameters", lists}}}}};
}

/// Copies source's stored values onto target (a shader of the same plug-in), except links
/// and lists: they name nodes of source's scene, which target's does not have, so every
/// one stays behind (described or stored under an ID the description does not know).
void CopyOwnValues(const Node& source, Node* target) {
  for (const auto& [id, value] : source.Data().Entries())
    if (value.GetKind() != Value::Kind::Link && value.GetKind() != Value::Kind::InExclude)
      target->Data().Set(id, value);
}

}  // namespace

Reply Lookdev::Preview(const Query& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  int w = 0, h = 0, spp = 0;
  Reply refusal;
  if (!QueryInt(query, "w", 1, kMaxPreviewSide, scene_.width, &w, &refusal) ||
      !QueryInt(query, "h", 1, kMaxPreviewSide, scene_.height, &h, &refusal) ||
      !QueryInt(query, "spp", 1, 256, scene_.samples, &spp, &refusal))
    return refusal;
  if (!WithinPreviewLimits(w, h, spp, &refusal)) return refusal;
  auto which = query.find("scene");
  if (which == query.end() || which->second == "current") return RenderPng(scene_, w, h, spp);
  if (which->second != "saved")
    return Refuse(400, "scene must be \"current\" or \"saved\", not \"" + which->second.substr(0, 40) + "\"");
  // The scene as last loaded or saved, read again from its saved form: what a render of
  // that file gives.
  Scene saved;
  SceneError error;
  if (!LoadSceneText(session_, savedText_, sceneFile_, &saved, &error))
    return Refuse(500, "the saved scene could not be read again: " + error.ToString());
  Reply reply = RenderPng(saved, w, h, spp);
  session_.DeleteDocument(saved.document);
  return reply;
}

Reply Lookdev::Swatch(const Query& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  int size = 0, spp = 0;
  Reply refusal;
  if (!QueryInt(query, "size", 16, 512, 160, &size, &refusal) ||
      !QueryInt(query, "spp", 1, 16, 4, &spp, &refusal) || !WithinPreviewLimits(size, size, spp, &refusal))
    return refusal;
  Node* shader = nullptr;
  auto named = query.find("shader");
  if (named != query.end()) {
    shader = scene_.document->FindNode(named->second, NodeKind::Shader);
    if (!DescriptionOfShader(shader))
      return Refuse(400, "there is no shader \"" + named->second + "\" to preview");
  } else {
    for (Node* n : scene_.document->Shaders())
      if (!shader && DescriptionOfShader(n)) shader = n;
    if (!shader) return Refuse(400, "the scene has no plug-in shader to preview");
  }
  Scene preview;
  SceneError error;
  const std::string text = SwatchSceneJson(size, spp, *shader).dump();
  if (!LoadSceneText(session_, text, "material preview", &preview, &error))
    return Refuse(500, "the material preview could not be built: " + error.ToString());
  CopyOwnValues(*shader, preview.document->FindNode("Shader", NodeKind::Shader));
  Reply reply = RenderPng(preview, 0, 0, spp);
  session_.DeleteDocument(preview.document);
  return reply;
}

Reply Lookdev::RenderPng(const Scene& scene, int width, int height, int samples) {
  RenderSetup setup;
  BuildRenderSetup(scene, width, height, &setup);
  RenderOptions options;
  options.threads = options_.renderThreads;
  options.samples = samples;
  RenderImage image;
  RenderStats stats;
  std::string error;
  if (!Render(setup, options, &image, &stats, &error)) return Refuse(500, error);
  Reply reply = PngReply(EncodePng(image));
  reply.headers["X-Render-Seconds"] = std::to_string(stats.seconds);
  return reply;
}

Reply Lookdev::Icon(const std::string& idText) {
  int32_t id = 0;
  if (!scenefile::ParseInt32Key(idText, &id))
    return Refuse(400, "an icon ID is an integer, not \"" + idText + "\"");
  Image pixels;
  if (!IconPixels(id, &pixels) || pixels.Empty()) return Refuse(404, "no icon is registered under " + idText);
  Reply reply = PngReply(EncodePng(pixels.width, pixels.height, 4, pixels.rgba.data()));
  reply.headers["Cache-Control"] = "max-age=3600";
  return reply;
}

}  // namespace host
