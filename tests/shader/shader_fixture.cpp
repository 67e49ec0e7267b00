#include "shader_fixture.h"

#include "core/console.h"
#include "core/customdata.h"
#include "core/shaders.h"

namespace shadertest {

void ShaderTest::SetUp() {
  host::Console().SetEcho(false);
  host = std::make_unique<host::Session>();
  sandbox = std::make_unique<host::test::ModuleSandbox>(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  module = host->Adopt(sandbox->Open());
  ASSERT_NE(nullptr, module) << sandbox->LastError();
  ASSERT_TRUE(module->RunLifecycle());
  ASSERT_NE(nullptr, host->Plugins().Find(kCorvane));
  doc = host->NewDocument("test");
}

void ShaderTest::TearDown() {
  host.reset();  // documents, the module, then the host: before the sandbox goes
  host::Console().SetEcho(true);
}

host::Node* ShaderTest::NewCorvane(const std::string& name) {
  host::Node* node = doc->CreateShader(kCorvane, name);
  EXPECT_NE(nullptr, node);
  return node;
}

host::Node* ShaderTest::NewOmni(const host::Vec3& color, const host::Vec3& position) {
  host::Node* light = doc->CreateObject(host::kTypeLight, "light");
  light->Data().SetInt32(host::LIGHT_TYPE, host::LIGHT_TYPE_OMNI);
  light->Data().SetVector(host::LIGHT_COLOR, color);
  light->Data().SetFloat(host::LIGHT_BRIGHTNESS, 1.0);
  light->Data().SetInt32(host::LIGHT_FALLOFF, host::LIGHT_FALLOFF_NONE);
  light->Data().SetVector(host::OBJECT_POSITION, position);
  return light;
}

host::Node* ShaderTest::NewColorShader(const host::Vec3& color) {
  host::Node* shader = doc->CreateShader(host::kShaderColor, "colour");
  shader->Data().SetVector(host::COLORSHADER_COLOR, color);
  shader->Data().SetFloat(host::COLORSHADER_BRIGHTNESS, 1.0);
  return shader;
}

void ShaderTest::SetLights(host::Node* shader, std::initializer_list<std::pair<host::Node*, int32_t>> entries) {
  host::InExclude list;
  for (const auto& [node, flags] : entries) list.Append(node, flags);
  shader->Data().Set(kLights, host::Value::FromInExclude(list));
}

int32_t ShaderTest::Prepare(host::Node* shader) {
  const C4DInitRenderStruct irs{host::ToHandle(doc), 0.0, 1, 0};
  return host::ShaderInitRender(shader, &irs);
}

void ShaderTest::Release(host::Node* shader) { host::ShaderFreeRender(shader); }

host::Vec3 ShaderTest::Eval(host::Node* shader) {
  Sample sample;
  return Eval(shader, sample);
}

host::Vec3 ShaderTest::Eval(host::Node* shader, Sample& sample) { return host::SampleShader(shader, &sample.cd); }

host::Vec3 ShaderTest::Render(host::Node* shader) {
  EXPECT_EQ(C4D_INITRENDERRESULT_OK, Prepare(shader));
  const host::Vec3 v = Eval(shader);
  Release(shader);
  return v;
}

}  // namespace shadertest
