// Renderer tests that need no module: geometry, camera, image files, determinism and the
// data a channel shader receives.
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <numbers>
#include <set>
#include <vector>

#include "bitmap/bitmap.h"
#include "core/host.h"
#include "core/ids.h"
#include "render/image.h"
#include "render/renderer.h"
#include "render_threads.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "shader_record.h"

namespace host {
namespace {

TEST(ShapeTest, HitsAtClosedFormPoints) {
  RayD ray{Vec3(0, 0, 0), Vec3(0, 0, 1)};
  SurfaceHit hit;

  ASSERT_TRUE(Shape::Sphere(Vec3(0, 0, 10), 2).Intersect(ray, 1e-9, INFINITY, &hit));
  EXPECT_DOUBLE_EQ(8, hit.t);
  EXPECT_EQ(Vec3(0, 0, -1), hit.n);
  EXPECT_EQ(Vec3(0, 0, 8), hit.p);

  ASSERT_TRUE(Shape::Box(Vec3(0, 0, 10), Vec3(2, 4, 6)).Intersect(ray, 1e-9, INFINITY, &hit));
  EXPECT_DOUBLE_EQ(7, hit.t);
  EXPECT_EQ(Vec3(0, 0, -1), hit.n);
  EXPECT_EQ(5, hit.face) << "-Z face";

  // From inside a box the exit face is hit, its normal still pointing out.
  ASSERT_TRUE(Shape::Box(Vec3(0, 0, 0), Vec3(2, 2, 2)).Intersect(ray, 1e-9, INFINITY, &hit));
  EXPECT_DOUBLE_EQ(1, hit.t);
  EXPECT_EQ(Vec3(0, 0, 1), hit.n);

  // A bounded plane facing the ray: hit inside, missed outside its width.
  Shape plane = Shape::Plane(Vec3(0, 0, 5), Vec3(0, 0, -1), Vec3(0, 1, 0), 4 /* width */, 4 /* depth */);
  ASSERT_TRUE(plane.Intersect(ray, 1e-9, INFINITY, &hit));
  EXPECT_DOUBLE_EQ(5, hit.t);
  EXPECT_NEAR(0.5, hit.uvw.x, 1e-12);
  EXPECT_NEAR(0.5, hit.uvw.y, 1e-12);
  EXPECT_FALSE(plane.Intersect(RayD{Vec3(3, 0, 0), Vec3(0, 0, 1)}, 1e-9, INFINITY, &hit));
  Shape unbounded = Shape::Plane(Vec3(0, 0, 5), Vec3(0, 0, -1), Vec3(0, 1, 0), 0, 0);
  EXPECT_TRUE(unbounded.Intersect(RayD{Vec3(1e6, 0, 0), Vec3(0, 0, 1)}, 1e-9, INFINITY, &hit));

  // Nothing behind the origin, nothing beyond tMax, nothing parallel.
  EXPECT_FALSE(Shape::Sphere(Vec3(0, 0, -10), 2).Intersect(ray, 1e-9, INFINITY, &hit));
  EXPECT_FALSE(Shape::Sphere(Vec3(0, 0, 10), 2).Intersect(ray, 1e-9, 7.5, &hit));
  EXPECT_FALSE(Shape::Plane(Vec3(0, 1, 0), Vec3(0, 1, 0), Vec3(0, 0, 1), 0, 0)
                   .Intersect(RayD{Vec3(0, 0, 0), Vec3(1, 0, 0)}, 1e-9, INFINITY, &hit));
}

TEST(CameraTest, RaysSpanTheFieldOfView) {
  double fov = 90 * std::numbers::pi / 180;
  PinholeCamera cam(Vec3(1, 2, 3), Vec3(0, 0, 5), Vec3(0, 1, 0), fov, 200 /* width */, 100 /* height */);
  RayD centre = cam.GenerateRay(100, 50);
  EXPECT_EQ(Vec3(1, 2, 3), centre.o);
  EXPECT_NEAR(1, centre.d.z, 1e-12);
  // The right edge is 45 degrees off the axis (horizontal fov), to the +X side.
  RayD right = cam.GenerateRay(200, 50);
  EXPECT_NEAR(std::cos(fov / 2), right.d.z, 1e-12);
  EXPECT_GT(right.d.x, 0);
  // The top edge: tan(angle) = tan(45 deg) * 100/200, towards +Y.
  RayD top = cam.GenerateRay(100, 0);
  EXPECT_NEAR(0.5, top.d.y / top.d.z, 1e-12);
  // Up parallel to the view still gives a valid frame.
  PinholeCamera down(Vec3(0, 10, 0), Vec3(0, -1, 0), Vec3(0, 1, 0), fov, 10, 10);
  EXPECT_NEAR(1, Length(down.GenerateRay(3, 7).d), 1e-12);
}

TEST(SampleOffsetTest, StratifiedDeterministicAndInsideThePixel) {
  double dx, dy;
  SampleOffset(3, 4, 0, 1, &dx, &dy);
  EXPECT_EQ(0.5, dx);
  EXPECT_EQ(0.5, dy);
  std::set<std::pair<int, int>> cells;
  for (int i = 0; i < 16; ++i) {
    SampleOffset(7, 9, i, 16, &dx, &dy);
    ASSERT_TRUE(dx >= 0 && dx < 1 && dy >= 0 && dy < 1) << i;
    cells.insert({int(dx * 4), int(dy * 4)});
    double again_x, again_y;
    SampleOffset(7, 9, i, 16, &again_x, &again_y);
    EXPECT_EQ(dx, again_x);
    EXPECT_EQ(dy, again_y);
  }
  EXPECT_EQ(16u, cells.size()) << "one sample per cell of the 4x4 grid";
}

class ImageFileTest : public ::testing::Test {
 protected:
  std::string Temp(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("corvane_render_test_" + std::to_string(::getpid()) + name))
        .string();
  }
};

// Failure messages show vectors with every digit and images by size, range and first
// pixels, not as raw bytes.
TEST(PrintTest, VectorsAndImagesReadWellInFailureMessages) {
  EXPECT_EQ("(0.10000000000000001, 0.5, -inf)", ::testing::PrintToString(Vec3(0.1, 0.5, -INFINITY)));
  RenderImage img(5, 1);
  img.Set(1, 0, Vec3(0.25, 1, 0.5));
  EXPECT_EQ(
      "5 x 1 image, channels from (0, 0, 0) to (0.25, 1, 0.5), first pixels (0, 0, 0) (0.25, 1, 0.5) "
      "(0, 0, 0) (0, 0, 0) ...",
      ::testing::PrintToString(img));
  Image picture = Image::Blank(1, 2);
  picture.rgba[3] = 255;
  EXPECT_EQ("1 x 2 RGBA picture, first pixels (0, 0, 0, 255) (0, 0, 0, 0)",
            ::testing::PrintToString(picture));
}

TEST_F(ImageFileTest, PngHoldsRoundedClampedBytes) {
  RenderImage img(5, 1);
  img.Set(0, 0, Vec3(-0.5, 0, 0.001));
  img.Set(1, 0, Vec3(0.5, 0.25, 1.0 / 255));
  img.Set(2, 0, Vec3(2, 1, 0.999));
  img.Set(3, 0, Vec3(NAN, INFINITY, -INFINITY));
  img.Set(4, 0, Vec3(0.6, 0.3333333333333333, 0.0019));
  std::string path = Temp(".png"), error;
  ASSERT_TRUE(WriteImage(img, path, &error)) << error;
  Image decoded;
  ASSERT_EQ(C4D_IMAGERESULT_OK, DecodeImageFile(path, &decoded));
  ASSERT_EQ(5, decoded.width);
  const uint8_t expected[5][3] = {{0, 0, 0}, {128, 64, 1}, {255, 255, 255}, {0, 255, 0}, {153, 85, 0}};
  for (int x = 0; x < 5; ++x)
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(expected[x][c], decoded.Pixel(x, 0)[c]) << "pixel " << x << " channel " << c;
  std::filesystem::remove(path);
}

TEST_F(ImageFileTest, ExrHoldsUnclampedFloats) {
  RenderImage img(2, 2);
  img.Set(0, 0, Vec3(-1.5, 0.25, 7));
  img.Set(1, 1, Vec3(1e6, 0.1, 2));
  std::string path = Temp(".exr"), error;
  ASSERT_TRUE(WriteImage(img, path, &error)) << error;
  Imf::InputFile file(path.c_str());
  std::vector<float> r(4), g(4), b(4);
  Imf::FrameBuffer fb;
  fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(r.data()), sizeof(float), 2 * sizeof(float)));
  fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(g.data()), sizeof(float), 2 * sizeof(float)));
  fb.insert("B", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(b.data()), sizeof(float), 2 * sizeof(float)));
  file.setFrameBuffer(fb);
  file.readPixels(0, 1);
  EXPECT_EQ(-1.5f, r[0]);
  EXPECT_EQ(0.25f, g[0]);
  EXPECT_EQ(7.0f, b[0]);
  EXPECT_EQ(1e6f, r[3]);
  EXPECT_EQ(0.1f, g[3]);
  EXPECT_EQ(0.0f, r[1]);
  std::filesystem::remove(path);
}

TEST_F(ImageFileTest, UnknownSuffixOrUnwritablePathFails) {
  RenderImage img(1, 1);
  std::string error;
  EXPECT_FALSE(WriteImage(img, Temp(".tif"), &error));
  EXPECT_NE(std::string::npos, error.find("unknown image type"));
  EXPECT_FALSE(WriteImage(img, "/nonexistent-folder/x.png", &error));
  EXPECT_NE(std::string::npos, error.find("/nonexistent-folder/x.png"));
  EXPECT_FALSE(WriteImage(img, "/nonexistent-folder/x.exr", &error));
  EXPECT_NE(std::string::npos, error.find("/nonexistent-folder/x.exr"));
}

// A scene of built-in shaders only (checkerboard, noise, plain colour), seen at an angle.
const char* kBuiltinScene = R"({
  "camera": {"position": [0, 250, -700], "target": [0, 60, 0], "fov": 50, "resolution": [61, 37]},
  "render": {"background": [0.1, 0.2, 0.3]},
  "objects": [
    {"name": "Floor", "type": "plane", "direction": [0, 1, 0], "up": [0, 0, 1], "width": 1200, "depth": 1200, "material": "FloorMat"},
    {"name": "Ball", "type": "sphere", "position": [-150, 100, 0], "radius": 100, "material": "BallMat"},
    {"name": "Crate", "type": "box", "position": [170, 80, 50], "size": [160, 160, 160], "material": "CrateMat"}
  ],
  "materials": [
    {"name": "FloorMat", "shader": "Checker"},
    {"name": "BallMat", "shader": "Noise"},
    {"name": "CrateMat", "color": [0.9, 0.4, 0.1]}
  ],
  "shaders": [
    {"name": "Checker", "plugin": "checkerboard"},
    {"name": "Noise", "plugin": "noise", "scale": 8.0}
  ]
})";

TEST(RenderTest, SameImageForAnyThreadCount) {
  Host host;
  Scene scene;
  SceneError error;
  ASSERT_TRUE(LoadSceneText(host, kBuiltinScene, "builtin.json", &scene, &error)) << error.ToString();
  RenderSetup setup;
  BuildRenderSetup(scene, 0, 0, &setup);
  RenderOptions options;
  options.samples = 4;
  options.tileSize = 8;  // many tiles, so threads really interleave
  const std::vector<RenderStats> stats = test::ExpectSameImageOnAnyThreadCount(setup, options);
  ASSERT_EQ(std::size(test::kThreadCounts), stats.size());
  for (size_t i = 0; i < stats.size(); ++i) {
    EXPECT_EQ(test::kThreadCounts[i], stats[i].threads);
    EXPECT_EQ(int64_t(61) * 37 * 4, stats[i].cameraSamples);
  }
}

TEST(RenderTest, MissesShowTheBackgroundAndPlainMaterialsTheirColour) {
  Host host;
  Scene scene;
  SceneError error;
  ASSERT_TRUE(LoadSceneText(host, kBuiltinScene, "builtin.json", &scene, &error)) << error.ToString();
  RenderSetup setup;
  BuildRenderSetup(scene, 0, 0, &setup);
  RenderImage image;
  RenderStats stats;
  std::string message;
  ASSERT_TRUE(Render(setup, RenderOptions{}, &image, &stats, &message)) << message;
  EXPECT_EQ(Vec3(0.1, 0.2, 0.3), image.Get(30, 0)) << "sky above the floor's far edge";
  // The crate's centre projects right of the image centre.
  bool sawCrate = false;
  for (int x = 30; x < 61; ++x) sawCrate |= image.Get(x, 18) == Vec3(0.9, 0.4, 0.1);
  EXPECT_TRUE(sawCrate);
  // Only shaded objects count as shader samples.
  int64_t plain = 0;
  for (const Vec3& p : image.Pixels()) plain += (p == Vec3(0.9, 0.4, 0.1) || p == Vec3(0.1, 0.2, 0.3));
  EXPECT_EQ(int64_t(61) * 37 - plain, stats.shaderSamples);
}

TEST(RenderTest, RejectsUnusableOptions) {
  RenderSetup setup;
  RenderImage image;
  std::string error;
  RenderOptions options;
  options.samples = 0;
  EXPECT_FALSE(Render(setup, options, &image, nullptr, &error));
  EXPECT_NE(std::string::npos, error.find("samples"));
  setup.camera = PinholeCamera(Vec3(), Vec3(0, 0, 1), Vec3(0, 1, 0), 1, 0 /* width */, 10);
  EXPECT_FALSE(Render(setup, RenderOptions{}, &image, nullptr, &error));
}

// ---- A probe plug-in shader that records what the renderer hands it ---------------------

struct Probe {
  std::atomic<int> initRenders{0}, freeRenders{0}, outputs{0}, outputsOutsideRender{0}, bad{0};
  std::atomic<int> maxThread{-1};
  std::string firstProblem;
  std::atomic<bool> rendering{false};
  const C4DNode* expectedObject = nullptr;
};
Probe* gProbe = nullptr;
C4DNodeData* ProbeAlloc() { return reinterpret_cast<C4DNodeData*>(gProbe); }
void ProbeFree(C4DNodeData*) {}
bool ProbeInit(C4DNodeData*, C4DNode*) { return true; }
int32_t ProbeInitRender(C4DNodeData*, C4DNode*, const C4DInitRenderStruct* irs) {
  ++gProbe->initRenders;
  if (!irs || !irs->doc) ++gProbe->bad;
  gProbe->rendering = true;
  return C4D_INITRENDERRESULT_OK;
}
void ProbeFreeRender(C4DNodeData*, C4DNode*) {
  ++gProbe->freeRenders;
  gProbe->rendering = false;
}
void ProbeOutput(const C4DNodeData*, C4DNode*, C4DChannelData* cd, C4DVector* out) {
  ++gProbe->outputs;
  if (!gProbe->rendering) ++gProbe->outputsOutsideRender;
  const C4DVolumeData* vd = cd->vd;
  // The plane z = 10 faces the camera at the origin: every hit has these properties.
  bool ok = vd && vd->ray && std::abs(vd->p.z - 10) < 1e-9 && vd->orign.z == -1 && vd->n.z == -1 &&
            vd->bumpn.z == -1 && std::abs(Length(Vec3(vd->ray->v)) - 1) < 1e-12 && vd->ray->p.z == 0 &&
            std::abs(vd->dist * vd->ray->v.z - 10) < 1e-9 && vd->lhit.object == gProbe->expectedObject &&
            vd->thread >= 0 && cd->p.x == vd->uvw.x && cd->p.y == vd->uvw.y;
  if (!ok) ++gProbe->bad;
  int t = vd ? vd->thread : -1;
  for (int m = gProbe->maxThread; t > m && !gProbe->maxThread.compare_exchange_weak(m, t);) {
  }
  *out = C4DVector{vd ? vd->uvw.x : 0, vd ? vd->uvw.y : 0, 0};
}

TEST(RenderTest, ChannelShaderGetsTheHitBetweenInitRenderAndFreeRender) {
  Probe probe;
  gProbe = &probe;
  Host host;
  ASSERT_TRUE(test::RegisterTestShader(host, 999001, "Probe",
                                       {.Alloc = ProbeAlloc,
                                        .Free = ProbeFree,
                                        .Init = ProbeInit,
                                        .InitRender = ProbeInitRender,
                                        .FreeRender = ProbeFreeRender,
                                        .Output = ProbeOutput}))
      << host.Plugins().LastError();

  Scene scene;
  SceneError error;
  ASSERT_TRUE(LoadSceneText(host, R"({
    "camera": {"position": [0, 0, 0], "direction": [0, 0, 1], "fov": 60, "resolution": [16, 12]},
    "objects": [{"name": "Wall", "type": "plane", "position": [0, 0, 10], "direction": [0, 0, -1],
                 "width": 1000, "depth": 1000, "material": "M"}],
    "materials": [{"name": "M", "shader": "P"}],
    "shaders": [{"name": "P", "plugin": 999001}]
  })",
                            "probe.json", &scene, &error))
      << error.ToString();
  probe.expectedObject = ToHandle(static_cast<const Node*>(scene.document->FindNode("Wall")));

  RenderSetup setup;
  BuildRenderSetup(scene, 0, 0, &setup);
  RenderImage image;
  RenderStats stats;
  std::string message;
  RenderOptions options;
  options.threads = 2;
  options.tileSize = 4;
  ASSERT_TRUE(Render(setup, options, &image, &stats, &message)) << message;
  EXPECT_EQ(1, probe.initRenders);
  EXPECT_EQ(1, probe.freeRenders);
  EXPECT_EQ(16 * 12, probe.outputs);
  EXPECT_EQ(16 * 12, stats.shaderSamples);
  EXPECT_EQ(0, probe.outputsOutsideRender);
  EXPECT_EQ(0, probe.bad);
  EXPECT_LT(probe.maxThread, 64);
  // The wall faces -Z, so its local +X (u) points to the camera's left; v grows upwards.
  EXPECT_GT(image.Get(0, 6).x, image.Get(15, 6).x);
  EXPECT_GT(image.Get(8, 0).y, image.Get(8, 11).y);
  host.DestroyDocuments();
  gProbe = nullptr;
}

}  // namespace
}  // namespace host
