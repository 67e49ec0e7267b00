// message_recorder.h - records the messages a host sends to its nodes, for tests that
// check who received what (the host's message observer, see Host::SetMessageObserver).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "core/host.h"

namespace host::test {

class MessageRecorder {
 public:
  struct Received {
    int32_t type;
    void* data;
  };

  /// Observes host's messages until destroyed.
  explicit MessageRecorder(Host& host) : host_(host) {
    host_.SetMessageObserver([this](const Node& node, int32_t type, void* data) {
      std::lock_guard lock(mutex_);
      received_[&node].push_back({type, data});
    });
  }
  ~MessageRecorder() { host_.SetMessageObserver(nullptr); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  /// Every message sent to node since the recorder started (or the last Clear), oldest first.
  std::vector<Received> Of(const Node* node) const {
    std::lock_guard lock(mutex_);
    auto it = received_.find(node);
    return it == received_.end() ? std::vector<Received>{} : it->second;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
  }

 private:
  Host& host_;
  mutable std::mutex mutex_;
  std::map<const Node*, std::vector<Received>> received_;
};

}  // namespace host::test
