// server.h - the look-development page's web server: the page files and the JSON API of a
// Lookdev on 127.0.0.1, answered with cpp-httplib.
//
//   GET  /, /app.js, /gradient.js, /scene.js, /style.css   the page
//   GET and POST /api/...            the page's operations, one route each as
//                                    serve/operations.h lists them
//
// Requests must name the server as 127.0.0.1:<port> or localhost:<port> in their Host
// header, API requests that a browser marks as coming from another site (Sec-Fetch-Site
// cross-site or same-site, or an Origin other than the server's own) are refused, and
// requests that change something must be application/json: another web page that the same
// browser shows can then neither make edits, write files nor keep the scene busy with
// renders. Slow and idle clients are cut off by the limits of ServerLimits.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "serve/lookdev.h"

namespace host {

/// Limits of the server's connections, so that clients that send or read slowly, or hold
/// connections open doing nothing, cannot keep the server from answering others.
struct ServerLimits {
  /// A request's header and body must arrive within this, counted from its first byte
  /// (however the client spaces its bytes); later it is answered 408 and disconnected.
  std::chrono::milliseconds request{5000};
  /// An answer must be taken by the client within this, counted from its first byte.
  std::chrono::milliseconds answer{30000};
  /// An open connection waits this long for its next request, then is closed.
  std::chrono::milliseconds idle{5000};
  /// Most bytes of one request's header and body together.
  size_t requestBytes = kMaxRequestBytes + 64 * 1024;
  /// Connections served at once, one thread each; more wait until one is free.
  int workers = 64;
};

class LookdevServer {
 public:
  explicit LookdevServer(LookdevService& lookdev, const ServerLimits& limits = {});
  ~LookdevServer();
  LookdevServer(const LookdevServer&) = delete;
  LookdevServer& operator=(const LookdevServer&) = delete;

  /// Binds to 127.0.0.1:port (0: a free port the system picks). False with *error when
  /// the port cannot be had: "port N is in use" when another socket listens on it (another
  /// server included: the port is never shared).
  bool Bind(int port, std::string* error);
  /// The bound port (0 before Bind).
  int Port() const;
  /// Serves until Stop is called (from any thread).
  void Run();
  void Stop();
  /// Serves until SIGINT or SIGTERM arrives, then stops. Call it before starting threads
  /// of one's own: the two signals are blocked in the calling thread and every thread it
  /// starts, and taken by one waiting thread.
  /// onSignal (if any) runs first when the signal arrives.
  void RunUntilSignal(const std::function<void()>& onSignal = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
