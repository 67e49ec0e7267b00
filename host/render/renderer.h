// renderer.h - the tile renderer: eye rays, analytic hits, channel shader samples.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "c4d_host_abi.h"
#include "render/camera.h"
#include "render/image.h"
#include "render/shapes.h"

namespace host {

/// One visible object: its shape, the scene node it stands for, and its material channel.
struct RenderObject {
  Shape shape;
  const C4DNode* node = nullptr;  ///< reported as the hit object (C4DRayHitID::object)
  C4DNode* shader = nullptr;      ///< the channel shader; null renders `color`
  Vec3 color{0.8, 0.8, 0.8};      ///< the material's own colour when it has no shader
};

/// Everything one render needs. The renderer borrows the nodes; it owns nothing.
struct RenderSetup {
  PinholeCamera camera{Vec3(0, 0, -5), Vec3(0, 0, 1), Vec3(0, 1, 0), 60, 64, 64};
  std::vector<RenderObject> objects;
  Vec3 background;                  ///< pixels whose rays hit nothing
  C4DDocument* document = nullptr;  ///< handed to the shaders' InitRender
  /// Every shader of the scene: each gets InitRender before the first sample and
  /// FreeRender after the last, in this order (and reverse order for FreeRender).
  std::vector<C4DNode*> shaders;
};

/// How to render.
struct RenderOptions {
  int threads = 0;    ///< worker threads; 0: all cores
  int samples = 1;    ///< camera samples per pixel (stratified, deterministic)
  int tileSize = 32;  ///< tile edge in pixels
  /// Called after each finished tile with (tiles done, tiles in all); may run on any
  /// render thread, so it must be thread-safe.
  std::function<void(int, int)> progress;
};

/// What a render did.
struct RenderStats {
  int64_t cameraSamples = 0;  ///< eye rays traced
  int64_t shaderSamples = 0;  ///< channel shader calls (eye rays that hit a shaded object)
  int64_t nonFinite = 0;      ///< NaN, infinite or beyond-float shader results, replaced by 0
  std::string nonFiniteShader;  ///< the first shader with such a result (DescribeShader), if any
  double seconds = 0;         ///< wall time from the first InitRender to the last FreeRender
  int threads = 0;            ///< worker threads allowed
  bool preparationFailed = false;  ///< a shader's InitRender failed, so nothing was rendered
  std::string ToString() const;
};

/// The colour a pixel gets from one camera ray (the channel shader's colour, the material
/// colour or the background). `thread` is the render thread index given to the shader.
/// A shader result that is not a number, infinite or beyond the range of the images'
/// 32-bit floats counts in *nonFinite (the first such shader in *nonFiniteShader, when
/// given and still null) and gives black.
Vec3 TraceCameraRay(const RenderSetup& setup, const RayD& ray, int thread, int64_t* shaderSamples,
                    int64_t* nonFinite, C4DNode** nonFiniteShader = nullptr);

/// The sub-pixel position (in [0, 1)^2) of sample i of n in pixel (x, y): cells of a
/// near-square grid, jittered by a hash of (x, y, i); the pixel centre when n is 1.
void SampleOffset(int x, int y, int i, int n, double* dx, double* dy);

/// Asks every shader of setup to prepare (InitRender with irs), in order, until one
/// answers anything but C4D_INITRENDERRESULT_OK. *asked is the number of shaders asked,
/// the refusing one included (it may have prepared a part): the caller releases exactly
/// those with ReleaseShaders. False when one refused; *error then names it and its answer.
bool PrepareShaders(const RenderSetup& setup, const C4DInitRenderStruct& irs, size_t* asked, std::string* error);
/// FreeRender for the first `asked` shaders of setup, last first.
void ReleaseShaders(const RenderSetup& setup, size_t asked);

/// Renders into *image (resized to the camera's resolution). Tiles run in parallel with
/// oneTBB; every pixel depends only on its own samples, so the result is the same for any
/// thread count. The thread index in each sample's volume data is below the thread count
/// announced to InitRender (C4DInitRenderStruct::threadCount).
///
/// Returns false (with *error) when the options are unusable, and when a shader's InitRender
/// answers anything but C4D_INITRENDERRESULT_OK: then no sample is taken, every shader that
/// was asked to prepare (the failing one included, since it may have prepared a part) gets
/// FreeRender, last first, *error names the shader and the result, and
/// stats->preparationFailed is set.
bool Render(const RenderSetup& setup, const RenderOptions& options, RenderImage* image, RenderStats* stats,
            std::string* error);

}  // namespace host
