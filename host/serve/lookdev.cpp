// lookdev.cpp - a Lookdev's scene and its dispatch of the page's operations. The operations
// themselves are split by job: lookdev_panel.cpp (descriptions, scene state), lookdev_edits.cpp
// (parameter and light-list edits), lookdev_render.cpp (preview, swatch, icons) and
// lookdev_files.cpp (open, restore, files, save, load).
#include "serve/lookdev.h"

#include <filesystem>

namespace host {

namespace fs = std::filesystem;

Lookdev::Lookdev(Session& session, std::string folder, LookdevOptions options)
    : session_(session), folder_(std::move(folder)), options_(options) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(folder_, ec);
  if (!ec) folder_ = canonical.string();
}

Lookdev::~Lookdev() { DropScene(); }

void Lookdev::MarkSaved() {
  sceneText_ = SceneToText(scene_);
  savedText_ = sceneText_;
}

void Lookdev::DropScene() {
  if (scene_.document) session_.DeleteDocument(scene_.document);
  scene_ = Scene{};
}

Reply Lookdev::Serve(const PageOperation& op, const PageRequest& request) { return op.serve(*this, request); }

}  // namespace host
