#include "scene/scene_render.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/ids.h"

namespace host {

void BuildRenderSetup(const Scene& scene, int width, int height, RenderSetup* setup) {
  Document* doc = scene.document;
  const Container& cam = scene.camera->Data();
  // One side given: the other follows the scene's aspect ratio, so the framing stays.
  if (width > 0 && height <= 0 && scene.width > 0)
    height = std::max(1, int(std::lround(double(width) * scene.height / scene.width)));
  else if (height > 0 && width <= 0 && scene.height > 0)
    width = std::max(1, int(std::lround(double(height) * scene.width / scene.height)));
  setup->camera =
      PinholeCamera(cam.GetVector(OBJECT_POSITION), cam.GetVector(OBJECT_DIRECTION, Vec3(0, 0, 1)),
                    cam.GetVector(OBJECT_UP, Vec3(0, 1, 0)), cam.GetFloat(CAMERA_FOV, std::numbers::pi / 3),
                    width > 0 ? width : scene.width, height > 0 ? height : scene.height);
  setup->background = scene.background;
  setup->document = ToHandle(doc);
  setup->objects.clear();
  setup->shaders.clear();

  for (Node* node : doc->Objects()) {
    if (!node->IsEnabled()) continue;
    const Container& c = node->Data();
    Vec3 pos = c.GetVector(OBJECT_POSITION);
    RenderObject obj;
    switch (node->Type()) {
      case kTypeSphere:
        obj.shape = Shape::Sphere(pos, c.GetFloat(SPHERE_RADIUS, 100));
        break;
      case kTypeCube:
        obj.shape = Shape::Box(pos, c.GetVector(CUBE_SIZE, Vec3(200, 200, 200)));
        break;
      case kTypePlane:
        obj.shape = Shape::Plane(pos, c.GetVector(OBJECT_DIRECTION, Vec3(0, 0, 1)),
                                 c.GetVector(OBJECT_UP, Vec3(0, 1, 0)), c.GetFloat(PLANE_WIDTH),
                                 c.GetFloat(PLANE_DEPTH));
        break;
      default:
        continue;  // lights, cameras, nulls: nothing to see
    }
    obj.node = ToHandle(static_cast<const Node*>(node));
    // The material's colour channel: its shader, or its plain colour.
    if (Node* mat = c.GetLink(OBJECT_MATERIAL, doc, kTypeMaterial)) {
      obj.color = mat->Data().GetVector(MATERIAL_COLOR, Vec3(0.8, 0.8, 0.8));
      if (Node* sh = mat->Data().GetLink(MATERIAL_COLOR_SHADER, doc, kTypeShader)) obj.shader = ToHandle(sh);
    }
    setup->objects.push_back(obj);
  }
  for (Node* sh : doc->Shaders()) setup->shaders.push_back(ToHandle(sh));
}

}  // namespace host
