// lookdev_files.cpp - the scene's files: opening and restoring a scene, the served folder's
// scene files, saving and loading.
#include "serve/lookdev.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "serve/lookdev_requests.h"

namespace host {

using nlohmann::json;
namespace fs = std::filesystem;

bool Lookdev::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  fs::path p(path);
  if (p.is_relative()) p = fs::path(folder_) / p;
  Scene loaded;
  SceneError sceneError;
  if (!LoadSceneFile(session_, p.string(), &loaded, &sceneError)) {
    *error = sceneError.ToString();
    return false;
  }
  DropScene();
  scene_ = loaded;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(p, ec);
  sceneFile_ = Relative(ec ? p.string() : resolved.string());
  MarkSaved();
  ClearHistory();
  return true;
}

LookdevSnapshot Lookdev::Snapshot() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {sceneText_, sceneFile_, savedText_};
}

bool Lookdev::Restore(const LookdevSnapshot& snapshot, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string& file = snapshot.file;
  const fs::path p = fs::path(file).is_relative() ? fs::path(folder_) / file : fs::path(file);
  Scene loaded;
  SceneError sceneError;
  if (!LoadSceneText(session_, snapshot.text, p.string(), &loaded, &sceneError)) {
    *error = sceneError.ToString();
    return false;
  }
  DropScene();
  scene_ = loaded;
  sceneFile_ = file;
  sceneText_ = snapshot.text;
  savedText_ = snapshot.savedText.empty() ? snapshot.text : snapshot.savedText;
  ClearHistory();
  return true;
}

Reply Lookdev::Files() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ec)) {
    if (!e.is_regular_file(ec) || e.path().extension() != ".json") continue;
    // A symbolic link counts where it leads: inside the folder, or not at all.
    if (e.is_symlink(ec) && !Inside(fs::canonical(e.path(), ec), folder_)) continue;
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return JsonReply({{"files", names}});
}

std::string Lookdev::Relative(const std::string& path) const {
  fs::path rel = fs::path(path).lexically_relative(folder_);
  return Inside(path, folder_) ? rel.generic_string() : fs::path(path).filename().string();
}

bool Lookdev::ResolvePath(const json& body, bool mustExist, std::string* path, Reply* refusal) const {
  std::string given;
  if (!TextField(body, "path", &given, refusal)) return false;
  fs::path p(given);
  const std::string shown = given.size() > 80 ? given.substr(0, 60) + "..." : given;
  if (given.find('\0') != std::string::npos || p.is_absolute() || p.has_root_name()) {
    *refusal = Refuse(400, "give the file as a path relative to the served folder");
    return false;
  }
  if (p.extension() != ".json") {
    *refusal = Refuse(400, shown + ": scene files end in .json");
    return false;
  }
  // Names and paths the system cannot hold are refused as such, before they are resolved.
  const long nameMax = ::pathconf(folder_.c_str(), _PC_NAME_MAX);
  const long pathMax = ::pathconf(folder_.c_str(), _PC_PATH_MAX);
  for (const fs::path& part : p) {
    if (nameMax > 0 && long(part.native().size()) > nameMax) {
      *refusal = Refuse(400, shown + ": name too long (a file or folder name holds at most " +
                                 std::to_string(nameMax) + " bytes here)");
      return false;
    }
  }
  if (given.size() > 1024 || (pathMax > 0 && long(folder_.size() + 1 + given.size()) >= pathMax)) {
    *refusal = Refuse(400, shown + ": path too long (at most 1024 bytes, and " + std::to_string(pathMax) +
                               " with the served folder's own path)");
    return false;
  }
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::path(folder_) / p, ec);
  if (ec || !Inside(full, folder_)) {
    *refusal = Refuse(403, shown + ": outside the served folder");
    return false;
  }
  if (mustExist && !fs::is_regular_file(full, ec)) {
    *refusal = Refuse(404, shown + ": no such scene file in the served folder");
    return false;
  }
  if (!mustExist && !fs::is_directory(full.parent_path(), ec)) {
    *refusal = Refuse(400, shown + ": the folder does not exist");
    return false;
  }
  *path = full.string();
  return true;
}

Reply Lookdev::Save(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string path;
  if (!ParseBody(body, &request, &refusal) || !ResolvePath(request, false, &path, &refusal)) return refusal;
  if (!scene_.document) return Refuse(409, "no scene is loaded");
  std::string error;
  if (!SaveSceneFile(scene_, path, &error)) {
    // "<path>: cannot write ...", told with the path the page gave.
    if (error.rfind(path, 0) == 0) error = Relative(path) + error.substr(path.size());
    return Refuse(500, error);
  }
  MarkSaved();
  sceneFile_ = Relative(path);
  return JsonReply({{"saved", sceneFile_}});
}

Reply Lookdev::Load(const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  json request;
  Reply refusal;
  std::string path;
  if (!ParseBody(body, &request, &refusal) || !ResolvePath(request, true, &path, &refusal)) return refusal;
  Scene loaded;
  SceneError error;
  if (!LoadSceneFile(session_, path, &loaded, &error)) {
    error.file = Relative(path);
    return Refuse(400, error.ToString());
  }
  DropScene();
  scene_ = loaded;
  sceneFile_ = Relative(path);
  MarkSaved();
  ClearHistory();
  return JsonReply(SceneJson());
}

}  // namespace host
