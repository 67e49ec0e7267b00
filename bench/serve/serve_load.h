// serve_load.h - load for measuring the look-development server: clients that send one
// byte a second on connections of their own, and scenes with many plug-in shaders.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace host::bench {

/// count clients on 127.0.0.1:port, each sending a request one byte a second on its own
/// connection, and opening a new one whenever the server closes theirs; they stop when the
/// object is destroyed.
class SlowClients {
 public:
  SlowClients(int port, int count) {
    for (int i = 0; i < count; ++i) threads_.emplace_back([this, port] { Trickle(port); });
  }
  ~SlowClients() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
  }
  SlowClients(const SlowClients&) = delete;
  SlowClients& operator=(const SlowClients&) = delete;

  /// Connections the server has closed on them so far.
  int Disconnects() const { return disconnects_; }

 private:
  void Trickle(int port) {
    const std::string request = "GET /api/scene HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nX-Slow: " + std::string(4096, 's') + "\r\n\r\n";
    while (!stop_) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_port = htons(uint16_t(port));
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        for (size_t sent = 0; !stop_ && sent < request.size(); ++sent) {
          if (::send(fd, &request[sent], 1, MSG_NOSIGNAL) != 1) break;
          // A second between bytes, looking every 50 ms whether the server closed.
          pollfd p{fd, POLLIN, 0};
          bool closed = false;
          for (int i = 0; i < 20 && !stop_ && !closed; ++i) closed = ::poll(&p, 1, 50) > 0;
          if (closed) break;
        }
        ++disconnects_;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      ::close(fd);
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> disconnects_{0};
  std::vector<std::thread> threads_;
};

/// A scene of n Corvane shaders, each with its own values and a light list of two lights,
/// the first on a plane in front of the camera.
inline std::string ManyShadersScene(int n) {
  using nlohmann::json;
  json shaders = json::array();
  for (int i = 0; i < n; ++i)
    shaders.push_back({{"name", "Mask" + std::to_string(i)},
                       {"plugin", "Corvane"},
                       {"parameters",
                        {{"XCORVANE_LIGHTS", {{{"object", "A"}, {"flags", 3}}, {{"object", "B"}, {"flags", 1}}}},
                         {"XCORVANE_INVERT", i % 2 == 1},
                         {"XCORVANE_SPARE_VALUE", (i % 100) / 100.0}}}});
  json scene = {
      {"version", 1},
      {"camera", {{"position", {0, 0, 0}}, {"direction", {0, 0, 1}}, {"fov", 40}, {"resolution", {64, 36}}}},
      {"render", {{"samples", 1}}},
      {"objects",
       {{{"name", "Wall"}, {"type", "plane"}, {"position", {0, 0, 10}}, {"direction", {0, 0, -1}},
         {"material", "M"}}}},
      {"lights",
       {{{"name", "A"}, {"type", "distant"}, {"direction", {0, 0, 1}}},
        {{"name", "B"}, {"type", "distant"}, {"direction", {0, 0, 1}}}}},
      {"materials", {{{"name", "M"}, {"shader", "Mask0"}}}},
      {"shaders", shaders}};
  return scene.dump(1);
}

}  // namespace host::bench
