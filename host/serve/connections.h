// connections.h - cpp-httplib's server with time limits per request instead of per read.
//
// The library's own connection loop limits each single read to its read timeout, so a
// client that sends one byte a second keeps a worker thread for as long as it likes, and
// a handful of such clients take every worker. DeadlineServer serves each connection
// itself: a request's header and body must arrive within one deadline counted from its
// first byte, an answer must leave within another, and an idle connection is closed after
// its idle time. A request that misses its deadline is answered 408 when the client still
// listens, then the connection is closed. Internal to the page server (needs httplib.h).
#pragma once

#include <httplib.h>

#include <string>

#include "serve/server.h"

namespace host {

class DeadlineServer : public httplib::Server {
 public:
  explicit DeadlineServer(const ServerLimits& limits) : limits_(limits) {}

  const ServerLimits& Limits() const { return limits_; }
  /// Whether the request being handled on the calling thread ran out of time or bytes
  /// while it was read (for the error handler, which then answers 408 or 413).
  static bool RequestTimedOut();
  static bool RequestTooLarge();
  /// "the request did not arrive within 5 s": the message of a request that timed out.
  std::string TimeoutMessage() const;

 private:
  bool process_and_close_socket(socket_t sock) override;

  ServerLimits limits_;
};

}  // namespace host
