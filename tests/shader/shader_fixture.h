// shader_fixture.h - a host with the built Corvane module loaded, a document, and helpers
// to build lights, light lists and samples the way the renderer does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/ids.h"
#include "core/vecmath.h"
#include "session/session.h"
#include "corvane_sample.h"
#include "module_fixture.h"

namespace shadertest {

using namespace ::corvanetest;  // IDs and Sample

class ShaderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// A new Corvane shader node in doc (Init has run).
  host::Node* NewCorvane(const std::string& name = "Corvane");
  /// An omni light without falloff at position with the colour (brightness 1).
  host::Node* NewOmni(const host::Vec3& color, const host::Vec3& position = {0, 0, 100});
  /// A solid-colour built-in shader.
  host::Node* NewColorShader(const host::Vec3& color);
  /// Stores a light list of (light, flags) entries at the shader's XCORVANE_LIGHTS.
  static void SetLights(host::Node* shader, std::initializer_list<std::pair<host::Node*, int32_t>> entries);

  /// InitRender through the host with this document.
  int32_t Prepare(host::Node* shader);
  void Release(host::Node* shader);
  /// The shader's colour for the default sample (or the given one).
  host::Vec3 Eval(host::Node* shader);
  host::Vec3 Eval(host::Node* shader, Sample& sample);
  /// Prepare, evaluate the default sample, release.
  host::Vec3 Render(host::Node* shader);

  // Light A: positive, colour (0.75, 0.5, 0.25), average 0.5; light B: negative,
  // colour (0.25, 0.25, 0.25), average 0.25.
  host::Node* LightA() { return NewOmni({0.75, 0.5, 0.25}); }
  host::Node* LightB() { return NewOmni({0.25, 0.25, 0.25}); }

  std::unique_ptr<host::Session> host;
  std::unique_ptr<host::test::ModuleSandbox> sandbox;
  host::Module* module = nullptr;  // owned by the session
  host::Document* doc = nullptr;
};

/// Passes when all three components of actual equal expected exactly.
inline ::testing::AssertionResult AssertGrey(const char* expectedExpr, const char* actualExpr, double expected,
                                             const host::Vec3& actual) {
  if (actual.x == expected && actual.y == expected && actual.z == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualExpr << " is (" << actual.x << ", " << actual.y << ", " << actual.z
                                       << "), expected grey " << expectedExpr << " = " << expected;
}
#define EXPECT_GREY(expected, actual) EXPECT_PRED_FORMAT2(::shadertest::AssertGrey, expected, actual)

}  // namespace shadertest
