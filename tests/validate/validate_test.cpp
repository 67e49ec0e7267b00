// `corvane-host validate` as a plug-in developer runs it: on a module broken in one way per
// check, the check of that fault fails, naming it; a sound module passes every check; a
// crash or a hang fails one check and the next starts fresh; bad inputs are one line each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "host_process.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/// A plug-ins folder with the test module and its resources.
class ValidateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root = fs::temp_directory_path() / ("corvane_validate_" + std::to_string(getpid()) + "_" +
                                        name.substr(0, name.find('/')) + std::to_string(std::hash<std::string>()(name)));
    fs::remove_all(root);
    fs::create_directories(root / "plugins" / "hostile");
    fs::copy_file(CORVANE_HOSTILE_MODULE, Module());
    fs::copy(CORVANE_RES_DIR, root / "plugins" / "hostile" / "res", fs::copy_options::recursive);
    fs::copy(CORVANE_HOSTILE_RES, root / "plugins" / "hostile" / "res",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(root); }

  std::string Module() const { return (root / "plugins" / "hostile" / "hostile.xso64").string(); }
  corvanetest::HostRun Validate(const std::string& mode, const std::string& args) {
    return corvanetest::RunHost(CORVANE_HOST_EXE, "validate " + args, "CORVANE_HOSTILE=" + mode + " ", 300);
  }

  fs::path root;
};

// ---- every check fails on the mode made for it ------------------------------------------

struct BrokenMode {
  const char* mode;
  const char* check;
  const char* reason;  ///< part of the FAIL line
};

void PrintTo(const BrokenMode& m, std::ostream* os) { *os << m.mode; }

const BrokenMode kBrokenModes[] = {
    {"fail-start", "load", "its start failed: action 1 -> 1, message 1 -> 1, action 2 -> 0"},
    {"throw-main-std", "load", "c4d_main action 2 (start) threw an exception (hostile start)"},
    {"unlabelled", "describe", "XUNLABELLED_AMOUNT (ID 1001) has no label in the string table"},
    {"bad-defaults", "defaults", "XHOSTILE_STRENGTH: the value 2 is outside the range 0 to 1 after Init"},
    {"leak-initrender", "lifecycle", "round 2, left more than round 1: module blocks"},
    {"nan-output", "render-matrix", "at 1 x 1, 0 lights, defaults: 1 result was NaN, infinite or beyond"},
    {"range-output", "render-matrix", "the result (1.5, 1.5, 1.5) is outside the documented range [0, 1]"},
    {"racy-output", "threads", "differs from the one on 1 thread"},
    {"alloc-output", "per-sample", "Output made 192 allocations in 192 samples"},
    {"container-output", "per-sample", "Output made 384 container reads in 192 samples"},
    {"state-outside", "round-trip", "saved and loaded, the scene renders differently"},
    {"crash-odd-value", "bad-parameters", "InitRender: crashed (signal 11, SIGSEGV"},
    {"locale-output", "locale", "in the de_DE.UTF-8 locale the render differs"},
    {"unchecked-alloc", "allocation-failure", "c4d_main action 2 (start): crashed (signal 11, SIGSEGV"},
};

class ValidateBrokenModeTest : public ValidateTest, public ::testing::WithParamInterface<BrokenMode> {};

TEST_P(ValidateBrokenModeTest, TheCheckForTheFaultFailsNamingIt) {
  const BrokenMode& m = GetParam();
  const corvanetest::HostRun r = Validate(m.mode, Module() + " --only " + m.check + " --seed 1");
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr(std::string("FAIL ") + m.check + ": ")) << r.output;
  EXPECT_THAT(r.output, HasSubstr(m.reason)) << r.output;
  EXPECT_THAT(r.output, HasSubstr("validate: 0 passed, 1 failed"));
}

INSTANTIATE_TEST_SUITE_P(EveryCheck, ValidateBrokenModeTest, ::testing::ValuesIn(kBrokenModes),
                         [](const ::testing::TestParamInfo<BrokenMode>& param) {
                           std::string name = param.param.mode;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

// ---- a sound module ---------------------------------------------------------------------

TEST_F(ValidateTest, ASoundModulePassesEveryCheckAtTheHighestStrictness) {
  const corvanetest::HostRun r = Validate("", Module() + " --strictness 10 --seed 1");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("validate: strictness 10, seed 1 (--seed 1 replays this run)"));
  for (const char* check : {"load", "describe", "defaults", "lifecycle", "render-matrix", "threads", "per-sample",
                            "round-trip", "bad-parameters", "locale", "allocation-failure"})
    EXPECT_THAT(r.output, HasSubstr(std::string("PASS ") + check + ": ")) << r.output;
  EXPECT_THAT(r.output, HasSubstr("validate: 11 passed, 0 failed"));
}

TEST_F(ValidateTest, TheStrictnessChoosesTheChecksAndTheSameSeedReplaysTheSameReport) {
  const corvanetest::HostRun low = Validate("", Module() + " --strictness 1 --seed 7");
  EXPECT_EQ(0, low.exitCode) << low.output;
  EXPECT_THAT(low.output, HasSubstr("validate: 2 passed, 0 failed"));
  EXPECT_THAT(low.output, Not(HasSubstr("defaults")));

  const corvanetest::HostRun a = Validate("", Module() + " --strictness 5 --seed 7");
  const corvanetest::HostRun b = Validate("", Module() + " --strictness 5 --seed 7");
  EXPECT_EQ(0, a.exitCode) << a.output;
  EXPECT_EQ(a.output, b.output);
  const corvanetest::HostRun fresh = Validate("", Module() + " --strictness 1");
  EXPECT_THAT(fresh.output, HasSubstr("replays this run"));
}

TEST_F(ValidateTest, APlugInThatIsNoShaderGetsTheGenericChecksAndSkipsTheShaderOnes) {
  const corvanetest::HostRun r = Validate("other-type", Module() + " --strictness 3 --seed 1");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("PASS load: "));
  EXPECT_THAT(r.output, HasSubstr("1 plug-in of another type"));
  EXPECT_THAT(r.output, HasSubstr("SKIP describe: not a shader plug-in (plug-in 1999001 is of type 7)"));
  EXPECT_THAT(r.output, HasSubstr("SKIP render-matrix: not a shader plug-in"));
}

// ---- isolation --------------------------------------------------------------------------

TEST_F(ValidateTest, ACrashFailsOneCheckNamingTheCallAndTheNextCheckStartsFresh) {
  const corvanetest::HostRun r = Validate("segv-output", Module() + " --strictness 4 --seed 1");
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("PASS defaults: "));
  EXPECT_THAT(r.output, HasSubstr("FAIL render-matrix: module " + Module() +
                                  ", plug-in 1999001, Output: crashed (signal 11, SIGSEGV"));
  // What the check was doing when the plug-in crashed.
  EXPECT_THAT(r.output, HasSubstr(", while plug-in 1999001 (Hostile) at 1 x 1, 0 lights, defaults"));
  EXPECT_THAT(r.output, HasSubstr("FAIL threads: "));
  EXPECT_THAT(r.output, HasSubstr("validate: 3 passed, 4 failed"));
}

TEST_F(ValidateTest, AHangFailsOneCheckWithATimeoutNamingTheCall) {
  const corvanetest::HostRun r =
      Validate("hang-output", Module() + " --strictness 3 --seed 1 --timeout-ms 1000 --json " + (root / "r.json").string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("FAIL render-matrix: check render-matrix timed out after 1 s in module " +
                                  Module() + ", plug-in 1999001, Output"));
  EXPECT_THAT(r.output, HasSubstr("PASS defaults: "));
  const nlohmann::json report = nlohmann::json::parse(ReadFile(root / "r.json"));
  EXPECT_EQ(1, report["seed"]);
  EXPECT_EQ(3, report["passed"]);
  EXPECT_EQ(2, report["failed"]);
  const nlohmann::json& checks = report["modules"][0]["checks"];
  ASSERT_EQ(5u, checks.size());
  EXPECT_EQ("render-matrix", checks[4]["name"]);
  EXPECT_EQ("FAIL", checks[4]["status"]);
  EXPECT_EQ(3, checks[4]["level"]);
}

TEST_F(ValidateTest, InProcessRunsEveryCheckInOneProcess) {
  const corvanetest::HostRun r = Validate("", Module() + " --strictness 5 --seed 3 --in-process");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("validate: 9 passed, 0 failed"));
}

// ---- reports ----------------------------------------------------------------------------

TEST_F(ValidateTest, JUnitNamesEveryCheckWithItsFailureAndTheSeed) {
  const fs::path xml = root / "report.xml";
  const corvanetest::HostRun r = Validate("nan-output", Module() + " --strictness 3 --seed 42 --junit " + xml.string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  const std::string text = ReadFile(xml);
  EXPECT_THAT(text, HasSubstr("<testsuites name=\"corvane-host validate\" tests=\"5\" failures=\"1\" skipped=\"0\""));
  EXPECT_THAT(text, HasSubstr("<property name=\"seed\" value=\"42\"/>"));
  EXPECT_THAT(text, HasSubstr("<testcase name=\"load\" classname=\"validate.hostile.xso64\""));
  EXPECT_THAT(text, HasSubstr("<failure message=\"plug-in 1999001 (Hostile) at 1 x 1, 0 lights, defaults: 1 result "
                              "was NaN, infinite or beyond the range of a float"));
}

// ---- bad inputs -------------------------------------------------------------------------

TEST_F(ValidateTest, BadInputsAreOneLineEach) {
  fs::create_directories(root / "empty");
  corvanetest::HostRun r = Validate("", "--plugins " + (root / "empty").string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("holds no module file (.xso64, .xdl64, .xlib); nothing was validated"));

  r = Validate("", "--plugins " + (root / "missing").string());
  EXPECT_EQ(2, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("plug-ins folder not found"));

  std::ofstream(root / "text.xso64") << "not a module";
  r = Validate("", (root / "text.xso64").string());
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("FAIL load: "));
  EXPECT_THAT(r.output, HasSubstr("validate: 0 passed, 1 failed"));
  EXPECT_THAT(r.output, Not(HasSubstr("describe")));

  r = Validate("", Module() + " --only colours");
  EXPECT_EQ(2, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr("no check called \"colours\" (the checks: load, describe,"));

  r = Validate("", Module() + " --strictness 11");
  EXPECT_EQ(2, r.exitCode) << r.output;
}

TEST_F(ValidateTest, AFolderIsValidatedModuleByModule) {
  const corvanetest::HostRun r = Validate("", "--plugins " + (root / "plugins").string() + " --strictness 2 --seed 1");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr(Module() + "\nPASS load: module net.example.hostile"));
  EXPECT_THAT(r.output, HasSubstr("validate: 3 passed, 0 failed"));
}

}  // namespace
