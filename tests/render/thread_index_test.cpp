// What the renderer promises a shader about threads and preparation: the thread index in
// the volume data is always below the thread count announced to InitRender (a shader keeps
// per-thread scratch indexed by it), and a shader whose InitRender fails stops the render
// before any sample, with every shader that was asked to prepare released again.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>

#if !defined(__SANITIZE_THREAD__)
#include <tbb/task_arena.h>
#endif

#include "core/host.h"
#include "render/renderer.h"
#include "scene/scene_file.h"
#include "scene/scene_render.h"
#include "shader_record.h"

namespace host {
namespace {

constexpr int32_t kScratchShader = 999101;

/// A plug-in shader that keeps one scratch counter per render thread, sized by the thread
/// count InitRender announces and indexed by the sample's thread index.
struct ScratchShader {
  int32_t initResult = C4D_INITRENDERRESULT_OK;  ///< what InitRender answers
  int threadCount = 0;
  std::unique_ptr<int64_t[]> scratch;
  std::atomic<int64_t> outputs{0}, outOfRange{0};
  int initRenders = 0, freeRenders = 0;

  int64_t ScratchSum() const {
    int64_t sum = 0;
    for (int i = 0; i < threadCount; ++i) sum += scratch[i];
    return sum;
  }
};

ScratchShader* Of(C4DNodeData* data) { return reinterpret_cast<ScratchShader*>(data); }

C4DNodeData* ScratchAlloc() { return reinterpret_cast<C4DNodeData*>(new ScratchShader); }
void ScratchFree(C4DNodeData* data) { delete Of(data); }
int32_t ScratchInitRender(C4DNodeData* data, C4DNode*, const C4DInitRenderStruct* irs) {
  ScratchShader* s = Of(data);
  ++s->initRenders;
  s->threadCount = irs->threadCount;
  s->scratch.reset(new int64_t[static_cast<size_t>(s->threadCount)]());
  return s->initResult;
}
void ScratchFreeRender(C4DNodeData* data, C4DNode*) { ++Of(data)->freeRenders; }
void ScratchOutput(const C4DNodeData* data, C4DNode*, C4DChannelData* cd, C4DVector* out) {
  ScratchShader* s = Of(const_cast<C4DNodeData*>(data));
  ++s->outputs;
  const int thread = cd->vd->thread;
  if (thread < 0 || thread >= s->threadCount) {
    ++s->outOfRange;
  } else {
    ++s->scratch[thread];  // each thread owns its slot: no other thread writes it
  }
  *out = C4DVector{0.5, 0.5, 0.5};
}

/// A host with the scratch shader registered and a scene of three walls side by side,
/// each shaded by its own scratch shader ("A", "B", "C").
class ThreadIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::RegisterTestShader(host, kScratchShader, "Scratch",
                                         {.Alloc = ScratchAlloc,
                                          .Free = ScratchFree,
                                          .InitRender = ScratchInitRender,
                                          .FreeRender = ScratchFreeRender,
                                          .Output = ScratchOutput}))
        << host.Plugins().LastError();
    SceneError error;
    ASSERT_TRUE(LoadSceneText(host, R"({
      "camera": {"position": [0, 0, 0], "direction": [0, 0, 1], "fov": 60, "resolution": [48, 40]},
      "objects": [
        {"name": "Left", "type": "box", "position": [-8, 0, 20], "size": [8, 40, 1], "material": "MA"},
        {"name": "Middle", "type": "box", "position": [0, 0, 20], "size": [8, 40, 1], "material": "MB"},
        {"name": "Right", "type": "box", "position": [8, 0, 20], "size": [8, 40, 1], "material": "MC"}],
      "materials": [{"name": "MA", "shader": "A"}, {"name": "MB", "shader": "B"}, {"name": "MC", "shader": "C"}],
      "shaders": [{"name": "A", "plugin": 999101}, {"name": "B", "plugin": 999101}, {"name": "C", "plugin": 999101}]
    })",
                              "scratch.json", &scene, &error))
        << error.ToString();
    BuildRenderSetup(scene, 0, 0, &setup);
    ASSERT_EQ(3u, setup.shaders.size());
  }
  void TearDown() override { host.DestroyDocuments(); }

  ScratchShader& Shader(const char* name) {
    return *Of(scene.document->FindNode(name, NodeKind::Shader)->Instance());
  }

  /// Renders with `threads` threads in 4-pixel tiles and checks every shader's indices.
  void RenderAndCheck(int threads) {
    RenderOptions options;
    options.threads = threads;
    options.tileSize = 4;  // 120 tiles: every thread gets some
    RenderImage image;
    RenderStats stats;
    std::string message;
    ASSERT_TRUE(Render(setup, options, &image, &stats, &message)) << message;
    int64_t outputs = 0;
    for (const char* name : {"A", "B", "C"}) {
      ScratchShader& s = Shader(name);
      EXPECT_EQ(stats.threads, s.threadCount) << name << " with --threads " << threads;
      EXPECT_EQ(0, s.outOfRange) << name << ": thread indices at or above " << s.threadCount;
      EXPECT_EQ(s.outputs, s.ScratchSum()) << name << " with --threads " << threads;
      outputs += s.outputs.exchange(0);
    }
    EXPECT_EQ(stats.shaderSamples, outputs);
    EXPECT_GT(outputs, 0);
  }

  Host host;
  Scene scene;
  RenderSetup setup;
};

TEST_F(ThreadIndexTest, ThreadIndicesStayBelowTheAnnouncedCount) {
  for (int threads : {0 /* all cores */, 1, 2, 3, 5, 8, 33}) RenderAndCheck(threads);
}

#if !defined(__SANITIZE_THREAD__)
// A render started from a worker of another oneTBB arena: that worker's slot there (here
// 1) is not a thread index of the render's own.
TEST_F(ThreadIndexTest, ARenderStartedOnAWorkerOfAnotherArenaUsesItsOwnIndices) {
  tbb::task_arena outer(2);
  std::promise<void> done;
  outer.enqueue([&] {
    RenderAndCheck(1);
    done.set_value();
  });
  done.get_future().wait();
}
#endif

TEST_F(ThreadIndexTest, AFailedPreparationStopsTheRenderAndReleasesWhatWasAsked) {
  Shader("B").initResult = C4D_INITRENDERRESULT_OUTOFMEMORY;
  RenderImage image;
  RenderStats stats;
  std::string message;
  EXPECT_FALSE(Render(setup, RenderOptions{}, &image, &stats, &message));
  EXPECT_TRUE(stats.preparationFailed);
  EXPECT_EQ(0, stats.shaderSamples);
  EXPECT_NE(std::string::npos, message.find("shader \"B\" (plug-in Scratch, 999101)")) << message;
  EXPECT_NE(std::string::npos, message.find("out of memory")) << message;

  EXPECT_EQ(1, Shader("A").initRenders);
  EXPECT_EQ(1, Shader("B").initRenders);
  EXPECT_EQ(0, Shader("C").initRenders) << "nothing is prepared after the failure";
  EXPECT_EQ(1, Shader("A").freeRenders);
  EXPECT_EQ(1, Shader("B").freeRenders) << "the failing shader may have prepared a part";
  EXPECT_EQ(0, Shader("C").freeRenders);
  for (const char* name : {"A", "B", "C"}) EXPECT_EQ(0, Shader(name).outputs) << name;

  // Bad options are still bad input, not a failed preparation.
  RenderOptions bad;
  bad.samples = 0;
  EXPECT_FALSE(Render(setup, bad, &image, &stats, &message));
  EXPECT_FALSE(stats.preparationFailed);
}

}  // namespace
}  // namespace host
