// render_threads.h - one setup rendered on several thread counts: the renderer promises
// the same image, byte for byte, however many threads share the tiles.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/renderer.h"

namespace host::test {

/// One thread, two, and more than a small machine has cores.
inline constexpr int kThreadCounts[] = {1, 2, 8};

/// Renders setup with options once for each of kThreadCounts (options.threads is replaced)
/// and expects every image equal to the one-thread image. Answers each render's stats in
/// that order; a render that fails is reported as a test failure and leaves the list
/// shorter.
inline std::vector<RenderStats> ExpectSameImageOnAnyThreadCount(const RenderSetup& setup,
                                                                RenderOptions options) {
  std::vector<RenderStats> stats;
  RenderImage first;
  for (int threads : kThreadCounts) {
    options.threads = threads;
    RenderImage image;
    RenderStats renderStats;
    std::string message;
    if (!Render(setup, options, &image, &renderStats, &message)) {
      ADD_FAILURE() << "the render on " << threads << " thread(s) failed: " << message;
      return stats;
    }
    if (stats.empty()) {
      first = std::move(image);
    } else {
      EXPECT_EQ(first, image) << "1 vs " << threads << " threads";
    }
    stats.push_back(std::move(renderStats));
  }
  return stats;
}

}  // namespace host::test
