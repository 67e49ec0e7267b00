// The built plug-in module, loaded as the host loads it: c4d_main dispatch, the interface
// gate, nested start/end, messages, resource folders and the registration of icons and
// the shader. Each test loads its own copy of the module (fresh statics).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "bitmap/bitmap.h"
#include "core/console.h"
#include "core/host.h"
#include "core/memory.h"
#include "corvane_ids.h"
#include "loader/loader.h"
#include "module_fixture.h"
#include "resources/resources.h"

namespace host {
namespace {

#ifdef CORVANE_MODULE_PATH

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using corvanetest::kCorvane;
using corvanetest::kIconNegative;
using corvanetest::kIconPositive;
constexpr const char* kResourceFailure = "Corvane: failed to load resource file.";
constexpr const char* kRegisterFailure = "Failed to register the Corvane plugin.";

int CountLines(const std::string& text) {
  std::vector<std::string> lines = Console().Lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

class ModuleEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Console().SetEcho(false);
    Console().Clear();
    SetStartupFolder(outside.Path());  // neither resource rule's start-up folder by accident
  }
  void TearDown() override { Console().SetEcho(true); }

  Host hostSession;  // declared first: outlives the modules of a test
  test::TempFolder outside;
};

TEST_F(ModuleEntryTest, DispatchAnswersUnknownActionsWithMinusOne) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr) << sandbox.LastError();
  EXPECT_EQ(m->CallMain(C4D_ACTION_QUERY), 5);
  for (int32_t action : {0, 5, 7, 8, 100, -1}) EXPECT_EQ(m->CallMain(action), -1) << action;
  EXPECT_TRUE(Console().Lines().empty());
}

TEST_F(ModuleEntryTest, InterfaceVersionGateAndModuleFile) {
  {
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
    ModuleOptions options;
    options.interfaceVersion = 23099;
    std::unique_ptr<Module> m = sandbox.Open(options);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SystemStart(), -3);
  }
  {
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
    std::unique_ptr<Module> m = sandbox.Open();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SystemStart(), 1);
  }
  for (int32_t version : {23100, 23099}) {
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
    ModuleOptions options;
    options.interfaceVersion = version;
    options.passModuleFile = false;
    std::unique_ptr<Module> m = sandbox.Open(options);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SystemStart(), -3) << version;
  }
}

TEST_F(ModuleEntryTest, NestedStartsTearDownOnlyAtTheLastEnd) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  int64_t resources = LiveResourceCount();
  int64_t blocks = GetMemoryStats().liveBlocks;
  EXPECT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
  EXPECT_EQ(LiveResourceCount(), resources + 1);
  EXPECT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->End(), 1);
  EXPECT_EQ(LiveResourceCount(), resources + 1) << "an inner action 3 tears nothing down";
  EXPECT_EQ(m->End(), 1);
  EXPECT_EQ(LiveResourceCount(), resources);
  EXPECT_EQ(GetMemoryStats().liveBlocks, blocks) << "module path and resource path are freed";
}

TEST_F(ModuleEntryTest, EndAtCountZeroTearsNothingDown) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  int64_t blocks = GetMemoryStats().liveBlocks;
  EXPECT_EQ(m->CallMain(C4D_ACTION_END), 1);
  EXPECT_EQ(GetMemoryStats().liveBlocks, blocks);
  EXPECT_TRUE(Console().Lines().empty());
}

TEST_F(ModuleEntryTest, MessagesLoadTheResourceOnce) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  int64_t resources = LiveResourceCount();
  ASSERT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_PLUGINMESSAGE_0), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
  EXPECT_EQ(LiveResourceCount(), resources + 1) << "a second message 1 must not load again";
  EXPECT_EQ(m->SendMessage(2), -1);
  EXPECT_TRUE(Console().Lines().empty());
}

TEST_F(ModuleEntryTest, MissingResourceFolderFailsMessageOne) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), -1);
  EXPECT_EQ(CountLines(kResourceFailure), 1);
  // Not retried: the same answer and line again, still nothing loaded
  sandbox.Folder().Copy(CORVANE_RES_DIR, "plugins/corvane/res");
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), -1);
  EXPECT_EQ(CountLines(kResourceFailure), 2);
}

TEST_F(ModuleEntryTest, ResourceFolderBesideModuleInsidePluginsFolder) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
}

TEST_F(ModuleEntryTest, ResourceFolderUnderStartupFolderWhenPluginFolderIsItsChild) {
  // <startup>/plugins/corvane.xso64 reads <startup>/resource/modules/corvane, not plugins/res
  const std::string moduleRel = std::string("app/plugins/corvane") + DefaultModuleExtension();
  {
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR, moduleRel,
                                "app/resource/modules/corvane");
    SetStartupFolder(sandbox.Folder().Join("app"));
    std::unique_ptr<Module> m = sandbox.Open();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->SystemStart(), 1);
    EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
  }
  {
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR, moduleRel, "app/plugins/res");
    SetStartupFolder(sandbox.Folder().Join("app"));
    std::unique_ptr<Module> m = sandbox.Open();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->SystemStart(), 1);
    EXPECT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), -1);
    EXPECT_EQ(CountLines(kResourceFailure), 1);
  }
}

// The second icon's image is replaced by a 40 x 36 picture, so that the icon's region
// (top-left 32 x 32) and the whole picture scaled to 32 x 32 differ.
const std::string kLargeImage = CORVANE_TEST_DATA "/images/gradient_40x36.png";

std::string IconSource(const std::string& file) {
  return file == "positive.png" ? kLargeImage : std::string(CORVANE_RES_DIR) + "/" + file;
}

// The shader's display name: text 20000 of the module's string table.
std::string DisplayName() {
  ParseError error;
  C4DResource* res = LoadResourceFolder(CORVANE_RES_DIR, &error);
  EXPECT_NE(res, nullptr) << error.ToString();
  std::string name;
  if (res != nullptr) {
    EXPECT_TRUE(ResourceText(res, 20000, &name));
  }
  FreeLoadedResource(res);
  return name;
}

TEST_F(ModuleEntryTest, RegistersIdentityIconsDescriptionAndShader) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  sandbox.Folder().Copy(kLargeImage, "plugins/corvane/res/positive.png");
  int64_t bitmaps = LiveBitmapCount();
  int64_t blocks = GetMemoryStats().liveBlocks;
  std::unique_ptr<Module> m = LoadModule(sandbox.ModuleFile());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Codes().systemStart, 1);
  EXPECT_EQ(m->Codes().loadResource, 1);
  EXPECT_EQ(m->Codes().start, 1);
  EXPECT_EQ(CountLines(kRegisterFailure), 0);
  EXPECT_EQ(LiveBitmapCount(), bitmaps) << "the scratch bitmap is released";

  // Identity registered at load
  const ModuleIdentity& id = m->Identity();
  EXPECT_THAT(id.identifier, ::testing::EndsWith(".corvane"));
  EXPECT_THAT(
      id.dependencies,
      ElementsAre("net.maxon.c4d.cinema.framework", "net.maxon.command.framework", "net.maxon.core.framework",
                  "net.maxon.crypt.framework", "net.maxon.geom.framework", "net.maxon.image.framework",
                  "net.maxon.math.framework", "net.maxon.mesh_misc.framework", "net.maxon.python.framework"));
  EXPECT_TRUE(id.problems.empty());

  // The shader, named by text 20000 of the module's string table
  const PluginInfo* shader = hostSession.Plugins().Find(kCorvane);
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(shader->name, DisplayName());
  EXPECT_EQ(shader->type, C4D_PLUGINTYPE_SHADER);
  EXPECT_EQ(shader->version, C4D_API_VERSION);
  EXPECT_EQ(shader->module, id.identifier);

  // Its description
  auto description = Descriptions().Find(kCorvane);
  ASSERT_NE(description, nullptr);
  const Description& d = description->description;
  EXPECT_EQ(d.name, "XCorvane");
  struct Expected {
    int32_t id;
    const char* symbol;
    const char* type;
  };
  for (const Expected& e : {Expected{corvanetest::kSpareValue, "XCORVANE_SPARE_VALUE", "REAL"},
                            {corvanetest::kSubShader, "XCORVANE_SHADER", "SHADERLINK"},
                            {corvanetest::kOutput, "XCORVANE_OUTPUT", "LONG"},
                            {corvanetest::kMixMode, "XCORVANE_MIXMODE", "LONG"},
                            {corvanetest::kInvert, "XCORVANE_INVERT", "BOOL"},
                            {corvanetest::kLights, "XCORVANE_LIGHTS", "IN_EXCLUDE"},
                            {corvanetest::kGradient, "XCORVANE_GRADIENT", "GRADIENT"}}) {
    const DescriptionElement* p = d.FindById(e.id);
    ASSERT_NE(p, nullptr) << e.symbol;
    EXPECT_EQ(p->symbol, e.symbol);
    EXPECT_EQ(p->TypeName(), e.type);
  }
  EXPECT_EQ(d.FindById(corvanetest::kOutput)->cycle.size(), 2u);
  EXPECT_EQ(d.FindById(corvanetest::kMixMode)->cycle.size(), 3u);

  // Icons: the images' top-left 32 x 32, then the whole image scaled into the icon
  for (auto [iconId, file] : {std::pair{kIconNegative, "negative.png"}, {kIconPositive, "positive.png"}}) {
    IconInfo icon;
    ASSERT_TRUE(FindIcon(iconId, &icon)) << file;
    EXPECT_EQ(icon.x, 0);
    EXPECT_EQ(icon.y, 0);
    EXPECT_EQ(icon.w, 32);
    EXPECT_EQ(icon.h, 32);
    EXPECT_THAT(icon.file, ::testing::EndsWith(file));
    Image source, expected = Image::Blank(32, 32), pixels;
    ASSERT_EQ(DecodeImageFile(IconSource(file), &source), C4D_IMAGERESULT_OK);
    ScaleImage(source, &expected, 256, true);
    ASSERT_TRUE(IconPixels(iconId, &pixels));
    EXPECT_EQ(pixels.rgba, expected.rgba) << file;
  }

  m->Unload();
  EXPECT_EQ(GetMemoryStats().liveBlocks, blocks) << "the module frees what it allocated by its last action 3";
}

// Action 2 with each of its allocation requests failing in turn (the first run fails none
// and counts them). Whatever a failure costs, the host never holds half a registration:
// the shader is there under its ID with its name and description, or neither it nor a
// description is and action 2 says so; an icon is there, cut from its own image in the
// module's resource folder, or not at all. One failed request costs one of the three at
// most: each icon's file name is made on its own, so a failure for one spares the other.
TEST_F(ModuleEntryTest, RegistrationIsWholeOrAbsentWhateverAllocationFails) {
  const std::string displayName = DisplayName();
  ASSERT_FALSE(displayName.empty());
  int64_t requests = 0;
  for (int64_t n = 0; n == 0 || n <= requests; ++n) {
    SCOPED_TRACE(n == 0 ? std::string("no request failing") : "request " + std::to_string(n) + " failing");
    test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
    const int64_t blocks = GetMemoryStats().liveBlocks;
    std::unique_ptr<Module> m = sandbox.Open();
    ASSERT_NE(m, nullptr) << sandbox.LastError();
    ASSERT_EQ(m->SystemStart(), 1);
    ASSERT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
    Console().Clear();
    ResetModuleAllocationFaults();
    FailModuleAllocation(n);  // 0: none
    const int32_t started = m->Start();
    if (n == 0) requests = ModuleAllocationRequests();
    ResetModuleAllocationFaults();

    int missing = 0;
    if (const PluginInfo* shader = hostSession.Plugins().Find(kCorvane)) {
      EXPECT_EQ(started, 1);
      EXPECT_EQ(shader->name, displayName);
      EXPECT_NE(Descriptions().Find(kCorvane), nullptr)
          << "the shader was registered without its description";
      EXPECT_EQ(CountLines(kRegisterFailure), 0);
    } else {
      ++missing;
      EXPECT_EQ(started, 0);
      EXPECT_EQ(Descriptions().Find(kCorvane), nullptr) << "a description is left without its shader";
      EXPECT_EQ(CountLines(kRegisterFailure), 1);
    }
    for (auto [iconId, file] : {std::pair{kIconNegative, "negative.png"}, {kIconPositive, "positive.png"}}) {
      IconInfo icon;
      if (!FindIcon(iconId, &icon)) {
        ++missing;
        continue;
      }
      std::error_code error;
      EXPECT_TRUE(
          std::filesystem::equivalent(icon.file, sandbox.Folder().Join("plugins/corvane/res/") + file, error))
          << file << " registered from " << icon.file;
      EXPECT_EQ(icon.x, 0);
      EXPECT_EQ(icon.y, 0);
      EXPECT_EQ(icon.w, 32);
      EXPECT_EQ(icon.h, 32);
    }
    EXPECT_LE(missing, n == 0 ? 0 : 1) << "of the shader and the two icons";

    m->Unload();
    EXPECT_EQ(hostSession.Plugins().Find(kCorvane), nullptr);
    EXPECT_EQ(GetMemoryStats().liveBlocks, blocks)
        << "the module frees what it allocated by its last action 3";
  }
  EXPECT_GT(requests, 0);
}

TEST_F(ModuleEntryTest, MissingDescriptionFailsRegistrationOnce) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  sandbox.Folder().Remove("plugins/corvane/res/description/xcorvane.res");
  std::unique_ptr<Module> m = LoadModule(sandbox.ModuleFile());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Codes().start, 0);
  EXPECT_EQ(CountLines(kRegisterFailure), 1);
  EXPECT_EQ(hostSession.Plugins().Find(kCorvane), nullptr);
  IconInfo icon;
  EXPECT_TRUE(FindIcon(kIconNegative, &icon)) << "icons registered before stay registered";
}

TEST_F(ModuleEntryTest, MissingIconImageStillRegistersTheShader) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  sandbox.Folder().Remove("plugins/corvane/res/positive.png");
  std::unique_ptr<Module> m = LoadModule(sandbox.ModuleFile());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Codes().start, 1);
  IconInfo icon;
  EXPECT_TRUE(FindIcon(kIconNegative, &icon));
  EXPECT_FALSE(FindIcon(kIconPositive, &icon));
  EXPECT_NE(hostSession.Plugins().Find(kCorvane), nullptr);
  EXPECT_EQ(CountLines(kRegisterFailure), 0);
}

TEST_F(ModuleEntryTest, ScratchBitmapAllocationFailureSkipsScaling) {
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, CORVANE_RES_DIR);
  sandbox.Folder().Copy(kLargeImage, "plugins/corvane/res/positive.png");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->SystemStart(), 1);
  ASSERT_EQ(m->SendMessage(C4D_MSG_LOAD_RESOURCE), 1);
  int64_t bitmaps = LiveBitmapCount();
  FailNextBitmapAlloc(1);
  EXPECT_EQ(m->Start(), 1);
  EXPECT_EQ(LiveBitmapCount(), bitmaps);
  for (auto [iconId, file] : {std::pair{kIconNegative, "negative.png"}, {kIconPositive, "positive.png"}}) {
    Image source, pixels;
    ASSERT_EQ(DecodeImageFile(IconSource(file), &source), C4D_IMAGERESULT_OK);
    ASSERT_TRUE(IconPixels(iconId, &pixels)) << file;
    ASSERT_EQ(pixels.width, 32);
    for (int y = 0; y < 32 && y < source.height; ++y) {
      for (int x = 0; x < 32 && x < source.width; ++x) {
        ASSERT_TRUE(std::equal(source.Pixel(x, y), source.Pixel(x, y) + 4, pixels.Pixel(x, y)))
            << file << " " << x << "," << y;
      }
    }
  }
  EXPECT_NE(hostSession.Plugins().Find(kCorvane), nullptr);
}

#else

// The module is part of every build that has tests: a program built without its path
// tests nothing, which must not pass.
TEST(ModuleEntryTest, NeedsTheBuiltModule) { FAIL() << "built without CORVANE_MODULE_PATH"; }

#endif

}  // namespace
}  // namespace host
