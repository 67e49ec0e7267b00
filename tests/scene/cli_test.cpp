// The command line as a user meets it: run as a subprocess on good and broken scenes,
// checking exit codes and messages (never a crash or a hang: every run has a time limit).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corvane_ids.h"
#include "host_process.h"
#include "scratch_filesystem.h"

namespace {

using corvanetest::HostRun;

// Runs corvane-host with args (shell words) under a 120 s limit; shell commands in
// `before` (such as a ulimit) apply to the run.
HostRun RunHost(const std::string& args, const std::string& before = "") {
  return corvanetest::RunHost(CORVANE_HOST_EXE, args, before);
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CORVANE_PLUGINS_DIR
    plugins = CORVANE_PLUGINS_DIR;
#endif
    ASSERT_TRUE(!plugins.empty() && std::filesystem::exists(plugins + "/corvane.xso64"))
        << "the Corvane plug-in folder is not built: " << plugins;
    dir = std::filesystem::temp_directory_path() / ("corvane_cli_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = (dir / name).string();
    std::ofstream(path) << text;
    return path;
  }
  std::string Path(const std::string& name) { return (dir / name).string(); }
  std::string Plugins() { return " --plugins " + plugins; }

  std::string plugins;
  std::filesystem::path dir;
};

TEST_F(CliTest, RendersSavesAndReportsTiming) {
  std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/grey.json";
  HostRun r = RunHost("render " + scene + " -o " + Path("grey.png") +
                      " --width 40 --height 20 --threads 2 --timing" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("render: ")) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("samples/s")) << r.output;
  EXPECT_TRUE(std::filesystem::file_size(Path("grey.png")) > 0);

  r = RunHost("render " + scene + " -o " + Path("grey.exr") + " --width 8 --height 4 --samples 3" +
              Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_TRUE(std::filesystem::exists(Path("grey.exr")));

  r = RunHost("save " + std::string(CORVANE_EXAMPLES_DIR) + "/default.json -o " + Path("a.json") + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  r = RunHost("save " + Path("a.json") + " -o " + Path("b.json") + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  std::ifstream a(Path("a.json")), b(Path("b.json"));
  std::string ta((std::istreambuf_iterator<char>(a)), {}), tb((std::istreambuf_iterator<char>(b)), {});
  EXPECT_EQ(ta, tb) << "saving a saved scene changes nothing";
  EXPECT_NE(std::string::npos, ta.find("\"XCORVANE_GRADIENT\"")) << "plug-in parameters by symbol";

  r = RunHost("info" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  std::vector<std::string> listed = {"io.corvane", "loader: dlopen", "XCORVANE_LIGHTS"};
  for (int32_t id : {corvanetest::kCorvane, corvanetest::kIconNegative, corvanetest::kIconPositive,
                     corvanetest::kGradient})
    listed.push_back(std::to_string(id));
  for (const std::string& text : listed)
    EXPECT_NE(std::string::npos, r.output.find(text)) << text << "\n" << r.output;
  // The project's one version, as info and --version show it.
  const std::string version = "corvane-host " CORVANE_VERSION " (built with Corvane " CORVANE_VERSION ")";
  EXPECT_NE(std::string::npos, r.output.find(version + "\nPlug-ins folder: ")) << r.output;
  r = RunHost("--version");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(version + "\n", r.output);
}

TEST_F(CliTest, BrokenScenesExitWithTwoAndSayWhy) {
  struct Case {
    std::string name, text, expected;
  };
  const Case cases[] = {
      {"badjson.json", "{\n  \"objects\": [\n    {\"name\": \"A\" \"type\": \"sphere\"}\n  ]\n}\n",
       "badjson.json:3:"},
      {"link.json", R"({"objects": [{"name": "A", "type": "sphere", "material": "Ghost"}]})",
       "unknown node \"Ghost\""},
      {"type.json",
       R"({"shaders": [{"name": "C", "plugin": "Corvane", "parameters": {"XCORVANE_MIXMODE": "add"}}]})",
       "expected LONG"},
      {"plugin.json", R"({"shaders": [{"name": "C", "plugin": 424242}]})", "unknown plug-in 424242"},
      {"cycle.json",
       R"({"shaders": [{"name": "Self", "plugin": "Corvane", "parameters": {"XCORVANE_SHADER": "Self"}}]})",
       "cycle"},
      {"overflow.json", R"({"lights": [{"name": "L", "type": "omni", "brightness": 1e999}]})",
       "number overflow"},
      {"type-id.json", R"({"objects": [{"name": "A", "type": 4294972396}]})",
       "objects[0] \"A\" / type: the type ID 4294972396 is out of range (expected an integer from "
       "-2147483648 to 2147483647)"},
      {"plugin-id.json", R"({"shaders": [{"name": "C", "plugin": 4296025125}]})",
       "shaders[0] \"C\" / plugin: the plug-in ID 4296025125 is out of range (expected an integer from "
       "-2147483648 to 2147483647)"},
      {"short-real.json", R"({"materials": [{"name": "M", "parameters": {"9": {"type": 19, "data": ""}}}]})",
       "materials[0] \"M\" / parameters / 9: \"\" is not a valid REAL"},
      {"short-vector.json",
       R"({"materials": [{"name": "M", "parameters": {"9": {"type": 23, "data": "1"}}}]})",
       "\"1\" is not a valid VECTOR"},
      {"nested.json", std::string(100000, '[') + std::string(100000, ']'),
       "nested.json:1:257: arrays and objects nest deeper than 256 levels"},
  };
  for (const Case& c : cases) {
    std::string scene = Write(c.name, c.text);
    for (const char* command : {"render", "save"}) {
      std::string out = Path(std::string(command) == "render" ? "out.png" : "out.json");
      HostRun r = RunHost(std::string(command) + " " + scene + " -o " + out + Plugins());
      EXPECT_EQ(2, r.exitCode) << c.name << " " << command << "\n" << r.output;
      EXPECT_NE(std::string::npos, r.output.find(c.expected)) << c.name << "\n" << r.output;
      EXPECT_NE(std::string::npos, r.output.find(scene)) << "the message names the file\n" << r.output;
      EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
  }
  HostRun r = RunHost("render " + Path("missing.json") + " -o " + Path("x.png") + Plugins());
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.output.find(Path("missing.json") + ": cannot open")) << r.output;
}

TEST_F(CliTest, ALongCorvaneChainRendersAndSavesOnASmallStack) {
  // Each Corvane instance takes the next as its sub-shader: loading crashed (SIGSEGV) in the
  // cycle search, which recursed once per link. 20,000 links on a 512 KiB stack overflow any
  // search that takes a stack frame per link (100,000 links on the usual 8 MiB stack took
  // minutes under ThreadSanitizer). Rendering samples the chain as deep as the host nests
  // shaders.
  constexpr int kShaders = 20000;
  const std::string smallStack = "ulimit -s 512; ";
  std::string text = R"({"camera": {"position": [0, 0, -500], "resolution": [16, 8]},
    "objects": [{"name": "Ball", "type": "sphere", "material": "M"}], "materials": [{"name": "M", "shader": "S0"}],
    "shaders": [)";
  for (int i = 0; i + 1 < kShaders; ++i)
    text += R"({"name": "S)" + std::to_string(i) +
            R"(", "plugin": "Corvane", "parameters": {"XCORVANE_SHADER": "S)" + std::to_string(i + 1) +
            "\"}},\n";
  text += R"({"name": "S)" + std::to_string(kShaders - 1) + R"(", "plugin": "color"}]})";
  const std::string scene = Write("chain.json", text);
  HostRun r = RunHost("render " + scene + " -o " + Path("chain.png") + Plugins(), smallStack);
  EXPECT_EQ(0, r.exitCode) << r.output.substr(0, 2000);
  EXPECT_TRUE(std::filesystem::exists(Path("chain.png")));
  r = RunHost("save " + scene + " -o " + Path("saved.json") + Plugins(), smallStack);
  ASSERT_EQ(0, r.exitCode) << r.output.substr(0, 2000);
  const std::string saved = ReadFile(Path("saved.json"));
  EXPECT_NE(std::string::npos, saved.find("\"owner\": \"S19998\"")) << "the last shader below the one before";
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndWorkFailuresWithOne) {
  std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/grey.json";
  EXPECT_EQ(2, RunHost("").exitCode);
  EXPECT_EQ(2, RunHost("render " + scene).exitCode) << "no output";
  EXPECT_EQ(2, RunHost("render " + scene + " -o x.png --threads 0").exitCode);
  EXPECT_EQ(2, RunHost("frobnicate").exitCode);
  HostRun r = RunHost("render " + scene + " -o " + Path("x.bmp") + Plugins());
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.output.find("unknown image type")) << r.output;
  r = RunHost("render " + scene + " -o x.png --plugins " + Path("no-such-folder"));
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.output.find("plug-ins folder not found")) << r.output;
  EXPECT_EQ(0, RunHost("--help").exitCode);

  // The scene is fine, the output cannot be written (a folder is in its place): a failure
  // while working.
  std::filesystem::create_directories(Path("taken.png") + "/inside");
  r = RunHost("render " + scene + " -o " + Path("taken.png") + " --width 4 --height 4" + Plugins());
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find(Path("taken.png") + ": cannot write PNG file")) << r.output;
  std::filesystem::create_directories(Path("taken.json") + "/inside");
  r = RunHost("save " + scene + " -o " + Path("taken.json") + Plugins());
  EXPECT_EQ(1, r.exitCode) << r.output;
}

TEST_F(CliTest, CommandLineMistakesAreNamed) {
  const std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/grey.json";
  struct Case {
    const char* what;
    std::string args, expected;
  };
  const std::vector<Case> cases = {
      {"a misspelt command", "rendr " + scene + " -o " + Path("x.png"),
       "corvane-host: unknown command \"rendr\"; did you mean \"render\"? (commands: render, save, info, "
       "validate"},
      {"a word that is no command", "paint " + scene,
       "corvane-host: unknown command \"paint\" (commands: render"},
      {"a folder as the scene", "render " + dir.string() + " -o " + Path("x.png") + Plugins(),
       dir.string() + ": is a folder, not a scene file"},
      {"a folder as the scene to save", "save " + dir.string() + " -o " + Path("x.json") + Plugins(),
       dir.string() + ": is a folder, not a scene file"},
      {"an output in a missing folder", "render " + scene + " -o " + Path("out/x.png") + Plugins(),
       Path("out/x.png") + ": the folder " + Path("out") + " does not exist"},
      {"a saved scene in a missing folder", "save " + scene + " -o " + Path("out/x.json") + Plugins(),
       Path("out/x.json") + ": the folder " + Path("out") + " does not exist"},
      {"a file as the plug-ins folder", "render " + scene + " -o " + Path("x.png") + " --plugins " + scene,
       scene + ": is a file, not a plug-ins folder"},
      {"a missing module to validate", "validate " + Path("missing.xso64") + Plugins(),
       Path("missing.xso64") + ": no such module file"},
      {"a folder as the module to validate", "validate " + plugins + Plugins(),
       plugins + ": is a folder, not a module file"},
      {"a report in a missing folder", "validate --junit " + Path("out/r.xml") + Plugins(),
       Path("out/r.xml") + ": the folder " + Path("out") + " does not exist"},
  };
  for (const Case& c : cases) {
    const HostRun r = RunHost(c.args);
    EXPECT_EQ(2, r.exitCode) << c.what << "\n" << r.output;
    EXPECT_NE(std::string::npos, r.output.find(c.expected)) << c.what << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("out"))) << "no folder is made for a mistyped path";
}

TEST_F(CliTest, OneSideKeepsTheAspectAndTheRenderNamesItsFile) {
  // grey.json is 320 x 180: one side given, the other follows.
  const std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/grey.json";
  HostRun r = RunHost("render " + scene + " -o " + Path("w.png") + " --width 160" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("Wrote " + Path("w.png") + " (160 x 90)")) << r.output;
  r = RunHost("render " + scene + " -o " + Path("h.png") + " --height 45" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("(80 x 45)")) << r.output;
  // The framing is the scene's: half the width renders what the full one does, smaller.
  r = RunHost("render " + scene + " -o " + Path("both.png") + " --width 160 --height 90" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_EQ(ReadFile(Path("both.png")), ReadFile(Path("w.png")));

  // Which modules were loaded is shown on request only; the run's own lines always.
  EXPECT_EQ(std::string::npos, r.output.find("Loaded module")) << r.output;
  r = RunHost("render " + scene + " -o " + Path("v.png") + " --width 8 --verbose" + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("Loaded module io.corvane.corvane from ")) << r.output;
  EXPECT_EQ(0, RunHost("--verbose info" + Plugins()).exitCode);
}

// ---- output files: written whole or not at all ----------------------------------------

class OutputFileTest : public CliTest {
 protected:
  struct Writer {
    const char* name;
    const char* output;   // file name in the folder
    std::string command;  // writes to OUT
  };
  std::vector<Writer> Writers() {
    const std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/default.json";
    return {{"PNG", "out.png", "render " + scene + " --width 96 --height 64 -o OUT"},
            {"OpenEXR", "out.exr", "render " + scene + " --width 96 --height 64 -o OUT"},
            {"scene", "out.json", "save " + scene + " -o OUT"}};
  }
  /// Runs the writer into folder over a previous file and expects exit code 1, a message
  /// naming the file and the cause, the previous file unchanged and no temporary file.
  void ExpectFailureKeepsPrevious(const Writer& w, const std::filesystem::path& folder,
                                  const std::string& cause, const std::string& before = "") {
    const std::filesystem::path out = folder / w.output;
    std::string command = w.command;
    command.replace(command.find("OUT"), 3, out.string());
    HostRun r = RunHost(command + Plugins(), before);
    EXPECT_EQ(1, r.exitCode) << w.name << "\n" << r.output;
    EXPECT_NE(std::string::npos, r.output.find(out.string() + ": cannot write")) << w.name << "\n"
                                                                                 << r.output;
    EXPECT_NE(std::string::npos, r.output.find(cause)) << w.name << ": " << cause << "\n" << r.output;
    EXPECT_EQ("previous " + std::string(w.name), ReadFile(out)) << w.name;
    EXPECT_EQ(std::vector<std::string>{}, host::test::TemporaryFiles(folder)) << w.name;
  }
  void WritePrevious(const std::filesystem::path& folder) {
    for (const Writer& w : Writers()) std::ofstream(folder / w.output) << "previous " << w.name;
  }
};

TEST_F(OutputFileTest, EveryWriterPastAFileSizeLimitKeepsThePreviousFile) {
  // The limit (ulimit -f 1: 512 bytes under sh) holds for root too and needs no mount.
  WritePrevious(dir);
  for (const Writer& w : Writers()) ExpectFailureKeepsPrevious(w, dir, "File too large", "ulimit -f 1; ");
}

TEST_F(OutputFileTest, EveryWriterIntoAFolderThatIsAFileIsRefusedNamingIt) {
  // The folder named is a regular file: a mistake on the command line, refused before the
  // work (it used to fail at the write, after the render).
  std::ofstream(dir / "plain") << "plain";
  for (const Writer& w : Writers()) {
    const std::string out = (dir / "plain" / w.output).string();
    std::string command = w.command;
    command.replace(command.find("OUT"), 3, out);
    HostRun r = RunHost(command + Plugins());
    EXPECT_EQ(2, r.exitCode) << w.name << "\n" << r.output;
    EXPECT_NE(std::string::npos,
              r.output.find(out + ": the folder " + (dir / "plain").string() + " is a file, not a folder"))
        << r.output;
  }
  EXPECT_EQ("plain", ReadFile(dir / "plain"));
}

TEST_F(OutputFileTest, EveryWriterOnAFullOrReadOnlyTmpfsKeepsThePreviousFile) {
  host::test::TmpfsMount mount(dir / "small");
  std::string why;
  if (!mount.Mount(256 * 1024, &why)) GTEST_SKIP() << why << " (the file-size limit test covers a full disk)";
  WritePrevious(mount.Folder());
  mount.Fill();
  for (const Writer& w : Writers()) ExpectFailureKeepsPrevious(w, mount.Folder(), "No space left on device");
  std::filesystem::remove(mount.Folder() / "filler");
  ASSERT_TRUE(mount.MakeReadOnly());
  for (const Writer& w : Writers()) ExpectFailureKeepsPrevious(w, mount.Folder(), "Read-only file system");
}

TEST_F(OutputFileTest, SavingOverTheSceneBeingReadKeepsIt) {
  const std::string scene = Path("scene.json");
  std::filesystem::copy_file(std::string(CORVANE_EXAMPLES_DIR) + "/default.json", scene);
  const std::string original = ReadFile(scene);
  // A failed save leaves the scene as it was, and it still renders.
  HostRun r = RunHost("save " + scene + " -o " + scene + Plugins(), "ulimit -f 1; ");
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_EQ(original, ReadFile(scene));
  // A save that succeeds replaces it with the normalised scene, which loads again.
  r = RunHost("save " + scene + " -o " + scene + Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  r = RunHost("save " + std::string(CORVANE_EXAMPLES_DIR) + "/default.json -o " + Path("normalised.json") +
              Plugins());
  ASSERT_EQ(0, r.exitCode) << r.output;
  EXPECT_EQ(ReadFile(Path("normalised.json")), ReadFile(scene));
  EXPECT_EQ(
      0, RunHost("render " + scene + " -o " + Path("x.png") + " --width 8 --height 8" + Plugins()).exitCode);
  EXPECT_EQ(std::vector<std::string>{}, host::test::TemporaryFiles(dir));
}

TEST_F(OutputFileTest, AnImageTooLargeToHoldIsRefusedBeforeRendering) {
  const std::string scene = std::string(CORVANE_EXAMPLES_DIR) + "/default.json";
  for (const char* name : {"huge.png", "huge.exr"}) {
    HostRun r =
        RunHost("render " + scene + " -o " + Path(name) + " --width 65536 --height 65536" + Plugins());
    EXPECT_EQ(2, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find(Path(name) + ": an image of 65536 x 65536 pixels needs about"))
        << r.output;
    EXPECT_NE(std::string::npos, r.output.find("GiB of memory")) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("bad_alloc")) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Path(name)));
  }
}

}  // namespace
