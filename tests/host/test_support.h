// test_support.h - a fixture that drives the host through its C tables, as a module does,
// and a tiny shader plug-in record for dispatch tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "core/console.h"
#include "core/host.h"
#include "core/suites.h"
#include "interface/host_interface.h"

namespace hosttest {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Console().SetEcho(false); }
  void TearDown() override { host::Console().SetEcho(true); }

  const C4DHostInterface* api = host::Interface();
  const C4DMemorySuite1* mem = api->memory;
  const C4DTextSuite1* text = api->text;
  const C4DContainerSuite1* cont = api->container;
  const C4DNodeSuite1* node = api->node;
  const C4DCustomDataSuite1* cd = api->customData;
  const C4DRenderSuite1* render = api->render;
  host::Host host;

  C4DString* Str(const char* s) { return text->StringFromUtf8(s, std::strlen(s)); }
  static C4DValue Long(int32_t v) {
    C4DValue r{};
    r.type = C4D_DTYPE_LONG;
    r.u.i32 = v;
    return r;
  }
  static C4DValue Real(double v) {
    C4DValue r{};
    r.type = C4D_DTYPE_REAL;
    r.u.f = v;
    return r;
  }
  static C4DValue Handle(int32_t type, const void* h) {
    C4DValue r{};
    r.type = type;
    r.u.handle = const_cast<void*>(h);
    return r;
  }
};

}  // namespace hosttest
