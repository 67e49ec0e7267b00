// serve_probe - measures a running `corvane-host serve` from outside: the latency of one
// request, repeated, on fresh connections, optionally while clients that send one byte a
// second hold connections of their own. Prints each latency's median and maximum and how
// many requests got no answer within the timeout. Also writes the many-shader scene the
// benchmarks use, for serving it.
//
//   serve_probe PORT [--path /api/scene] [--slow 16] [--requests 20] [--timeout 5] [--interval MS]
//   serve_probe --write-scene SHADERS FILE
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "serve_load.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-scene") == 0) {
    std::ofstream(argv[3]) << host::bench::ManyShadersScene(std::atoi(argv[2]));
    return 0;
  }
  if (argc < 2 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: %s PORT [--path P] [--slow N] [--requests N] [--timeout S] [--interval MS]\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  std::string path = "/api/scene";
  int slowCount = 16, requests = 20, timeout = 5, interval = 0;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--path") path = argv[i + 1];
    else if (flag == "--slow") slowCount = std::atoi(argv[i + 1]);
    else if (flag == "--requests") requests = std::atoi(argv[i + 1]);
    else if (flag == "--timeout") timeout = std::atoi(argv[i + 1]);
    else if (flag == "--interval") interval = std::atoi(argv[i + 1]);
    else return std::fprintf(stderr, "unknown option %s\n", flag.c_str()), 2;
  }

  host::bench::SlowClients slow(port, slowCount);
  if (slowCount > 0) std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<double> ms;
  int unanswered = 0, refused = 0;
  for (int i = 0; i < requests; ++i) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(timeout, 0);
    client.set_read_timeout(timeout, 0);
    const auto start = std::chrono::steady_clock::now();
    auto res = client.Get(path);
    const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!res) ++unanswered;
    else if (res->status != 200) ++refused;
    else ms.push_back(took);
    std::this_thread::sleep_for(std::chrono::milliseconds(interval));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("GET %s x %d beside %d slow clients (1 byte/s): ", path.c_str(), requests, slowCount);
  if (!ms.empty())
    std::printf("median %.1f ms, max %.1f ms, ", ms[ms.size() / 2], ms.back());
  std::printf("%d without an answer within %d s, %d refused; slow clients disconnected %d times\n", unanswered,
              timeout, refused, slow.Disconnects());
  return 0;
}
