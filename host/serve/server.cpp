#include "serve/server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>
#include <thread>

#include "serve/connections.h"
#include "serve/operations.h"
#include "serve/page_files.h"

namespace host {

namespace {

const char* ContentType(std::string_view name) {
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  return "application/octet-stream";
}

void Send(const Reply& reply, httplib::Response& res) {
  res.status = reply.status;
  for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  if (!reply.headers.count("Cache-Control")) res.set_header("Cache-Control", "no-store");
  res.set_content(reply.body, reply.contentType);
}

/// The request's query as a Query.
Query QueryOf(const httplib::Request& req) { return Query(req.params.begin(), req.params.end()); }

std::string ErrorBody(const std::string& message) { return nlohmann::json{{"error", message}}.dump(); }

/// Why a browser's request comes from another web page than this server's own, or empty:
/// the browser's Sec-Fetch-Site (a page of another site, or of another port or name of
/// this host) or an Origin header naming anything but this server.
std::string ForeignSite(const httplib::Request& req, const std::string& port) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (site == "cross-site" || site == "same-site") return "Sec-Fetch-Site: " + site;
  if (req.has_header("Origin")) {
    const std::string origin = req.get_header_value("Origin");
    if (origin != "http://127.0.0.1:" + port && origin != "http://localhost:" + port)
      return "Origin: " + origin.substr(0, 200);
  }
  return {};
}

/// Why 127.0.0.1:port cannot be bound: cpp-httplib says only that it failed, so a plain
/// socket tries again for the system's reason.
std::string WhyNotBound(int port) {
  const std::string where = "127.0.0.1:" + std::to_string(port);
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return "cannot listen on " + where + ": " + std::strerror(errno);
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int error = 0;
  if (bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(sock, 1) != 0)
    error = errno;
  close(sock);
  if (error == EADDRINUSE) return "port " + std::to_string(port) + " is in use";
  return "cannot listen on " + where + (error ? std::string(": ") + std::strerror(error) : std::string());
}

}  // namespace

struct LookdevServer::Impl {
  Impl(LookdevService& l, const ServerLimits& limits) : lookdev(l), server(limits) {}
  LookdevService& lookdev;
  DeadlineServer server;
  std::atomic<int> port{0};
};

LookdevServer::LookdevServer(LookdevService& lookdev, const ServerLimits& limits)
    : impl_(std::make_unique<Impl>(lookdev, limits)) {
  httplib::Server& s = impl_->server;
  LookdevService& l = impl_->lookdev;
  // A worker per connection, enough that connections waiting for their deadlines leave
  // others free; the idle limit also bounds how long a kept-alive connection holds one.
  const size_t workers = size_t(std::max(1, limits.workers));
  s.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  // What the Keep-Alive answer header announces (the connection loop applies limits.idle).
  s.set_keep_alive_timeout(std::max<time_t>(1, time_t(limits.idle.count() / 1000)));
  // Somewhat more than the API allows, so that the API's own check answers with its message.
  s.set_payload_max_length(kMaxRequestBytes + 1);
  // An image answer is headers then body: without this the body waits for the client's
  // delayed acknowledgement of the headers (tens of milliseconds a preview).
  s.set_tcp_nodelay(true);
  // Address reuse lets a new server take the port of one that just stopped (connections in
  // TIME_WAIT), but never the port of one still listening: cpp-httplib's own options also
  // turn on SO_REUSEPORT, with which two servers share the port and take requests in turn.
  s.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });

  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string host = req.get_header_value("Host");
    const std::string port = std::to_string(impl_->port.load());
    if (host != "127.0.0.1:" + port && host != "localhost:" + port) {
      res.status = 403;
      res.set_content(ErrorBody("this server answers requests for 127.0.0.1:" + port + " only"),
                      "application/json");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.path.rfind("/api/", 0) == 0) {
      const std::string foreign = ForeignSite(req, port);
      if (!foreign.empty()) {
        res.status = 403;
        res.set_content(ErrorBody("refused: the request comes from another web page (" + foreign +
                                  "); only this server's own page may use its API"),
                        "application/json");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    if (req.method == "POST" && req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
      res.status = 415;
      res.set_content(ErrorBody("send the request as application/json"), "application/json");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Answers the library makes itself (unknown path, oversized or malformed request) get a
  // message too.
  s.set_error_handler(
      httplib::Server::HandlerWithResponse([this](const httplib::Request&, httplib::Response& res) {
        if (DeadlineServer::RequestTimedOut()) {
          res.status = 408;
          res.set_header("Connection", "close");
          res.set_content(ErrorBody(impl_->server.TimeoutMessage()), "application/json");
          return httplib::Server::HandlerResponse::Handled;
        }
        if (DeadlineServer::RequestTooLarge()) res.status = 413;
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string message =
            res.status == 404 ? "no such page or API"
            : res.status == 413
                ? "the request is too large (at most " + std::to_string(kMaxRequestBytes) + " bytes)"
                : "the request was refused (HTTP " + std::to_string(res.status) + ")";
        res.set_content(ErrorBody(message), "application/json");
        return httplib::Server::HandlerResponse::Handled;
      }));
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
    std::string message = "internal error";
    try {
      if (ep) std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      message += std::string(": ") + e.what();
    } catch (...) {
    }
    res.status = 500;
    res.set_content(ErrorBody(message), "application/json");
  });

  s.Get(R"(/([a-z]+\.(html|js|css))?)", [](const httplib::Request& req, httplib::Response& res) {
    std::string name = req.matches[1].str();
    if (name.empty()) name = "index.html";
    const PageFile* file = FindPageFile(name);
    if (!file) {
      res.status = 404;
      return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(reinterpret_cast<const char*>(file->data), file->size, ContentType(name));
  });
  // The page's operations, one route each (serve/operations.h).
  for (const PageOperation& op : PageOperations()) {
    auto serve = [&l, &op](const httplib::Request& req, httplib::Response& res) {
      PageRequest request{QueryOf(req), req.body, req.matches.size() > 1 ? req.matches[1].str() : std::string()};
      Send(l.Serve(op, request), res);
    };
    if (std::string_view(op.method) == "POST")
      s.Post(op.path, serve);
    else
      s.Get(op.path, serve);
  }
}

LookdevServer::~LookdevServer() { Stop(); }

bool LookdevServer::Bind(int port, std::string* error) {
  bool ok = false;
  if (port == 0) {
    int bound = impl_->server.bind_to_any_port("127.0.0.1");
    ok = bound > 0;
    port = bound;
  } else {
    ok = impl_->server.bind_to_port("127.0.0.1", port);
  }
  if (!ok) {
    *error = WhyNotBound(port);
    return false;
  }
  impl_->port = port;
  return true;
}

int LookdevServer::Port() const { return impl_->port; }

void LookdevServer::Run() { impl_->server.listen_after_bind(); }

void LookdevServer::Stop() { impl_->server.stop(); }

void LookdevServer::RunUntilSignal(const std::function<void()>& onSignal) {
  // A shell starts background commands with SIGINT ignored, and an ignored signal never
  // reaches sigwait: the two signals get their default action back before being blocked.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::atomic<bool> served{false};
  std::thread waiter([&] {
    int received = 0;
    sigwait(&signals, &received);
    // Requests still running (a worker that hangs, say) end first, so the stop need not wait.
    if (onSignal) onSignal();
    Stop();
    // A stop that came before the server listened: wait for it, then stop it.
    while (!served && !impl_->server.is_running()) std::this_thread::yield();
    Stop();
  });
  Run();
  served = true;
  // The server stopped without a signal (it failed): wake the waiting thread.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
}

}  // namespace host
