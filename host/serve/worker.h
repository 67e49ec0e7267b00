// worker.h - the page's requests answered by a worker process.
//
// The page server never calls module code itself: a WorkerLookdev forwards every request
// to a worker process (`corvane-host serve-worker`), which holds the session, the loaded
// plug-ins and the scene, and answers with a Lookdev. The server keeps the scene's saved
// text (and the scene as last saved) as of the last request that changed it. When the worker dies while it answers (a
// crash or an exception in module code, a request over its time limit) the request is
// answered with 502 and the worker's last line, and the next request starts a new worker
// that loads the plug-ins and that scene text again: the page keeps its edits.
//
// Between the two processes: frames of a 4-byte little-endian length and that many bytes;
// a request is one JSON frame ({"op", "query", "body", "id"}: a PageOperation's name and its
// PageRequest), an answer a JSON frame ({"status",
// "contentType", "headers", and "scene" after a change: a LookdevSnapshot}) and a frame with
// the body.
#pragma once

#include <memory>
#include <string>

#include "serve/lookdev.h"

namespace host {

struct WorkerOptions {
  std::string program;      ///< the corvane-host program to start as the worker
  std::string plugins;      ///< the plug-ins folder
  std::string folder;       ///< the served folder
  std::string scene;        ///< the scene file to open first (absolute)
  double timeout = 20;      ///< seconds a request may take in the worker
  int renderThreads = 0;    ///< the worker's preview and swatch threads; 0: all cores
};

/// The page's requests, answered in a worker process. Thread-safe: one request at a time.
class WorkerLookdev : public LookdevService {
 public:
  explicit WorkerLookdev(WorkerOptions options);
  ~WorkerLookdev() override;
  WorkerLookdev(const WorkerLookdev&) = delete;
  WorkerLookdev& operator=(const WorkerLookdev&) = delete;

  /// Starts the worker and opens the scene; false with *error when that fails (the
  /// worker's own message, e.g. a scene that does not load).
  bool Start(std::string* error);

  /// Forwards op to the worker, which answers it with its Lookdev.
  Reply Serve(const PageOperation& op, const PageRequest& request) override;

  /// Workers started so far (1 after Start; one more after each death).
  int Starts() const;
  /// Ends the worker at once, so that a request waiting for it fails now (the server is
  /// stopping). Thread-safe; a later request starts a new worker.
  void Interrupt();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The worker's side: answers requests from stdin on stdout until stdin ends. Exit code
/// 0 at the end of input, 1 after a module fault (the answer says which) or when the
/// plug-ins folder or the scene cannot be opened.
int RunServeWorker(const WorkerOptions& options);

}  // namespace host
