#include "render/renderer.h"

#if !defined(CORVANE_PLAIN_THREADS)
#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "core/plugins.h"
#include "core/scene.h"
#include "core/suites.h"

namespace host {

std::string RenderStats::ToString() const {
  char buf[256];
  double rate = seconds > 0 ? double(shaderSamples) / seconds : 0.0;
  std::snprintf(buf, sizeof(buf), "%lld samples, %.3f s, %.0f samples/s (%d threads)",
                static_cast<long long>(shaderSamples), seconds, rate, threads);
  return buf;
}

// A 64-bit mix (splitmix64 finaliser): the same input always gives the same jitter.
static uint64_t Mix(uint64_t z) {
  z += 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

void SampleOffset(int x, int y, int i, int n, double* dx, double* dy) {
  if (n <= 1) {
    *dx = *dy = 0.5;
    return;
  }
  int nx = int(std::ceil(std::sqrt(double(n))));
  int ny = (n + nx - 1) / nx;
  uint64_t h = Mix((uint64_t(uint32_t(x)) << 32) ^ uint64_t(uint32_t(y)) ^ (uint64_t(uint32_t(i)) << 48));
  double jx = double(h >> 40) / double(1 << 24), jy = double((h >> 16) & 0xffffff) / double(1 << 24);
  *dx = (double(i % nx) + jx) / nx;
  *dy = (double(i / nx) + jy) / ny;
}

Vec3 TraceCameraRay(const RenderSetup& setup, const RayD& ray, int thread, int64_t* shaderSamples,
                    int64_t* nonFinite, C4DNode** nonFiniteShader) {
  // Nearest hit over all objects.
  const RenderObject* nearest = nullptr;
  SurfaceHit hit, candidate;
  double tMax = std::numeric_limits<double>::infinity();
  for (const RenderObject& obj : setup.objects) {
    if (obj.shape.Intersect(ray, 1e-9, tMax, &candidate)) {
      hit = candidate;
      tMax = hit.t;
      nearest = &obj;
    }
  }
  if (!nearest) return setup.background;
  if (!nearest->shader) return nearest->color;

  // Fill the sample's volume and channel data as the host's renderer does.
  C4DRay eyeRay{};
  eyeRay.p = ray.o;
  eyeRay.v = ray.d;
  eyeRay.ior = 1.0;
  C4DVolumeData vd{};
  vd.p = hit.p;
  vd.n = hit.phong;
  vd.bumpn = hit.phong;  // no bump mapping: the bump normal is the phong normal
  vd.orign = hit.n;
  vd.uvw = hit.uvw;
  vd.ray = &eyeRay;
  vd.lhit.polygon = hit.face;
  vd.lhit.object = nearest->node;
  vd.dist = hit.t;
  vd.thread = thread;
  C4DChannelData cd{};
  cd.p = hit.uvw;
  cd.n = hit.phong;
  cd.vd = &vd;

  C4DVector out{0, 0, 0};
  RenderSuite1()->SampleShader(nearest->shader, &cd, &out);
  ++*shaderSamples;
  Vec3 c = out;
  // Images hold 32-bit floats: a double beyond their range would be written as infinite.
  auto storable = [](double v) { return std::isfinite(v) && std::fabs(v) <= double(FLT_MAX); };
  if (!storable(c.x) || !storable(c.y) || !storable(c.z)) {
    ++*nonFinite;
    if (nonFiniteShader && !*nonFiniteShader) *nonFiniteShader = nearest->shader;
    return Vec3(0, 0, 0);
  }
  return c;
}

namespace {

/// Runs body(tile, thread) for every tile in [0, count) on up to `threads` threads, with
/// `thread` always in [0, threads): shaders index per-thread scratch with it.
/// Normally oneTBB's scheduler does the work, in an arena of its own with exactly
/// `threads` slots: a thread's index is its slot there, whichever thread calls Render (a
/// worker of another arena included) and however many cores the machine has. Plain
/// std::threads taking tiles from an atomic counter do it where oneTBB is not used: in the
/// Windows build (no oneTBB there) and in the thread-sanitizer build, which cannot see the
/// synchronisation inside the (uninstrumented) TBB library and would report its internal
/// hand-overs as races.
template <typename Body>
void ParallelForTiles(int count, int threads, const Body& body) {
#if defined(CORVANE_PLAIN_THREADS)
  std::atomic<int> next{0};
  auto worker = [&](int thread) {
    for (int t = next++; t < count; t = next++) body(t, thread);
  };
  std::vector<std::thread> pool;
  for (int i = 1; i < std::max(1, threads); ++i) pool.emplace_back(worker, i);
  worker(0);
  for (std::thread& th : pool) th.join();
#else
  tbb::task_arena arena(std::max(1, threads));
  arena.execute([&] {
    tbb::parallel_for(tbb::blocked_range<int>(0, count, 1), [&](const tbb::blocked_range<int>& range) {
      int thread = tbb::this_task_arena::current_thread_index();
      for (int t = range.begin(); t != range.end(); ++t) body(t, thread);
    });
  });
#endif
}

/// "shader "name" (plug-in Name, 1000001)" for messages.
std::string DescribeShader(C4DNode* handle) {
  const Node* node = FromHandle(handle);
  std::string text = "shader \"" + node->Name() + "\"";
  if (const PluginInfo* plugin = node->Plugin())
    text += " (plug-in " + plugin->name + ", " + std::to_string(plugin->id) + ")";
  return text;
}

std::string DescribeInitRenderResult(int32_t result) {
  switch (result) {
    case C4D_INITRENDERRESULT_OUTOFMEMORY:
      return "out of memory";
    case C4D_INITRENDERRESULT_ASSETMISSING:
      return "an asset is missing";
    case C4D_INITRENDERRESULT_USERBREAK:
      return "stopped by the user";
    default:
      return "error " + std::to_string(result);
  }
}

}  // namespace

bool PrepareShaders(const RenderSetup& setup, const C4DInitRenderStruct& irs, size_t* asked, std::string* error) {
  *asked = 0;
  int32_t prepared = C4D_INITRENDERRESULT_OK;
  while (*asked < setup.shaders.size() && prepared == C4D_INITRENDERRESULT_OK)
    prepared = RenderSuite1()->ShaderInitRender(setup.shaders[(*asked)++], &irs);
  if (prepared == C4D_INITRENDERRESULT_OK) return true;
  if (error)
    *error = DescribeShader(setup.shaders[*asked - 1]) + " could not prepare for rendering: " +
             DescribeInitRenderResult(prepared);
  return false;
}

void ReleaseShaders(const RenderSetup& setup, size_t asked) {
  for (size_t i = std::min(asked, setup.shaders.size()); i-- > 0;) RenderSuite1()->ShaderFreeRender(setup.shaders[i]);
}

bool Render(const RenderSetup& setup, const RenderOptions& options, RenderImage* image, RenderStats* stats,
            std::string* error) {
  if (stats) *stats = RenderStats{};
  const PinholeCamera& cam = setup.camera;
  if (cam.Width() <= 0 || cam.Height() <= 0 || cam.Width() > 65536 || cam.Height() > 65536) {
    if (error)
      *error = "image size " + std::to_string(cam.Width()) + "x" + std::to_string(cam.Height()) +
               " is out of range (1 to 65536)";
    return false;
  }
  if (options.samples < 1 || options.samples > 4096) {
    if (error)
      *error = "samples per pixel must be between 1 and 4096, not " + std::to_string(options.samples);
    return false;
  }
  if (options.threads < 0) {
    if (error) *error = "thread count must not be negative";
    return false;
  }
#if defined(CORVANE_PLAIN_THREADS)
  int threads =
      options.threads > 0 ? options.threads : int(std::max(1u, std::thread::hardware_concurrency()));
#else
  int threads = options.threads > 0 ? options.threads : tbb::info::default_concurrency();
  std::unique_ptr<tbb::global_control> limit;
  if (options.threads > 0)
    limit = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                  size_t(options.threads));
#endif

  *image = RenderImage(cam.Width(), cam.Height());
  int tile = options.tileSize > 0 ? options.tileSize : 32;
  int tilesX = (cam.Width() + tile - 1) / tile, tilesY = (cam.Height() + tile - 1) / tile;
  int tileCount = tilesX * tilesY;
  std::atomic<int64_t> shaderSamples{0}, nonFinite{0};
  std::atomic<C4DNode*> nonFiniteShader{nullptr};  // the first shader with an unstorable result
  std::atomic<int> tilesDone{0};

  auto start = std::chrono::steady_clock::now();
  C4DInitRenderStruct irs{};
  irs.doc = setup.document;
  irs.threadCount = threads;

  // Prepare the shaders. A refusal ends the render before the first sample; the shaders
  // asked so far, the refusing one included, are released as after a render.
  size_t asked = 0;
  std::string refusal;
  if (!PrepareShaders(setup, irs, &asked, &refusal)) {
    ReleaseShaders(setup, asked);
    if (error) *error = refusal + "; nothing was rendered";
    if (stats) {
      stats->threads = threads;
      stats->preparationFailed = true;
    }
    return false;
  }

  // Render image tiles
  ParallelForTiles(tileCount, threads, [&](int t, int thread) {
    int x0 = (t % tilesX) * tile, y0 = (t / tilesX) * tile;
    int x1 = std::min(x0 + tile, cam.Width()), y1 = std::min(y0 + tile, cam.Height());
    int64_t localSamples = 0, localNonFinite = 0;
    C4DNode* localOffender = nullptr;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        // Average the pixel's samples in a fixed order.
        Vec3 sum;
        for (int i = 0; i < options.samples; ++i) {
          double dx, dy;
          SampleOffset(x, y, i, options.samples, &dx, &dy);
          sum = sum + TraceCameraRay(setup, cam.GenerateRay(x + dx, y + dy), thread, &localSamples,
                                     &localNonFinite, &localOffender);
        }
        image->Set(x, y, options.samples == 1 ? sum : sum * (1.0 / double(options.samples)));
      }
    }
    shaderSamples += localSamples;
    nonFinite += localNonFinite;
    C4DNode* none = nullptr;
    if (localOffender) nonFiniteShader.compare_exchange_strong(none, localOffender);
    int done = ++tilesDone;
    if (options.progress) options.progress(done, tileCount);
  });

  ReleaseShaders(setup, setup.shaders.size());
  auto end = std::chrono::steady_clock::now();

  if (stats) {
    stats->cameraSamples = int64_t(cam.Width()) * cam.Height() * options.samples;
    stats->shaderSamples = shaderSamples;
    stats->nonFinite = nonFinite;
    if (C4DNode* offender = nonFiniteShader.load()) stats->nonFiniteShader = DescribeShader(offender);
    stats->seconds = std::chrono::duration<double>(end - start).count();
    stats->threads = threads;
  }
  return true;
}

}  // namespace host
