// Many render threads evaluating one prepared instance at once, as the host's renderer
// does: every thread sees the same values, and nothing is allocated.
#include <atomic>
#include <thread>
#include <vector>

#include "core/memory.h"
#include "core/shaders.h"
#include "shader_fixture.h"

namespace shadertest {
namespace {

using host::Vec3;

TEST_F(ShaderTest, ManyThreadsEvaluateOnePreparedInstance) {
  host::Node* node = NewCorvane();
  SetLights(node, {{LightA(), 3}, {LightB(), 1}, {NewOmni({0.3, 0.6, 0.9}, {50, 0, 100}), 3}});
  node->Data().SetLink(kSubShader, NewColorShader({0.5, 0.5, 0.5}));
  node->Data().SetInt32(kOutput, 1);
  ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));

  // Reference values from one thread, on points spread over the surface.
  constexpr int kPoints = 64;
  std::vector<Vec3> expected(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    Sample sample;
    sample.vd.p = {i * 3.0 - 90.0, i * 1.5 - 45.0, 0};
    expected[i] = Eval(node, sample);
  }

  const int64_t allocations = host::GetMemoryStats().totalAllocations;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < kPoints; ++i) {
          Sample sample;
          sample.vd.p = {i * 3.0 - 90.0, i * 1.5 - 45.0, 0};
          sample.vd.thread = t;
          if (!(host::SampleShader(node, &sample.cd) == expected[i])) ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(0, mismatches.load());
  EXPECT_EQ(allocations, host::GetMemoryStats().totalAllocations);
  Release(node);
}

}  // namespace
}  // namespace shadertest
