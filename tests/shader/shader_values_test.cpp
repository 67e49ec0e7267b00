// 64-bit results of the shader over many samples and settings, written out so that the
// Linux, Windows and macOS modules can be compared value for value (tests/cross). Lights
// are omni lights with and without falloff and distant lights (the host's arithmetic for
// them is plain IEEE arithmetic and square roots, the same on every host build); samples
// have varied points and normals, some facing away from some lights.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/customdata.h"
#include "shader_fixture.h"

namespace shadertest {
namespace {

/// A small fixed generator: the same numbers on every platform.
class Numbers {
 public:
  double Next(double lo, double hi) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return lo + (hi - lo) * double(state >> 11) * (1.0 / 9007199254740992.0);
  }

 private:
  uint64_t state = 0x2545f4914f6cdd1dull;
};

void Append(std::string* out, const host::Vec3& v) {
  char line[128];
  std::snprintf(line, sizeof line, "%a %a %a\n", v.x, v.y, v.z);
  *out += line;
}

TEST_F(ShaderTest, ShaderValuesOverSettingsAndSamples) {
  Numbers numbers;
  std::vector<std::pair<host::Node*, int32_t>> lights;
  // Each number is drawn in a statement of its own: the order in which a call's arguments
  // are evaluated is the compiler's choice (GCC's differs between x86-64 and aarch64), and
  // every build must draw the same inputs. Braced lists are evaluated in order.
  for (int i = 0; i < 6; ++i) {
    const host::Vec3 color{numbers.Next(0, 1.5), numbers.Next(0, 1.5), numbers.Next(0, 1.5)};
    const host::Vec3 position{numbers.Next(-200, 200), numbers.Next(-200, 200), numbers.Next(-50, 300)};
    host::Node* light = NewOmni(color, position);
    light->Data().SetInt32(host::LIGHT_TYPE, i == 5 ? host::LIGHT_TYPE_DISTANT : host::LIGHT_TYPE_OMNI);
    light->Data().SetVector(host::OBJECT_DIRECTION, {0.3, -0.2, -1});
    light->Data().SetInt32(host::LIGHT_FALLOFF, i % 3);  // none, inverse square, linear
    light->Data().SetFloat(host::LIGHT_FALLOFF_RADIUS, numbers.Next(100, 400));
    light->Data().SetFloat(host::LIGHT_BRIGHTNESS, numbers.Next(0.02, 0.3));
    lights.emplace_back(light, i % 3 == 2 ? 1 : 3);  // every third light subtracts
  }
  host::Node* sub = NewColorShader({0.9, 0.45, 0.3});

  std::string values;
  int settings = 0;
  for (int mix = 0; mix <= 3; ++mix) {
    for (int invert = 0; invert <= 1; ++invert) {
      for (int output = 0; output <= 1; ++output) {
        for (int withSub = 0; withSub <= 1; ++withSub) {
          host::Node* node = NewCorvane();
          host::InExclude list;
          for (const auto& [light, flags] : lights) list.Append(light, flags);
          node->Data().Set(kLights, host::Value::FromInExclude(list));
          node->Data().SetInt32(kMixMode, mix);
          node->Data().SetInt32(kInvert, invert);
          node->Data().SetInt32(kOutput, output);
          if (withSub) node->Data().SetLink(kSubShader, sub);
          ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
          for (int s = 0; s < 64; ++s) {
            const double x = numbers.Next(-150, 150);
            const double y = numbers.Next(-150, 150);
            Sample sample(x, y);
            host::Vec3 n =
                host::Normalize(host::Vec3{numbers.Next(-1, 1), numbers.Next(-1, 1), numbers.Next(-0.2, 1)});
            sample.vd.orign = sample.vd.n = sample.vd.bumpn = {n.x, n.y, n.z};
            const host::Vec3 v = Eval(node, sample);
            ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
            Append(&values, v);
          }
          Release(node);
          ++settings;
        }
      }
    }
  }
  EXPECT_EQ(settings, 32);
  // Grazing light: normals at right angles to a distant light's direction, up to rounding,
  // so that whether the light faces the surface hangs on the last bits of the facing test.
  // A multiply fused with an add decides some of these differently.
  {
    const host::Vec3 direction{0.3, -0.2, -1};
    host::Node* grazing = NewOmni({1, 1, 1});
    grazing->Data().SetInt32(host::LIGHT_TYPE, host::LIGHT_TYPE_DISTANT);
    grazing->Data().SetVector(host::OBJECT_DIRECTION, direction);
    host::Node* node = NewCorvane();
    host::InExclude list;
    list.Append(grazing, 3);
    node->Data().Set(kLights, host::Value::FromInExclude(list));
    ASSERT_EQ(C4D_INITRENDERRESULT_OK, Prepare(node));
    const host::Vec3 toLight = host::Normalize(-direction);
    for (int s = 0; s < 256; ++s) {
      const host::Vec3 r{numbers.Next(-1, 1), numbers.Next(-1, 1), numbers.Next(-1, 1)};
      const host::Vec3 n = host::Normalize(host::Cross(toLight, r));
      Sample sample(0, 0);
      sample.vd.orign = sample.vd.n = sample.vd.bumpn = {n.x, n.y, n.z};
      Append(&values, Eval(node, sample));
    }
    Release(node);
  }
  // Where the comparison asks for them, the values go to a file
  if (const char* path = std::getenv("CORVANE_SHADER_VALUES")) {
    std::ofstream out(path, std::ios::binary);
    out << values;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
  }
}

}  // namespace
}  // namespace shadertest
