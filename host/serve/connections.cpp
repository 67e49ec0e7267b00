#include "serve/connections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace host {

namespace {

using Clock = std::chrono::steady_clock;

// What went wrong with the request being read on this thread.
thread_local bool requestTimedOut = false;
thread_local bool requestTooLarge = false;

/// How often a wait looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};

/// One connection's socket as the library's Stream: buffered reads that fail past the
/// request's deadline or byte budget, and writes that fail past the answer's deadline.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int sock, const ServerLimits& limits, std::function<bool()> stopping)
      : sock_(sock), limits_(limits), stopping_(std::move(stopping)) {}

  /// Waits up to the idle time for the next request's first byte; false when the
  /// connection closed, stayed idle or the server stops.
  bool WaitForRequest() {
    if (start_ < end_) return true;
    return Wait(POLLIN, Clock::now() + limits_.idle);
  }

  /// Starts the deadlines and the byte budget of a new request.
  void StartRequest() {
    readDeadline_ = Clock::now() + limits_.request;
    writing_ = false;
    requestBytes_ = 0;
    requestTimedOut = false;
    requestTooLarge = false;
  }

  /// Reads and drops what the client still sends, until it closes, for up to wait or bytes.
  void Drain(std::chrono::milliseconds wait, size_t bytes) {
    const auto until = Clock::now() + wait;
    char sink[4096];
    while (bytes > 0 && Wait(POLLIN, until)) {
      const ssize_t n = ::recv(sock_, sink, sizeof sink, 0);
      if (n <= 0) return;
      bytes -= std::min(bytes, size_t(n));
    }
  }

  bool TimedOut() const { return requestTimedOut; }
  bool TooLarge() const { return requestTooLarge; }
  bool Wrote() const { return writing_; }

  bool is_readable() const override { return start_ < end_ || WaitToRead(); }
  bool is_writable() const override {
    StartWriting();
    return Wait(POLLOUT, writeDeadline_);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (start_ == end_) {
      if (requestBytes_ >= limits_.requestBytes) {
        requestTooLarge = true;
        return -1;
      }
      if (!WaitToRead()) return -1;
      ssize_t n;
      do n = ::recv(sock_, buffer_, sizeof buffer_, 0);
      while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      start_ = 0;
      end_ = size_t(n);
    }
    // Bytes beyond the budget stay in the buffer: the next read fails instead.
    size_t n = std::min({size, end_ - start_, limits_.requestBytes - std::min(requestBytes_, limits_.requestBytes)});
    if (n == 0) {
      requestTooLarge = true;
      return -1;
    }
    std::memcpy(ptr, buffer_ + start_, n);
    start_ += n;
    requestBytes_ += n;
    return ssize_t(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    StartWriting();
    if (!Wait(POLLOUT, writeDeadline_)) return -1;
    ssize_t n;
    do n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, &ip, &port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, &ip, &port);
  }
  socket_t socket() const override { return sock_; }

 private:
  void StartWriting() const {
    if (writing_) return;
    writing_ = true;
    writeDeadline_ = Clock::now() + limits_.answer;
  }

  /// Waits for the request's next bytes; false, and the request marked late once its
  /// deadline has passed, when none come in time.
  bool WaitToRead() const {
    if (Wait(POLLIN, readDeadline_)) return true;
    if (Clock::now() >= readDeadline_) requestTimedOut = true;
    return false;
  }

  /// Waits until the socket is ready for events, it failed or closed (true: the next call
  /// tells), or until deadline or a server stop (false).
  bool Wait(short events, Clock::time_point deadline) const {
    for (;;) {
      // Compared unrounded: a wait that gives up before the deadline has passed would
      // read as a failed connection rather than a late request.
      const auto now = Clock::now();
      if (now >= deadline || stopping_()) return false;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
      pollfd p{sock_, events, 0};
      const int ready = ::poll(&p, 1, int(std::min(left, kStopCheck).count()));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
  }

  void Address(int (*query)(int, sockaddr*, socklen_t*), std::string* ip, int* port) const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char text[INET6_ADDRSTRLEN] = "";
    *port = -1;
    if (query(sock_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return;
    if (addr.ss_family == AF_INET) {
      const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
      ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
      *port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
      const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
      ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
      *port = ntohs(a->sin6_port);
    }
    *ip = text;
  }

  int sock_;
  const ServerLimits& limits_;
  std::function<bool()> stopping_;
  char buffer_[4096];
  size_t start_ = 0, end_ = 0;  ///< unread bytes of buffer_
  size_t requestBytes_ = 0;
  Clock::time_point readDeadline_{};
  mutable Clock::time_point writeDeadline_{};  // the answer's deadline starts with its first byte
  mutable bool writing_ = false;
};

/// The answer to a request whose first line did not arrive in time (the library answers
/// nothing then): a client that still listens learns why the connection closes.
void SendTimeout(DeadlineStream& stream, const std::string& message) {
  const std::string body = "{\"error\":\"" + message + "\"}";
  const std::string answer =
      "HTTP/1.1 408 Request Timeout\r\nContent-Type: application/json\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  stream.write(answer.data(), answer.size());
}

}  // namespace

bool DeadlineServer::RequestTimedOut() { return requestTimedOut; }
bool DeadlineServer::RequestTooLarge() { return requestTooLarge; }

std::string DeadlineServer::TimeoutMessage() const {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", double(limits_.request.count()) / 1000);
  return std::string("the request did not arrive within ") + seconds + " s";
}

bool DeadlineServer::process_and_close_socket(socket_t sock) {
  DeadlineStream stream(sock, limits_, [this] { return svr_sock_ == INVALID_SOCKET; });
  bool served = false;
  // Keep-alive: up to the library's count of requests per connection, each with its own
  // deadlines; the last one is answered with "Connection: close".
  for (size_t left = keep_alive_max_count_; left > 0; --left) {
    if (!stream.WaitForRequest()) break;
    stream.StartRequest();
    bool closed = false;
    served = process_request(stream, left == 1, closed, nullptr);
    if (!served && stream.TimedOut() && !stream.Wrote()) SendTimeout(stream, TimeoutMessage());
    // A request cut off by its limits leaves the rest of its bytes unread: close.
    if (!served || closed || stream.TimedOut() || stream.TooLarge()) break;
  }
  // A request cut off by its limits may have bytes in flight: closing on them would reset
  // the connection and could drop the answer before the client reads it. Stop sending,
  // take what still arrives for a moment, then close.
  if (stream.TimedOut() || stream.TooLarge()) {
    ::shutdown(sock, SHUT_WR);
    stream.Drain(std::chrono::milliseconds(500), 256 * 1024);
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return served;
}

}  // namespace host
