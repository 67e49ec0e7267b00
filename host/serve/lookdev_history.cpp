// lookdev_history.cpp - the page's history: every edit can be taken back and done again.
// A step keeps the scene's saved form from the other side of the edit, so that undoing a
// light's move, a parameter or a change of view is one and the same operation.
#include "serve/lookdev.h"

#include <filesystem>

#include "serve/lookdev_requests.h"

namespace host {

using nlohmann::json;
namespace fs = std::filesystem;

void Lookdev::Recorded(std::string before, std::string label) {
  if (before == sceneText_) return;  // the edit set what was there: nothing to take back
  undo_.push_back({std::move(before), std::move(label)});
  if (undo_.size() > kMaxHistorySteps) undo_.erase(undo_.begin());
  redo_.clear();
}

void Lookdev::ClearHistory() {
  undo_.clear();
  redo_.clear();
}

json Lookdev::History() const {
  return {{"undo", undo_.size()},
          {"redo", redo_.size()},
          {"undoLabel", undo_.empty() ? "" : undo_.back().label},
          {"redoLabel", redo_.empty() ? "" : redo_.back().label}};
}

Reply Lookdev::SceneAnswer() {
  json scene = SceneJson();
  scene["sceneChanged"] = scene["changed"];
  return JsonReply(scene);
}

Reply Lookdev::Step(std::vector<HistoryStep>& from, std::vector<HistoryStep>& to, const char* nothing) {
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  if (from.empty()) return Refuse(409, nothing);
  const fs::path file = fs::path(sceneFile_).is_relative() ? fs::path(folder_) / sceneFile_ : fs::path(sceneFile_);
  Scene loaded;
  SceneError error;
  if (!LoadSceneText(session_, from.back().text, file.string(), &loaded, &error))
    return Refuse(500, "the scene before this edit does not load again: " + error.ToString());
  DropScene();
  scene_ = loaded;
  to.push_back({std::move(sceneText_), std::move(from.back().label)});
  sceneText_ = std::move(from.back().text);
  from.pop_back();
  return SceneAnswer();
}

Reply Lookdev::Undo(const std::string&) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Step(undo_, redo_, "Nothing to undo.");
}

Reply Lookdev::Redo(const std::string&) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Step(redo_, undo_, "Nothing to redo.");
}

}  // namespace host
