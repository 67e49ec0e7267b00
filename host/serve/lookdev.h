// lookdev.h - the look-development page's requests, without the web server around them.
//
// A Lookdev holds one scene of a session and answers the page's requests on it: the
// plug-ins' descriptions, the scene's shaders with their values and live enabling,
// parameter and light-list edits, preview and swatch renders, icons, saving and loading.
// Every request takes one lock, so an edit never runs while a render reads the scene.
// A refused request answers 4xx with {"error": message} and changes nothing. Which member
// answers which route is the table of serve/operations.h; the members are defined by job in
// lookdev_panel.cpp, lookdev_edits.cpp, lookdev_nodes.cpp, lookdev_history.cpp,
// lookdev_render.cpp and lookdev_files.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scene/scene_file.h"
#include "serve/operations.h"
#include "session/session.h"

namespace host {

/// Largest request body the page may send (a light list or a gradient is a few KiB).
inline constexpr size_t kMaxRequestBytes = 64 * 1024;
/// Deepest nesting of arrays and objects in a request (a gradient needs 4).
inline constexpr int kMaxRequestNesting = 16;
/// Largest preview side in pixels, and most camera samples (pixels x samples per pixel)
/// of one preview or swatch: about a second of rendering on two cores, so that no request
/// holds the scene for long. A scene larger than that is refused with the limits.
inline constexpr int kMaxPreviewSide = 2048;
inline constexpr int64_t kMaxPreviewSamples = int64_t(1) << 22;

/// A Lookdev's scene, to open it again in another process: the scene, its file name, and
/// the scene as last loaded from or saved to that file (each SceneToText).
struct LookdevSnapshot {
  std::string text, file, savedText;
};

struct LookdevOptions {
  int renderThreads = 0;  ///< threads of preview and swatch renders; 0: all cores
};

/// Answers the page's operations (serve/operations.h): in this process (Lookdev) or in a
/// worker process (WorkerLookdev, serve/worker.h).
/// One edit in the page's history: the scene as it was on the other side of it, and what the
/// edit was ("Intensity of Key").
struct HistoryStep {
  std::string text, label;
};

/// Edits the history keeps; the oldest goes first.
inline constexpr size_t kMaxHistorySteps = 200;

class LookdevService {
 public:
  virtual ~LookdevService() = default;
  /// Answers request for op, one of PageOperations().
  virtual Reply Serve(const PageOperation& op, const PageRequest& request) = 0;
};

class Lookdev : public LookdevService {
 public:
  /// folder is the served folder: scenes are loaded from and saved to files below it only.
  Lookdev(Session& session, std::string folder, LookdevOptions options = {});
  ~Lookdev() override;
  Lookdev(const Lookdev&) = delete;
  Lookdev& operator=(const Lookdev&) = delete;

  const std::string& Folder() const { return folder_; }

  /// Answers op with its Lookdev member (the table's row).
  Reply Serve(const PageOperation& op, const PageRequest& request) override;

  /// GET /api/describe: modules' plug-ins with their descriptions (groups, parameters with
  /// type, label, cycle and flags), the words of each from its string table ("notes":
  /// serve/plugin_notes.h) and the registered icons.
  Reply Describe();
  /// GET /api/scene: file name, resolution, samples, lights (and why those switched off do
  /// nothing), whether it changed since last loaded or saved, all shaders, and per plug-in
  /// shader its parameters in the saved form with the module's enabling of each.
  Reply SceneState();
  /// POST /api/param {"shader": name, "param": symbol or ID, "value": scene-file JSON}; the
  /// answer is the shader's state (as in /api/scene) and "sceneChanged".
  Reply SetParam(const std::string& body);
  /// POST /api/lights {"shader", "param"?, "action": "add"|"remove"|"flags", "light", "flags"?}.
  Reply EditLights(const std::string& body);
  /// GET /api/preview.png?w=&h=&spp=&scene= (each optional: the scene's resolution and
  /// samples), within kMaxPreviewSide and kMaxPreviewSamples. scene=saved renders the scene
  /// as last loaded or saved instead of the current edit, for comparing the two.
  Reply Preview(const Query& query);
  /// GET /api/swatch.png?shader=&size=: the shader on a sphere lit by two lights.
  Reply Swatch(const Query& query);
  /// GET /api/icon/<id>.png: a registered icon as PNG.
  Reply Icon(const std::string& id);
  /// GET /api/files: the scene files (*.json) of the served folder, by name; symbolic links
  /// that lead out of the folder are left out, as loading refuses them.
  Reply Files();
  /// POST /api/node {"node": name, "key": scene-file key, "value": scene-file JSON}: one of the
  /// host's own settings of a light, the camera or a built-in shader (serve/host_params.h),
  /// checked in the panel's units. The answer is the scene's state (as /api/scene) and
  /// "sceneChanged".
  Reply EditNode(const std::string& body);
  /// POST /api/view {"action": "orbit", "yaw", "pitch"} (degrees) | {"action": "zoom",
  /// "factor"} | {"action": "reset"}: turns or moves the camera around the point it looks
  /// at, or puts it back as last loaded or saved. Answers as EditNode.
  Reply EditView(const std::string& body);
  /// POST /api/undo and /api/redo: takes the last edit of any kind back, or does it again.
  /// Answers as EditNode; 409 when there is nothing to take back or do again.
  Reply Undo(const std::string& body);
  Reply Redo(const std::string& body);
  /// POST /api/save {"path": relative path ending in .json}: the normal form of `save`; the
  /// scene's file is that path from then on (save as).
  Reply Save(const std::string& body);
  /// POST /api/load {"path": relative path}: replaces the scene when the file loads.
  Reply Load(const std::string& body);

  /// Loads path (absolute, or relative to the served folder) as the scene; false with a
  /// message naming the file when it does not load (the old scene stays).
  bool Open(const std::string& path, std::string* error);
  /// The scene in its saved form as of the last load, save or edit; file names are
  /// relative to the served folder when they lie inside.
  LookdevSnapshot Snapshot();
  /// Replaces the scene by a Snapshot's (an empty savedText: the scene itself, under its
  /// file); false with a message when it does not load (the old scene stays).
  bool Restore(const LookdevSnapshot& snapshot, std::string* error);

 private:
  /// label names the edit in the history; empty: the parameter's label.
  Reply SetParamLocked(const std::string& shader, const std::string& key, const nlohmann::json& value,
                       const std::string& label = {});
  nlohmann::json ShaderState(Node* shader);
  nlohmann::json SceneJson();
  bool ResolvePath(const nlohmann::json& body, bool mustExist, std::string* path, Reply* refusal) const;
  /// path relative to the served folder when it lies inside, so that answers to the page
  /// never show where the folder is.
  std::string Relative(const std::string& path) const;
  void DropScene();
  /// The scene as it is now is the saved one (after opening, loading or saving it).
  void MarkSaved();
  /// After an edit that changed the scene from `before` (SceneToText): remembers it for Undo
  /// under label and forgets what Redo could do. The scene's text is then sceneText_.
  void Recorded(std::string before, std::string label);
  /// Forgets every step (another scene took this one's place).
  void ClearHistory();
  /// {"undo": steps, "redo": steps, "undoLabel", "redoLabel"}.
  nlohmann::json History() const;
  /// Undo or Redo: moves one step from `from` to `to`, replacing the scene by the step's.
  Reply Step(std::vector<HistoryStep>& from, std::vector<HistoryStep>& to, const char* nothing);
  /// The camera as last loaded or saved (EditView's reset).
  Reply ResetView();
  /// The scene's state and whether it differs from the saved one.
  Reply SceneAnswer();
  /// Renders scene (width/height 0: its own resolution) into a PNG reply.
  Reply RenderPng(const Scene& scene, int width, int height, int samples);

  Session& session_;
  std::string folder_;
  LookdevOptions options_;
  std::mutex mutex_;
  Scene scene_;
  std::string sceneFile_;  ///< relative to folder_ when it lies inside
  std::string sceneText_;  ///< the scene as of the last load, save or edit (SceneToText)
  std::string savedText_;  ///< the scene as last loaded or saved
  std::vector<HistoryStep> undo_, redo_;  ///< latest last
};

}  // namespace host
