// session_support.h - shared pieces of the hardening tests: the shader's IDs, lights, a
// sample on a surface, and the fixture of a session with the module in a sandbox.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "c4d_host_abi.h"
#include "corvane_sample.h"
#include "core/console.h"
#include "core/customdata.h"
#include "core/ids.h"
#include "core/scene.h"
#include "core/shaders.h"
#include "core/vecmath.h"
#include "module_fixture.h"
#include "session/session.h"

namespace hardening {

using namespace ::corvanetest;  // IDs and Sample

inline constexpr int32_t kFlagsOnPositive = 3;

/// A light object of the given kind and colour above the origin.
inline host::Node* NewLight(host::Document* doc, int32_t kind, const host::Vec3& color, double brightness = 1) {
  host::Node* light = doc->CreateObject(host::kTypeLight, "light");
  light->Data().SetInt32(host::LIGHT_TYPE, kind);
  light->Data().SetVector(host::LIGHT_COLOR, color);
  light->Data().SetFloat(host::LIGHT_BRIGHTNESS, brightness);
  light->Data().SetVector(host::OBJECT_POSITION, host::Vec3(0, 0, 100));
  light->Data().SetVector(host::OBJECT_DIRECTION, host::Vec3(0, 0, -1));
  return light;
}

/// InitRender through the host for doc.
inline int32_t Prepare(host::Document* doc, host::Node* shader) {
  const C4DInitRenderStruct irs{host::ToHandle(doc), 0.0, 1, 0};
  return host::ShaderInitRender(shader, &irs);
}

/// A quiet console, a fresh Session and the module copied into a sandbox folder. The
/// session goes first in TearDown (documents, modules, then the host), before the sandbox.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Console().SetEcho(false);
    host::Console().Clear();
    host = std::make_unique<host::Session>();
    sandbox = std::make_unique<host::test::ModuleSandbox>(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  }
  void TearDown() override {
    host.reset();
    host::Console().SetEcho(true);
  }

  std::unique_ptr<host::Session> host;
  std::unique_ptr<host::test::ModuleSandbox> sandbox;
};

}  // namespace hardening
