// subject.h - the module under validation as one check sees it: a session of its own that
// loads the module through the counting interface record, the module's shader plug-ins,
// test scenes made for any of them, and renders that keep every raw shader result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/plugins.h"
#include "render/image.h"
#include "render/renderer.h"
#include "resources/resources.h"
#include "scene/scene_file.h"
#include "session/session.h"
#include "validate/random.h"

namespace host {

/// A shader plug-in of the module and its description (null when it registered none).
struct ShaderPlugin {
  int32_t id = 0;
  std::string name;
  std::shared_ptr<const RegisteredDescription> description;
  /// The described parameters (no groups or separators); empty without a description.
  std::vector<const DescriptionElement*> Parameters() const;
  /// "plug-in 1000001 (Sample)"
  std::string Name() const;
};

/// A scene made for one plug-in: a camera facing a plane filled by one instance of the
/// plug-in (or, for several instances, a grid of spheres with one each), omni lights in
/// front, and every IN_EXCLUDE parameter of each instance listing the lights.
struct TestScene {
  Scene scene;
  std::vector<Node*> shaders;  ///< the plug-in's instances
  std::vector<Node*> lights;
};

/// What SampleScene saw: every pixel's raw colour (before the image's conversions) and
/// the counts of results no image can hold.
struct Samples {
  int width = 0, height = 0;
  std::vector<Vec3> pixels;
  int64_t nonFinite = 0;  ///< NaN, infinite or beyond the range of a float
  bool refused = false;   ///< a shader's InitRender refused: nothing was sampled
};

class Subject {
 public:
  /// progress is told what the check does now (for a report of where a crash happened).
  Subject(std::string modulePath, int strictness, uint64_t seed, std::function<void(const std::string&)> progress);
  ~Subject();

  const std::string& ModulePath() const { return path_; }
  int Strictness() const { return strictness_; }
  Random& Rng() { return rng_; }
  void Progress(const std::string& what) const;

  /// Loads the module into a new session (the previous one, if any, is ended first). False
  /// with *why when the file is refused, its code faulted or its lifecycle failed.
  /// beforeModule, when given, runs in the new session before the module is opened (to
  /// arm a fault injection, say).
  bool Load(std::string* why, const std::function<void()>& beforeModule = {});
  /// Ends the session: documents, then the module's action 3 and its file.
  void Unload();
  Session* GetSession() { return session_.get(); }
  Module* GetModule() { return module_; }

  /// The shader plug-ins the module registered, by ID.
  std::vector<ShaderPlugin> Shaders() const;
  /// The registrations of the module that the host refused.
  std::vector<RefusedRegistration> Refusals() const;

  /// Builds a scene for plugin in a new document of the session: width x height pixels,
  /// `lights` lights, `instances` instances of the plug-in. False with *why.
  bool BuildScene(const ShaderPlugin& plugin, int width, int height, int lights, int instances, TestScene* out,
                  std::string* why);
  /// Prepares every shader of the scene, samples each pixel centre on this thread (between
  /// the two calls of phase, when given: true before the first sample, false after the
  /// last), and releases them. False with *why when a shader could not prepare (then
  /// out->refused is set) or module code faulted.
  bool SampleScene(const TestScene& scene, Samples* out, std::string* why,
                   const std::function<void(bool)>& phase = {});
  /// Renders the scene with the host's renderer on `threads` threads.
  bool RenderScene(const TestScene& scene, int threads, RenderImage* out, std::string* why);

  /// The first fault of module code seen since the last call (by any call above or still
  /// recorded), "" when none; and forgets it.
  std::string TakeSeenFault();

 private:
  std::string path_;
  int strictness_;
  Random rng_;
  std::function<void(const std::string&)> progress_;
  std::unique_ptr<Session> session_;
  Module* module_ = nullptr;
  std::string seenFault_;

  std::string TakeFault();
};

/// The fault of module code recorded since the last call, as text ("" when none).
std::string TakeFaultText();

/// "0.5", "-1e+300": a double for messages, shortest form that reads back the same.
std::string FormatNumber(double v);
/// "(0.5, 0.5, 0.5)"
std::string FormatColor(const Vec3& v);

}  // namespace host
