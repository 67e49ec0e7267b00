// A deliberately broken module beside Corvane, driven through the command line as a user
// meets it: every misbehaviour ends with the exit code and the one line it must, names the
// module, and leaves Corvane working (the same image as without the broken module).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "corvane_ids.h"
#include "host_process.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kHostileScene = R"({
  "camera": {"position": [0, 0, 0], "direction": [0, 0, 1], "fov": 40, "resolution": [8, 6]},
  "objects": [{"name": "Wall", "type": "plane", "position": [0, 0, 10], "direction": [0, 0, -1],
               "material": "M"}],
  "materials": [{"name": "M", "shader": "H"}],
  "shaders": [{"name": "H", "plugin": 1999001}]
})";

/// Corvane's plug-in ID as the host's messages and scene files write it.
std::string CorvaneId() { return std::to_string(corvanetest::kCorvane); }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class HostileModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("corvane_hostile_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    // "a-hostile" sorts before "corvane": the broken module loads first.
    fs::create_directories(root / "plugins" / "a-hostile");
    fs::copy_file(CORVANE_HOSTILE_MODULE, root / "plugins" / "a-hostile" / "hostile.xso64");
    fs::copy(CORVANE_RES_DIR, root / "plugins" / "a-hostile" / "res", fs::copy_options::recursive);
    fs::copy(CORVANE_HOSTILE_RES, root / "plugins" / "a-hostile" / "res",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::copy(CORVANE_PLUGINS_DIR, root / "plugins" / "corvane", fs::copy_options::recursive);
    hostileScene = (root / "hostile.json").string();
    std::ofstream(hostileScene) << kHostileScene;
  }
  void TearDown() override { fs::remove_all(root); }

  corvanetest::HostRun Host(const std::string& mode, const std::string& args, int limit = 120) {
    return corvanetest::RunHost(CORVANE_HOST_EXE, args + " --plugins " + (root / "plugins").string(),
                                "CORVANE_HOSTILE=" + mode + " ", limit);
  }
  std::string HostileModule() const { return (root / "plugins" / "a-hostile" / "hostile.xso64").string(); }

  // Corvane still renders the closed-form scene to the same image as on its own.
  void ExpectCorvaneUnharmed(const std::string& mode) {
    const std::string scene = std::string(CORVANE_TEST_DATA) + "/scenes/distant-a.json";
    const fs::path alone = root / "alone.png", beside = root / "beside.png";
    ASSERT_EQ(0, corvanetest::RunHost(CORVANE_HOST_EXE, "render " + scene + " -o " + alone.string() +
                                                            " --plugins " + CORVANE_PLUGINS_DIR)
                     .exitCode);
    const corvanetest::HostRun r = Host(mode, "render " + scene + " -o " + beside.string());
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(ReadFile(alone), ReadFile(beside)) << mode;
  }

  fs::path root;
  std::string hostileScene;
};

// A module built with Maxon's own SDK cannot run here: info, render and validate refuse it
// in one line and exit 2, without opening it (its constructor would end the process).
TEST_F(HostileModuleTest, AModuleOfMaxonsSdkIsRefusedInOneLineWithExit2) {
  const fs::path folder = root / "c4d-sdk-build";
  fs::create_directories(folder / "corvane");
  const fs::path module = folder / "corvane" / "corvane.xso64";
  fs::copy_file(CORVANE_MAXON_SDK_FIXTURE, module);
  const std::string why =
      module.string() +
      ": was built with Maxon's SDK; corvane-host runs modules built on its own SDK layer\n";
  for (const std::string& command :
       {std::string("info"), "render " + hostileScene + " -o " + (root / "x.png").string()}) {
    const corvanetest::HostRun r =
        corvanetest::RunHost(CORVANE_HOST_EXE, command + " --plugins " + folder.string());
    EXPECT_EQ(r.exitCode, 2) << command << "\n" << r.output;
    EXPECT_EQ(r.output, "Refused module " + why) << command;
  }
  EXPECT_FALSE(fs::exists(root / "x.png"));
  for (const std::string& args : {module.string(), "--plugins " + folder.string()}) {
    const corvanetest::HostRun v = corvanetest::RunHost(CORVANE_HOST_EXE, "validate " + args);
    EXPECT_EQ(v.exitCode, 2) << v.output;
    EXPECT_EQ(v.output, "corvane-host: " + why) << args;
  }
}

TEST_F(HostileModuleTest, ACrashInOutputEndsTheRenderWithOneLineNamingModulePluginAndCall) {
  const corvanetest::HostRun r =
      Host("segv-output", "render " + hostileScene + " -o " + (root / "x.png").string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("corvane-host: module " + HostileModule() +
                                  ", plug-in 1999001, Output: crashed "
                                  "(signal 11, SIGSEGV"));
  EXPECT_FALSE(fs::exists(root / "x.png"));
  ExpectCorvaneUnharmed("segv-output");
}

TEST_F(HostileModuleTest, ExceptionsInCallbacksFailTheCommandNamingTheShader) {
  for (const char* mode : {"throw-initrender", "throw-output"}) {
    const corvanetest::HostRun r = Host(mode, "render " + hostileScene + " -o " + (root / "x.png").string());
    EXPECT_EQ(1, r.exitCode) << mode << "\n" << r.output;
    const std::string call = std::string(mode) == "throw-output" ? "Output" : "InitRender";
    EXPECT_THAT(r.output, HasSubstr("corvane-host: module " + HostileModule() + ", plug-in 1999001, " + call +
                                    ": threw an exception (hostile " + call + ")"))
        << mode;
    EXPECT_FALSE(fs::exists(root / "x.png")) << mode;
  }
}

TEST_F(HostileModuleTest, AThrowingStartRefusesThatModuleAndTheOthersLoad) {
  for (const char* mode : {"throw-main-std", "throw-main-int"}) {
    const corvanetest::HostRun r = Host(mode, "info");
    EXPECT_EQ(0, r.exitCode) << mode << "\n" << r.output;
    const std::string what = std::string(mode) == "throw-main-std"
                                 ? "threw an exception (hostile start)"
                                 : "threw an exception that is not a std::exception";
    EXPECT_THAT(r.output,
                HasSubstr("Refused module " + HostileModule() + ": c4d_main action 2 (start) " + what));
    EXPECT_THAT(r.output, HasSubstr(CorvaneId() + "  Corvane")) << "the good module still registers";
    EXPECT_THAT(r.output, Not(HasSubstr("1999001"))) << "nothing of the refused module stays";
    ExpectCorvaneUnharmed(mode);
  }
}

TEST_F(HostileModuleTest, CodeThatNeverReturnsEndsAtTheTimeoutNamingTheCall) {
  for (const char* mode : {"hang-initrender", "hang-output"}) {
    const corvanetest::HostRun r =
        Host(mode, "render " + hostileScene + " -o " + (root / "x.png").string() + " --timeout 2", 60);
    EXPECT_EQ(1, r.exitCode) << mode << "\n" << r.output;
    const std::string call = std::string(mode) == "hang-output" ? "Output" : "InitRender";
    EXPECT_THAT(r.output, HasSubstr("corvane-host: render timed out after 2 s in module " + HostileModule() +
                                    ", plug-in 1999001, " + call))
        << mode;
  }
}

TEST_F(HostileModuleTest, AClaimOnAnotherModulesIdIsRefusedNamingBothModules) {
  const std::string corvane = (root / "plugins" / "corvane" / "corvane.xso64").string();
  const std::string id = CorvaneId();
  corvanetest::HostRun r = Host("claim", "info");
  EXPECT_THAT(r.output, HasSubstr("plug-in ID " + id + " is registered already by module " + HostileModule() +
                                  "; refused for module " + corvane));
  EXPECT_THAT(r.output, Not(HasSubstr("description XCorvane"))) << "no description attaches to the impostor";

  // A scene that names the contested ID, or the description the refused module asked
  // for, fails instead of rendering through the impostor.
  for (const std::string& plugin : {id, std::string("\"XCorvane\"")}) {
    std::string scene = kHostileScene;
    scene.replace(scene.find("1999001"), 7, plugin);
    const std::string file = (root / "contested.json").string();
    std::ofstream(file) << scene;
    r = Host("claim", "render " + file + " -o " + (root / "x.png").string());
    EXPECT_EQ(1, r.exitCode) << plugin << "\n" << r.output;
    EXPECT_THAT(r.output, HasSubstr("plug-in ID " + id + " is claimed by 2 modules: " + HostileModule() +
                                    " and " + corvane + "; the scene cannot tell which one it means"))
        << plugin;
  }
  // By the refused plug-in's own name, which was never registered: unknown, and the
  // contest named as the likely cause.
  r = Host("claim", "render " + std::string(CORVANE_TEST_DATA) + "/scenes/distant-a.json -o " +
                        (root / "x.png").string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  const std::string known = "color, checkerboard, noise, Impostor (" + id + ")";
  EXPECT_THAT(r.output, HasSubstr("unknown plug-in \"Corvane\" (known: " + known + "); plug-in ID " + id +
                                  " is claimed by 2 modules: " + HostileModule() + " and " + corvane));
}

TEST_F(HostileModuleTest, HandlesTheHostDidNotGiveAreRefusedAndReported) {
  struct Case {
    const char* mode;
    std::vector<std::string> lines;
  } cases[] = {
      {"free-resource-twice",
       {"FreeResource with resource 0x", "released already, or never given out); refused"}},
      {"free-lent-bitmap",
       {"BitmapFree with bitmap 0x", "lent by the host, not the caller's to release; refused"}},
      {"free-foreign", {"Free with memory block 0x10: not a live handle"}},
  };
  for (const Case& c : cases) {
    const corvanetest::HostRun r = Host(c.mode, "info");
    EXPECT_EQ(0, r.exitCode) << c.mode << "\n" << r.output;
    EXPECT_THAT(r.output, HasSubstr("module " + HostileModule() + ", c4d_main action 2 (start): ")) << c.mode;
    for (const std::string& line : c.lines) EXPECT_THAT(r.output, HasSubstr(line)) << c.mode;
    ExpectCorvaneUnharmed(c.mode);
  }
  // Seven pointers the host never gave (the stack, libc, inside a block, a block twice, ...)
  const corvanetest::HostRun r = Host("free-foreign", "info");
  size_t refusals = 0;
  for (size_t at = r.output.find("with memory block"); at != std::string::npos;
       at = r.output.find("with memory block", at + 1))
    ++refusals;
  EXPECT_EQ(6u, refusals) << r.output;
}

TEST_F(HostileModuleTest, ResultsBeyondTheImagesFloatsAreReplacedAndWarned) {
  const corvanetest::HostRun r =
      Host("huge-output", "render " + hostileScene + " -o " + (root / "x.exr").string());
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("48 shader samples were NaN, infinite or too large for the image and were "
                                  "replaced by 0 (first from shader \"H\" (plug-in Hostile, 1999001))"));
}

TEST_F(HostileModuleTest, PrintedControlCharactersAreEscapedAndLongTextsCut) {
  const corvanetest::HostRun r = Host("print-control", "info");
  EXPECT_THAT(r.output, HasSubstr("forged\\nCorvane: a line the host did not print\\r\\x1b[31mred\\x1b[0m"));
  EXPECT_THAT(r.output, Not(HasSubstr("\x1b"))) << "no escape sequence reaches the terminal";
  EXPECT_THAT(r.output, HasSubstr(std::string(4096, 'x') + " [... 5904 more bytes not shown]"));
}

}  // namespace
