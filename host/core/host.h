// host.h - host::Host: the state of one host session.
//
// A Host owns the documents and the HostServices (core/services.h): every piece of process
// state the suites reach (allocator counters and fault injections, live-handle tables,
// render lights, the plug-in registry, bitmaps and icons, resources and descriptions, the
// recorded module fault, the call-journal counters). Exactly one Host may exist at a time;
// from construction to destruction its services are the ones the C suites reach
// (Services()); with no Host they reach the detached services, and a new Host starts from
// clean state. Code that is not a suite takes the Host (or Session) it works for.
//
// Teardown order: ~Host destroys the documents first (calling the plug-ins' Free for every
// instance, so the modules must still be loaded; a Session unloads its modules before
// that), then forgets the plug-ins, stops being current (suites reach the detached
// services from then on) and destroys its HostServices in the order services.h documents.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/plugins.h"
#include "core/scene.h"
#include "core/services.h"

namespace host {

class Host {
 public:
  /// Becomes the current host (its services are the ones the suites reach); aborts with
  /// a message if another one exists.
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  /// A new empty document owned by the host.
  Document* NewDocument(std::string name = {});
  /// Destroys doc; false if it is not one of this host's documents.
  bool DeleteDocument(Document* doc);
  /// The live documents, oldest first.
  std::vector<Document*> Documents() const;
  /// Destroys every document (and so every plug-in instance); e.g. before unloading modules.
  void DestroyDocuments();

  PluginRegistry& Plugins() { return services_.plugins; }
  const PluginRegistry& Plugins() const { return services_.plugins; }

  /// The process state this host owns (core/services.h).
  HostServices& Services() { return services_; }

  /// Sees every message sent to a node of this host's documents, before it is dispatched
  /// (a refused recursive one too). For tests and tools; none by default. It is called on
  /// whatever thread sends the message, so it must be thread-safe; set it while no message
  /// is in flight.
  using MessageObserver = std::function<void(const Node& node, int32_t type, void* data)>;
  void SetMessageObserver(MessageObserver observer) { messageObserver_ = std::move(observer); }
  const MessageObserver& GetMessageObserver() const { return messageObserver_; }

 private:
  HostServices services_;  // first: destroyed last, after the documents
  std::vector<std::unique_ptr<Document>> documents_;
  MessageObserver messageObserver_;
};

}  // namespace host
