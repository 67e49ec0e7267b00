// corvane-host serve beside a broken module: a crash or a hang in module code fails that
// request with 502 and a line naming the module, the scene keeps its edits, the server goes
// on serving and stops on SIGTERM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>

#include "host_process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

// A wall with Corvane on one half and the broken shader on the other.
constexpr const char* kScene = R"({
  "camera": {"position": [0, 0, 0], "direction": [0, 0, 1], "fov": 40, "resolution": [8, 6]},
  "objects": [{"name": "Left", "type": "plane", "position": [-20, 0, 10], "direction": [0, 0, -1],
               "width": 40, "depth": 40, "material": "Good"},
              {"name": "Right", "type": "plane", "position": [20, 0, 10], "direction": [0, 0, -1],
               "width": 40, "depth": 40, "material": "Bad"}],
  "materials": [{"name": "Good", "shader": "Mask"}, {"name": "Bad", "shader": "H"}],
  "shaders": [{"name": "Mask", "plugin": "Corvane"}, {"name": "H", "plugin": 1999001}]
})";

class HostileServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("corvane_hostile_serve_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "plugins" / "a-hostile");
    fs::copy_file(CORVANE_HOSTILE_MODULE, root / "plugins" / "a-hostile" / "hostile.xso64");
    fs::copy(CORVANE_PLUGINS_DIR, root / "plugins" / "corvane", fs::copy_options::recursive);
    std::ofstream(root / "scene.json") << kScene;
  }
  void TearDown() override {
    Stop();
    fs::remove_all(root);
  }

  // Starts serve with the broken module in mode; the port it prints, or 0.
  int Serve(const std::string& mode, const std::string& timeout = "20") {
    const std::string out = (root / "serve.out").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (root / "serve.err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {CORVANE_HOST_EXE, "serve", (root / "scene.json").string(), "--port", "0",
                                     "--plugins", (root / "plugins").string(), "--timeout", timeout};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"CORVANE_HOSTILE=" + mode};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid, CORVANE_HOST_EXE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return 0;
    const std::regex serving("at http://127\\.0\\.0\\.1:([0-9]+)/");
    for (int i = 0; i < 200; ++i) {
      std::ifstream in(out);
      std::string text((std::istreambuf_iterator<char>(in)), {});
      std::smatch m;
      if (std::regex_search(text, m, serving)) return port = std::stoi(m[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }
  // SIGTERM, then the exit code (or -1 when it did not end within limit).
  int Stop(std::chrono::seconds limit = std::chrono::seconds(10)) {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        pid = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  httplib::Result Get(const std::string& path) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    return client.Get(path, {{"Host", "127.0.0.1:" + std::to_string(port)}});
  }
  httplib::Result Post(const std::string& path, const json& body) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    const httplib::Headers headers = {{"Host", "127.0.0.1:" + std::to_string(port)}};
    return client.Post(path, headers, body.dump(), std::string("application/json"));
  }
  bool Inverted() {
    auto scene = Get("/api/scene");
    if (!scene || scene->status != 200) return false;
    return json::parse(scene->body).dump().find("\"XCORVANE_INVERT\":true") != std::string::npos;
  }

  fs::path root;
  pid_t pid = -1;
  int port = 0;
  std::string HostileModule() const { return (root / "plugins" / "a-hostile" / "hostile.xso64").string(); }
};

TEST_F(HostileServeTest, ACrashInOutputFailsThatPreviewAndTheServerGoesOnWithTheEdits) {
  ASSERT_NE(0, Serve("segv-output"));
  auto edit = Post("/api/param", json::object({{"shader", "Mask"}, {"param", "XCORVANE_INVERT"}, {"value", true}}));
  ASSERT_TRUE(edit);
  ASSERT_EQ(200, edit->status) << edit->body;

  auto preview = Get("/api/preview.png");
  ASSERT_TRUE(preview);
  EXPECT_EQ(502, preview->status);
  EXPECT_THAT(preview->body, HasSubstr("module " + HostileModule() + ", plug-in 1999001, Output: crashed (signal 11"));

  // The next request gets a new worker with the edited scene.
  EXPECT_TRUE(Inverted()) << "the edit made before the crash is kept";
  auto swatch = Get("/api/swatch.png?shader=Mask&size=16");
  ASSERT_TRUE(swatch);
  EXPECT_EQ(200, swatch->status) << swatch->body;
  EXPECT_EQ(0, Stop());
}

TEST_F(HostileServeTest, ARequestThatNeverReturnsEndsAtTheTimeoutNamingTheCall) {
  ASSERT_NE(0, Serve("hang-output", "2"));
  auto preview = Get("/api/preview.png");
  ASSERT_TRUE(preview);
  EXPECT_EQ(502, preview->status);
  EXPECT_THAT(preview->body, HasSubstr("timed out after 2 s in module " + HostileModule() + ", plug-in 1999001, Output"));
  auto scene = Get("/api/scene");
  ASSERT_TRUE(scene);
  EXPECT_EQ(200, scene->status) << "the server answers again";
  EXPECT_EQ(0, Stop());
}

TEST_F(HostileServeTest, SigtermStopsTheServerWhileARequestHangs) {
  // The request's own limit (600 s) is far away: only the stop can end the wait.
  ASSERT_NE(0, Serve("hang-output", "600"));
  std::thread hanging([this] { Get("/api/preview.png"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(0, Stop(std::chrono::seconds(20))) << "SIGTERM ends the server";
  hanging.join();
}

}  // namespace

TEST_F(HostileServeTest, APortInUseIsRefusedBeforeAnythingLoads) {
  // cpp-httplib's default socket options let a second server listen on the same port, and
  // requests then went to either in turn.
  ASSERT_NE(0, Serve("none"));
  const std::string again = "serve " + (root / "scene.json").string() + " --plugins " + (root / "plugins").string() +
                            " --verbose --port ";
  corvanetest::HostRun second = corvanetest::RunHost(CORVANE_HOST_EXE, again + std::to_string(port));
  EXPECT_EQ(1, second.exitCode) << second.output;
  EXPECT_THAT(second.output, HasSubstr("corvane-host: port " + std::to_string(port) + " is in use"));
  EXPECT_THAT(second.output, Not(HasSubstr("Loaded module"))) << "refused before the modules load";
  auto answer = Get("/api/scene");
  ASSERT_TRUE(answer);
  EXPECT_EQ(200, answer->status) << "the first server still serves";

  // A port held by something else is refused the same way.
  const int other = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(0, bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, listen(other, 1));
  ASSERT_EQ(0, getsockname(other, reinterpret_cast<sockaddr*>(&address), &length));
  const int held = ntohs(address.sin_port);
  second = corvanetest::RunHost(CORVANE_HOST_EXE, again + std::to_string(held));
  close(other);
  EXPECT_EQ(1, second.exitCode) << second.output;
  EXPECT_THAT(second.output, HasSubstr("port " + std::to_string(held) + " is in use"));
}
