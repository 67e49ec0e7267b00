// Resource loading, texts, description registration and the start-up folder, through the
// registry suite that modules use.
#include "resources/resources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "core/console.h"
#include "core/host.h"
#include "interface/host_interface.h"
#include "core/text.h"
#include "module_fixture.h"
#include "resources/module_texts.h"

namespace host {
namespace {

using ::testing::HasSubstr;

const std::string kGood = CORVANE_TEST_DATA "/resources/good";

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Console().SetEcho(false);
    Console().Clear();
    folder.Copy(kGood, "res");
    host = std::make_unique<Host>();
  }
  void TearDown() override {
    host.reset();
    Console().SetEcho(true);
  }
  /// A new Host in place of the old one: it starts from clean state.
  void NewHost() {
    host.reset();
    host = std::make_unique<Host>();
  }

  std::unique_ptr<Host> host;

  C4DResource* Load(const std::string& path) {
    C4DFilename* f = NewFilename(path);
    C4DResource* res = suite->LoadResource(f);
    ReleaseFilename(f);
    return res;
  }

  bool Register(int32_t id, const std::string& name, const C4DResource* res) {
    StringRef s(name);
    return suite->RegisterDescription(id, s.Get(), res);
  }

  std::string Res() const { return folder.Join("res"); }

  const C4DRegistrySuite1* suite = RegistrySuite1();
  test::TempFolder folder;
};

TEST_F(ResourcesTest, LoadsTextsByIdAndAnswersEmptyOtherwise) {
  int64_t live = LiveResourceCount();
  C4DResource* res = Load(Res());
  ASSERT_NE(res, nullptr) << ::testing::PrintToString(Console().Lines());
  EXPECT_EQ(LiveResourceCount(), live + 1);
  EXPECT_EQ(StringText(suite->LoadString(res, 20000)), "Sample");
  EXPECT_EQ(StringText(suite->LoadString(res, 20010)), "Two parts");
  EXPECT_EQ(suite->LoadString(res, 20011), EmptyString());  // symbol without a text
  EXPECT_EQ(suite->LoadString(res, 7), EmptyString());
  EXPECT_EQ(suite->LoadString(nullptr, 20000), EmptyString());
  suite->FreeResource(res, true);
  EXPECT_EQ(LiveResourceCount(), live);
  suite->FreeResource(nullptr, false);
}

TEST_F(ResourcesTest, MissingOrBrokenResourceIsNullWithAMessage) {
  EXPECT_EQ(Load(folder.Join("nowhere")), nullptr);
  EXPECT_EQ(suite->LoadResource(nullptr), nullptr);

  folder.Write("res/c4d_symbols.h", "enum {\n IDS_A = 1\n IDS_B };");
  EXPECT_EQ(Load(Res()), nullptr);
  EXPECT_THAT(::testing::PrintToString(Console().Lines()),
              HasSubstr("c4d_symbols.h:3: expected ',' or '}' after IDS_A"));

  Console().Clear();
  folder.Copy(kGood + "/c4d_symbols.h", "res/c4d_symbols.h");
  folder.Remove("res/strings_en-US/c4d_strings.str");
  EXPECT_EQ(Load(Res()), nullptr);
  EXPECT_THAT(::testing::PrintToString(Console().Lines()), HasSubstr("c4d_strings.str: cannot open file"));
}

TEST_F(ResourcesTest, RegistersDescriptionForPluginId) {
  C4DResource* res = Load(Res());
  ASSERT_NE(res, nullptr);
  ASSERT_TRUE(Register(1234567, "XSample", res)) << ::testing::PrintToString(Console().Lines());
  auto entry = Descriptions().Find(1234567);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->pluginId, 1234567);
  EXPECT_EQ(entry->description.displayName, "Sample shader");
  const DescriptionElement* mode = entry->description.FindBySymbol("XSAMPLE_MODE");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->label, "Mode");
  EXPECT_EQ(mode->cycle.size(), 2u);
  EXPECT_EQ(Descriptions().Ids(), std::vector<int32_t>{1234567});
  EXPECT_EQ(Descriptions().Find(99), nullptr);
  suite->FreeResource(res, true);

  NewHost();  // the resource state went with the old Host
  EXPECT_EQ(Descriptions().Find(1234567), nullptr);
}

TEST_F(ResourcesTest, DescriptionRegistrationFailsWithFileLineAndCause) {
  C4DResource* res = Load(Res());
  ASSERT_NE(res, nullptr);

  // Missing files
  EXPECT_FALSE(Register(1, "XMissing", res));
  EXPECT_THAT(Console().Lines().back(), HasSubstr("description/xmissing.h: cannot open file"));
  folder.Remove("res/strings_en-US/description/xsample.str");
  EXPECT_FALSE(Register(1, "XSample", res));
  EXPECT_THAT(Console().Lines().back(), HasSubstr("xsample.str: cannot open file"));
  folder.Copy(kGood + "/strings_en-US/description/xsample.str", "res/strings_en-US/description/xsample.str");

  // A broken .res names file and line; the registry stays unchanged
  folder.Write("res/description/xsample.res",
               "CONTAINER XSample\n{\n  GROUP\n  REAL XSAMPLE_AMOUNT { }\n}\n");
  EXPECT_FALSE(Register(1, "XSample", res));
  EXPECT_THAT(Console().Lines().back(),
              HasSubstr("description/xsample.res:4: expected '{' after GROUP, found 'REAL'"));
  EXPECT_EQ(Descriptions().Find(1), nullptr);

  // No resource, or a name that tries to leave the folder
  EXPECT_FALSE(Register(1, "XSample", nullptr));
  EXPECT_FALSE(Register(1, "../XSample", res));
  suite->FreeResource(res, true);
}

TEST_F(ResourcesTest, StartupFolderDefaultsToProgramFolderAndCanBeSet) {
  std::string program = StartupFolder();
  EXPECT_FALSE(program.empty());
  SetStartupFolder(folder.Path() + "/");
  C4DFilename* path = suite->GetStartupPath();
  EXPECT_EQ(FilenamePath(path), NormalizePath(folder.Path()));
  ReleaseFilename(path);
  NewHost();  // the resource state went with the old Host
  EXPECT_EQ(StartupFolder(), program);
}

// The plug-in's own resource folder must read cleanly: a parse error there would only show
// up as a failed registration in the module tests.
TEST(ShippedResourcesTest, PluginResourceFolderParses) {
  const std::string res = CORVANE_SHIPPED_RES;
  ASSERT_TRUE(std::filesystem::exists(res + "/c4d_symbols.h")) << res << " has no c4d_symbols.h";
  ParseError error;
  C4DResource* loaded = LoadResourceFolder(res, &error);
  ASSERT_NE(loaded, nullptr) << error.ToString();
  std::string name;
  EXPECT_TRUE(ResourceText(loaded, 20000, &name));
  EXPECT_FALSE(name.empty());
  FreeLoadedResource(loaded);
  Description d;
  ASSERT_TRUE(ReadDescription(res, "XCorvane", &d, &error)) << error.ToString();
  EXPECT_EQ(d.displayName, name);
}

// The validator's range comes from the plug-in's string table: two ordered numbers, or none.
TEST(ModuleTextsTest, OutputRangeIsTwoOrderedNumbersOrNone) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("corvane-texts-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder / "strings_en-US");
  RegisteredDescription description;
  description.folder = folder.string();
  description.description.name = "Xsample";
  auto rangeOf = [&](const std::string& text) {
    std::ofstream(folder / "strings_en-US" / "c4d_strings.str")
        << "STRINGTABLE { IDS_XSAMPLE_OUTPUT_RANGE \"" << text << "\"; }\n";
    return DocumentedOutputRange(description);
  };
  EXPECT_EQ(rangeOf("0 1"), std::make_pair(0.0, 1.0));
  EXPECT_EQ(rangeOf(" -0.5  2e1 "), std::make_pair(-0.5, 20.0));
  for (const char* bad : {"1 0", "0", "0 1 2", "a b", "0,5 1", "0 inf", ""})
    EXPECT_FALSE(rangeOf(bad).has_value()) << bad;
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(DocumentedOutputRange(description).has_value());  // no string table at all
}

}  // namespace
}  // namespace host
