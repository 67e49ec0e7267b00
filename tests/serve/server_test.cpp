// The look-development web server around a Lookdev: its page files, the guards against
// other web pages, answers the library makes itself, and the limits that keep slow, idle
// and oversized clients from holding its workers.
#include "serve/server.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "corvane_ids.h"
#include "lookdev_fixture.h"

namespace host {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

/// A client on a plain socket, for sending what a well-behaved client would not.
class RawClient {
 public:
  explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  /// Whether the server has answered or closed (a read would not block).
  bool Readable(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, int(wait.count())) > 0;
  }
  /// Everything the server sends until it closes the connection (or within 30 s).
  std::string ReadToClose() {
    std::string all;
    char buffer[4096];
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < until && Readable(100ms)) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return all + (n == 0 ? "<closed>" : "<reset>");
      all.append(buffer, size_t(n));
    }
    return all;
  }

 private:
  int fd_;
  bool connected_ = false;
};

class LookdevServerTest : public LookdevTest {
 protected:
  void Serve(const ServerLimits& limits = {}) {
    server = std::make_unique<LookdevServer>(*lookdev, limits);
    std::string error;
    ASSERT_TRUE(server->Bind(0, &error)) << error;
    serving = std::thread([this] { server->Run(); });
    client = std::make_unique<httplib::Client>("127.0.0.1", server->Port());
    client->set_read_timeout(20, 0);
    for (int i = 0; i < 200 && !client->Get("/"); ++i) std::this_thread::sleep_for(10ms);
  }
  void TearDown() override {
    if (server) server->Stop();
    if (serving.joinable()) serving.join();
    LookdevTest::TearDown();
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server->Port()); }

  std::unique_ptr<LookdevServer> server;
  std::thread serving;
  std::unique_ptr<httplib::Client> client;
};

void Refused(const httplib::Result& r, int status, const std::string& says = "") {
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, status);
  const std::string message = json::parse(r->body, nullptr, false).value("error", "");
  EXPECT_FALSE(message.empty()) << r->body;
  EXPECT_THAT(message, HasSubstr(says));
}

TEST_F(LookdevServerTest, AnswersOnlyItsOwnPageAndRefusesWithMessages) {
  Serve();
  auto page = client->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("app.js"), std::string::npos);
  auto api = client->Get("/api/describe");
  ASSERT_TRUE(api);
  EXPECT_EQ(api->status, 200);

  Refused(client->Get("/api/nothing"), 404);
  Refused(client->Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_INVERT", "value": true})",
                       "text/plain"),
          415);
  Refused(client->Post("/api/param", std::string(kMaxRequestBytes + 100, ' '), "application/json"), 413);
  Refused(client->Get("/api/scene", {{"Host", "attacker.example:80"}}), 403);
  Refused(client->Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_NOPE", "value": 1})",
                       "application/json"),
          400);
  auto edit = client->Post("/api/param", R"({"shader": "Mask", "param": "XCORVANE_INVERT", "value": true})",
                           "application/json");
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->status, 200) << edit->body;

  // One Cache-Control per answer: the icon's own, or no-store.
  auto icon = client->Get("/api/icon/" + std::to_string(corvanetest::kIconPositive) + ".png");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value_count("Cache-Control"), 1u);
  EXPECT_EQ(icon->get_header_value("Cache-Control"), "max-age=3600");
  auto scene = client->Get("/api/scene");
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->get_header_value_count("Cache-Control"), 1u);
  EXPECT_EQ(scene->get_header_value("Cache-Control"), "no-store");
}

// A browser marks what another web page makes it fetch; the page's own requests, and
// clients that are no browser, pass.
TEST_F(LookdevServerTest, RequestsFromOtherWebPagesAreRefused) {
  Serve();
  const std::string own = "http://" + Host();
  const std::string before = lookdev->SceneState().body;
  const std::string edit = R"({"shader": "Mask", "param": "XCORVANE_INVERT", "value": true})";
  Refused(client->Get("/api/preview.png?w=8&h=8&spp=1", {{"Sec-Fetch-Site", "cross-site"}}), 403,
          "another web page (Sec-Fetch-Site: cross-site)");
  Refused(client->Get("/api/scene", {{"Sec-Fetch-Site", "same-site"}}), 403, "same-site");
  Refused(client->Get("/api/swatch.png", {{"Origin", "https://pages.example"}}), 403, "pages.example");
  Refused(client->Get("/api/files", {{"Origin", "null"}}), 403, "Origin: null");
  Refused(client->Get("/api/scene", {{"Origin", "http://127.0.0.1:1"}}), 403);
  Refused(client->Post("/api/param", {{"Origin", "https://pages.example"}}, edit, "application/json"), 403);
  Refused(client->Post("/api/save", {{"Sec-Fetch-Site", "cross-site"}}, R"({"path": "x.json"})",
                       "application/json"),
          403);
  EXPECT_EQ(lookdev->SceneState().body, before);
  EXPECT_FALSE(std::filesystem::exists(folder.Join("served/x.json")));

  for (const httplib::Headers& headers : std::vector<httplib::Headers>{
           {{"Sec-Fetch-Site", "same-origin"}},
           {{"Sec-Fetch-Site", "none"}},
           {{"Origin", own}, {"Sec-Fetch-Site", "same-origin"}},
           {{"Origin", "http://localhost:" + std::to_string(server->Port())}},
           {}}) {
    auto r = client->Get("/api/preview.png?w=8&h=8&spp=1", headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
  }
  auto posted = client->Post("/api/param", {{"Origin", own}}, edit, "application/json");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 200) << posted->body;
  // The page itself may be opened from a link on another site: it does no work.
  auto page = client->Get("/", {{"Sec-Fetch-Site", "cross-site"}});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
}

// A request must arrive whole within its deadline however its bytes are spaced: a client
// that sends a byte at a time is answered 408 and disconnected, in the request line or
// in the headers. The margins are wide: the check is that it ends, not how fast.
TEST_F(LookdevServerTest, SlowClientsAreAnswered408AndDisconnected) {
  ServerLimits limits;
  limits.request = 1000ms;
  Serve(limits);
  const std::string line = "GET /api/scene HTTP/1.1\r\n";
  const std::string headers = line + "Host: " + Host() + "\r\nX-Padding: ";
  for (const std::string& sent : {std::string("GE"), headers}) {
    SCOPED_TRACE(sent);
    RawClient slow(server->Port());
    ASSERT_TRUE(slow.Connected());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(slow.Send(sent));
    // One byte each 100 ms, for at most 30 s, until the server answers or closes.
    for (int i = 0; i < 300 && !slow.Readable(100ms); ++i)
      if (!slow.Send("a")) break;
    const std::string answer = slow.ReadToClose();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_THAT(answer, HasSubstr("408"));
    EXPECT_THAT(answer, HasSubstr("did not arrive within 1 s"));
    EXPECT_THAT(answer, HasSubstr("<closed>"));
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 20);
  }
  // A request whose header is larger than the server takes is cut off too.
  RawClient large(server->Port());
  ASSERT_TRUE(large.Connected());
  std::string big = "GET /api/scene HTTP/1.1\r\nHost: " + Host() + "\r\n";
  while (big.size() < limits.requestBytes + 4096) big += "X-Filler: " + std::string(1000, 'f') + "\r\n";
  large.Send(big + "\r\n");
  const std::string answer = large.ReadToClose();
  EXPECT_THAT(answer, HasSubstr("413"));
  auto normal = client->Get("/api/scene");
  ASSERT_TRUE(normal);
  EXPECT_EQ(normal->status, 200);
}

// Clients that hold connections open (half a request sent, or nothing) each keep one
// worker until their deadline; with a deadline longer than this client waits, an answer
// shows that others still find a free worker.
TEST_F(LookdevServerTest, ClientsThatHoldConnectionsLeaveWorkersForOthers) {
  ServerLimits limits;
  limits.request = 60000ms;
  limits.idle = 60000ms;
  Serve(limits);
  std::vector<std::unique_ptr<RawClient>> holding;
  for (int i = 0; i < 24; ++i) {
    holding.push_back(std::make_unique<RawClient>(server->Port()));
    ASSERT_TRUE(holding.back()->Connected());
    if (i % 2 == 0) {
      ASSERT_TRUE(holding.back()->Send("GET /api/scene HTTP/1.1\r\nHo"));
    }
  }
  std::this_thread::sleep_for(200ms);  // every connection taken by a worker
  for (int i = 0; i < 3; ++i) {
    httplib::Client fresh("127.0.0.1", server->Port());
    fresh.set_read_timeout(20, 0);
    auto r = fresh.Get("/api/scene");
    ASSERT_TRUE(r) << "no answer while " << holding.size() << " connections are held";
    EXPECT_EQ(r->status, 200);
  }
  // Stopping does not wait for their deadlines (TearDown joins the server).
}

}  // namespace
}  // namespace host
