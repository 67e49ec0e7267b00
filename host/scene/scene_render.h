// scene_render.h - turning a loaded scene into what the renderer draws.
#pragma once

#include <string>

#include "render/renderer.h"
#include "scene/scene_file.h"

namespace host {

/// Fills *setup from scene: the camera node's placement and field of view at the scene's
/// resolution, every enabled plane, sphere and box with its material's colour shader (or
/// colour), the background, and every shader of the document for InitRender/FreeRender.
/// width/height above 0 override the scene's resolution; when only one of them does, the
/// other keeps the scene's aspect ratio (rounded, at least 1).
void BuildRenderSetup(const Scene& scene, int width, int height, RenderSetup* setup);

}  // namespace host
