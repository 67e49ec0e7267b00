// host.h - host::Host: the state of one host session.
//
// A Host owns the documents and the plug-in registry. Exactly one may exist at a time; it
// is the process's current host from construction to destruction (tests make one per
// test). Service functions that need host state (plug-in registration, creating plug-in
// shaders) use the current host and answer "absent" when there is none.
//
// Teardown order: ~Host destroys the documents first (calling the plug-ins' Free for every
// instance, so the modules must still be loaded), then forgets the plug-ins, resets the
// bitmap and resource state (ResetBitmapState / ResetResourceState) and the fault
// injections of the allocator (with the numbering of module allocation requests) and of
// GradientAlloc.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/plugins.h"
#include "core/scene.h"

namespace host {

class Host {
 public:
  /// Becomes the current host; aborts with a message if another one exists.
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  /// The current host, or null.
  static Host* Current();

  /// A new empty document owned by the host.
  Document* NewDocument(std::string name = {});
  /// Destroys doc; false if it is not one of this host's documents.
  bool DeleteDocument(Document* doc);
  /// The live documents, oldest first.
  std::vector<Document*> Documents() const;
  /// Destroys every document (and so every plug-in instance); e.g. before unloading modules.
  void DestroyDocuments();

  PluginRegistry& Plugins() { return plugins_; }
  const PluginRegistry& Plugins() const { return plugins_; }

  /// Sees every message sent to a node of this host's documents, before it is dispatched
  /// (a refused recursive one too). For tests and tools; none by default. It is called on
  /// whatever thread sends the message, so it must be thread-safe; set it while no message
  /// is in flight.
  using MessageObserver = std::function<void(const Node& node, int32_t type, void* data)>;
  void SetMessageObserver(MessageObserver observer) { messageObserver_ = std::move(observer); }
  const MessageObserver& GetMessageObserver() const { return messageObserver_; }

 private:
  std::vector<std::unique_ptr<Document>> documents_;
  PluginRegistry plugins_;
  MessageObserver messageObserver_;
};

}  // namespace host
