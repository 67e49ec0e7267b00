// scene_file.h - scene files: JSON documents of objects, lights, materials and shaders.
//
// The format is described for users in docs/scene-format.md. The work is split by job:
// scene_schema (the friendly keys and names both directions share), scene_load,
// scene_save and scene_format (the text layout of a saved scene). Loading creates every node
// first (creation writes the defaults: a plug-in shader's Init runs), then applies the
// file's values on top, so a file only needs the values that differ from the defaults.
// Saving writes every stored parameter of every node, so load, save, load gives equal
// containers, including values the host does not model.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/scene.h"
#include "core/vecmath.h"

namespace host {

/// A loaded scene: the document plus the settings that live outside nodes.
struct Scene {
  Document* document = nullptr;   ///< owned by the Host
  Node* camera = nullptr;         ///< the camera object (type 5103)
  int width = 640, height = 360;  ///< image resolution
  Vec3 background{0, 0, 0};       ///< colour of rays that hit nothing
  int samples = 1;                ///< camera samples per pixel
};

/// Why loading failed. `line`/`column` are 1-based and 0 when unknown (the JSON was well
/// formed and the problem is in its meaning: `path` then names the place in the file).
struct SceneError {
  std::string file;
  int line = 0, column = 0;
  std::string path;     ///< e.g. shaders[1] "Mask" / XSAMPLE_SHADER
  std::string message;  ///< the cause
  /// True when the file is not to blame: a plug-in could not create its shader or the host
  /// ran out of memory (a failure while working, exit code 1; bad input is 2).
  bool whileWorking = false;
  /// "file:line:column: path: message", leaving out what is unknown.
  std::string ToString() const;
};

/// Reads a scene from text into a new document of host. `file` names the source in
/// errors. On failure the half-built document is deleted and false returned.
bool LoadSceneText(Host& host, const std::string& text, const std::string& file, Scene* out, SceneError* error);
/// Reads a scene file into host (a missing or unreadable file is an error naming it).
bool LoadSceneFile(Host& host, const std::string& path, Scene* out, SceneError* error);

/// Sets one parameter of node from its scene-file JSON form, exactly as loading applies an
/// entry of "parameters": key is a description symbol or a numeric ID, the value must fit
/// the described type, links name nodes of the node's document. False with *error (the
/// cause, without the key's place) when the key or value is refused; the node is unchanged.
bool ApplyParameterJson(Node* node, const std::string& key, const nlohmann::json& value, std::string* error);

/// Sets one of the host's own settings of node (a light's "brightness", the camera's "fov", a
/// built-in shader's "scale") from its scene-file JSON form under its friendly key, exactly
/// as loading applies it. False with *error when the node has no such key or the value does
/// not convert; the node is unchanged.
bool ApplyFriendlyJson(Node* node, const std::string& key, const nlohmann::json& value, std::string* error);

/// The first cycle of sub-shader links in doc, as "\"A\" -> \"B\" -> \"A\"", with *at
/// the shader whose link closes it; empty when the links form no cycle.
std::string FindShaderCycle(const Document& doc, const Node** at = nullptr);

/// One node in the form SceneToJson writes it: its name, the host's own parameters under
/// their friendly keys and the rest under "parameters". What only the scene knows (an
/// object's type, a shader's plug-in and owner, the camera's resolution) is left out.
nlohmann::json NodeToJson(const Node* node);
/// The normalised JSON form of a scene: every node, every stored parameter.
nlohmann::json SceneToJson(const Scene& scene);
/// SceneToJson as indented text (short number arrays on one line), ending in a newline.
std::string SceneToText(const Scene& scene);
/// Writes SceneToText to path, whole or not at all (WriteFileAtomically); false with
/// *error naming the file and the cause.
bool SaveSceneFile(const Scene& scene, const std::string& path, std::string* error);

/// 1-based line and column of a byte offset in text.
void LineColumn(const std::string& text, size_t offset, int* line, int* column);

/// The name written for a node in links (its own name).
std::string NodeName(const Node* node);

}  // namespace host
