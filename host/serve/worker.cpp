// worker.cpp - the page server's worker process and the server's side of it.
#include "serve/worker.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/console.h"
#include "core/fault_boundary.h"
#include "session/session.h"

extern char** environ;

namespace host {

using nlohmann::json;

namespace {

// ---- Frames ---------------------------------------------------------------------------

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteFrame(int fd, const std::string& payload) {
  const auto n = static_cast<uint32_t>(payload.size());
  const char length[4] = {char(n & 0xff), char((n >> 8) & 0xff), char((n >> 16) & 0xff), char(n >> 24)};
  return WriteAll(fd, length, 4) && WriteAll(fd, payload.data(), payload.size());
}

// Reads exactly size bytes, waiting at most until deadline (none: forever). False at the
// end of input, on an error or when the deadline passes.
bool ReadAll(int fd, char* data, size_t size, const std::chrono::steady_clock::time_point* deadline) {
  while (size > 0) {
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline -
                                                                              std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
    }
    ssize_t n = read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadFrame(int fd, std::string* payload, const std::chrono::steady_clock::time_point* deadline = nullptr) {
  unsigned char length[4];
  if (!ReadAll(fd, reinterpret_cast<char*>(length), 4, deadline)) return false;
  const uint32_t n = uint32_t(length[0]) | uint32_t(length[1]) << 8 | uint32_t(length[2]) << 16 |
                     uint32_t(length[3]) << 24;
  if (n > (uint32_t(1) << 30)) return false;  // a broken stream, not an answer
  payload->resize(n);
  return ReadAll(fd, payload->data(), n, deadline);
}

json QueryJson(const Query& query) {
  json q = json::array();
  for (const auto& [name, value] : query) q.push_back({name, value});
  return q;
}

Query QueryFrom(const json& q) {
  Query query;
  if (q.is_array())
    for (const json& pair : q)
      if (pair.is_array() && pair.size() == 2 && pair[0].is_string() && pair[1].is_string())
        query.emplace(pair[0].get<std::string>(), pair[1].get<std::string>());
  return query;
}

Reply ErrorReply(int status, const std::string& message) {
  Reply r;
  r.status = status;
  r.body = json{{"error", message}}.dump();
  return r;
}

// The message of an error answer's body ({"error": ...}), or the body itself.
std::string ErrorText(const std::string& body) {
  const json j = json::parse(body, nullptr, false);
  if (j.is_object() && j.contains("error") && j["error"].is_string()) return j["error"].get<std::string>();
  return body;
}

json SnapshotJson(const LookdevSnapshot& s) {
  return {{"text", s.text}, {"file", s.file}, {"savedText", s.savedText}};
}

LookdevSnapshot SnapshotFrom(const json& j) {
  LookdevSnapshot s;
  if (!j.is_object()) return s;
  s.text = j.value("text", "");
  s.file = j.value("file", "");
  s.savedText = j.value("savedText", "");
  return s;
}

}  // namespace

// ---- The server's side ------------------------------------------------------------------

struct WorkerLookdev::Impl {
  explicit Impl(WorkerOptions o) : options(std::move(o)) {}

  WorkerOptions options;
  std::mutex mutex;  // one request at a time
  std::atomic<pid_t> pid{-1};
  int toWorker = -1, fromWorker = -1;
  std::thread errors;  // copies the worker's stderr to ours, keeping its last report
  std::mutex lineMutex;
  std::string lastReport;
  LookdevSnapshot scene;  // the scene as of the last change; an empty text: options.scene
  int starts = 0;

  bool Spawn(std::string* error);
  void Reap();
  bool Exchange(const json& request, json* meta, std::string* body);
  std::string DeathMessage();
  Reply Call(const std::string& op, const PageRequest& request);
};

bool WorkerLookdev::Impl::Spawn(std::string* error) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return *error = "cannot start the worker: no pipe", false;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]), close(in[1]);
    return *error = "cannot start the worker: no pipe", false;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(in[0]), close(in[1]), close(out[0]), close(out[1]);
    return *error = "cannot start the worker: no pipe", false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  char timeout[32], threads[16];
  std::snprintf(timeout, sizeof timeout, "%g", options.timeout);
  std::snprintf(threads, sizeof threads, "%d", options.renderThreads);
  std::vector<std::string> args = {options.program, "serve-worker", "--plugins", options.plugins,
                                   "--folder",      options.folder, "--timeout", timeout,
                                   "--threads",     threads};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, options.program.c_str(), &actions, nullptr, argv.data(), environ);
  pid = child;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]), close(out[1]), close(err[1]);
  if (spawned != 0) {
    close(in[1]), close(out[0]), close(err[0]);
    pid = -1;
    return *error = "cannot start the worker " + options.program + ": " + std::strerror(spawned), false;
  }
  ++starts;
  toWorker = in[1];
  fromWorker = out[0];
  {
    std::lock_guard lock(lineMutex);
    lastReport.clear();
  }
  errors = std::thread([this, fd = err[0]] {
    // Signals are the server's main thread's to take (SIGTERM stops it), not this one's.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::string pending;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
      std::fwrite(buffer, 1, static_cast<size_t>(n), stderr);
      pending.append(buffer, static_cast<size_t>(n));
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
        const std::string line = pending.substr(0, nl);
        if (line.rfind("corvane-host: ", 0) == 0) {
          std::lock_guard lock(lineMutex);
          lastReport = line.substr(14);
        }
      }
    }
    close(fd);
  });

  // Open the scene: the first one, or the scene as it was when the last worker died.
  json open = scene.text.empty() ? json{{"op", "open"}, {"path", options.scene}}
                                 : json{{"op", "restore"}, {"scene", SnapshotJson(scene)}};
  json meta;
  std::string body;
  if (!Exchange(open, &meta, &body) || meta.value("status", 500) != 200) {
    *error = meta.is_object() && meta.contains("status") ? ErrorText(body) : DeathMessage();
    Reap();
    return false;
  }
  return true;
}

void WorkerLookdev::Impl::Reap() {
  if (pid <= 0) return;
  if (toWorker >= 0) close(toWorker);
  if (fromWorker >= 0) close(fromWorker);
  toWorker = fromWorker = -1;
  // A worker that stopped answering is ended; one that reads its closed input ends itself.
  int status = 0;
  for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  pid = -1;
  if (errors.joinable()) errors.join();
}

std::string WorkerLookdev::Impl::DeathMessage() {
  std::lock_guard lock(lineMutex);
  return lastReport.empty() ? "the worker ended without an answer" : lastReport;
}

bool WorkerLookdev::Impl::Exchange(const json& request, json* meta, std::string* body) {
  if (pid <= 0 || !WriteFrame(toWorker, request.dump())) return false;
  // The worker ends itself at its own time limit; this one is for a worker that cannot.
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(options.timeout + 10));
  std::string head;
  if (!ReadFrame(fromWorker, &head, &until) || !ReadFrame(fromWorker, body, &until)) return false;
  *meta = json::parse(head, nullptr, false);
  return meta->is_object();
}

Reply WorkerLookdev::Impl::Call(const std::string& op, const PageRequest& request) {
  std::lock_guard lock(mutex);
  std::string error;
  if (pid <= 0 && !Spawn(&error)) return ErrorReply(502, error);
  json meta;
  std::string answer;
  const bool answered = Exchange(
      json{{"op", op}, {"query", QueryJson(request.query)}, {"body", request.body}, {"id", request.pathId}}, &meta,
      &answer);
  if (!answered || meta.value("ended", false)) {
    // The worker died (or ends after a module fault): that request fails, the next one
    // gets a new worker with the scene as it was.
    Reap();
    const std::string message = answered ? ErrorText(answer) : DeathMessage();
    return ErrorReply(502, message + "; the plug-ins are being started again, the scene and its edits are kept");
  }
  if (meta.contains("scene")) scene = SnapshotFrom(meta["scene"]);
  Reply reply;
  reply.status = meta.value("status", 500);
  reply.contentType = meta.value("contentType", "application/json");
  if (meta.contains("headers") && meta["headers"].is_object())
    for (const auto& [name, value] : meta["headers"].items())
      if (value.is_string()) reply.headers[name] = value.get<std::string>();
  reply.body = std::move(answer);
  return reply;
}

WorkerLookdev::WorkerLookdev(WorkerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

WorkerLookdev::~WorkerLookdev() {
  Interrupt();
  std::lock_guard lock(impl_->mutex);
  impl_->Reap();
}

void WorkerLookdev::Interrupt() {
  // A request may be waiting for a worker that hangs: ending the worker ends the wait.
  if (const pid_t p = impl_->pid.load(); p > 0) kill(p, SIGKILL);
}

bool WorkerLookdev::Start(std::string* error) {
  std::lock_guard lock(impl_->mutex);
  return impl_->pid > 0 || impl_->Spawn(error);
}

int WorkerLookdev::Starts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->starts;
}

Reply WorkerLookdev::Serve(const PageOperation& op, const PageRequest& request) {
  return impl_->Call(op.name, request);
}

// ---- The worker's side ------------------------------------------------------------------

int RunServeWorker(const WorkerOptions& options) {
  // The server reads its answers from stdout: the console goes to stderr only.
  Session session;
  session.LoadPluginsFolder(options.plugins);
  Lookdev lookdev(session, options.folder, LookdevOptions{options.renderThreads});
  auto answer = [](const Reply& reply, const json& extra = json::object()) {
    json meta = extra;
    meta["status"] = reply.status;
    meta["contentType"] = reply.contentType;
    meta["headers"] = reply.headers;
    return WriteFrame(STDOUT_FILENO, meta.dump()) && WriteFrame(STDOUT_FILENO, reply.body);
  };
  std::string frame;
  while (ReadFrame(STDIN_FILENO, &frame)) {
    const json request = json::parse(frame, nullptr, false);
    const std::string op = request.is_object() ? request.value("op", "") : "";
    PageRequest page;
    if (request.is_object()) {
      page.body = request.value("body", "");
      page.pathId = request.value("id", "");
      if (request.contains("query")) page.query = QueryFrom(request["query"]);
    }
    Reply reply;
    {
      // Module code that never returns ends the worker, naming the call.
      Watchdog watchdog(options.timeout, "the page's " + op + " request");
      std::string error;
      // The worker's own start (the first scene, or the scene the last worker had), not an
      // operation of the page: everything else is the table's.
      if (op == "open" || op == "restore") {
        const bool ok = op == "open" ? lookdev.Open(request.value("path", ""), &error)
                                     : lookdev.Restore(SnapshotFrom(request.value("scene", json())), &error);
        reply = ok ? Reply{} : ErrorReply(400, error);
        if (ok) reply.body = "{}";
      } else {
        reply = ServePageOperation(lookdev, op, page);
      }
    }
    // A module that threw is called no more in this process: this worker ends after
    // answering, and the server starts a fresh one.
    ModuleFault fault;
    if (TakeModuleFault(&fault)) {
      std::fprintf(stderr, "corvane-host: %s\n", fault.ToString().c_str());
      answer(ErrorReply(502, fault.ToString()), json{{"ended", true}});
      return 1;
    }
    json extra = json::object();
    const PageOperation* served = FindPageOperation(op);
    if (served && served->changesScene && reply.status == 200) {
      extra = json{{"scene", SnapshotJson(lookdev.Snapshot())}};
    }
    if (!answer(reply, extra)) return 1;
  }
  return 0;
}

}  // namespace host
