// host_counters.h - every count the host keeps of what modules hold: memory blocks, render
// lights, bitmaps, gradients, loaded resources, icons and texts. A session that ends with
// the counters where it started leaked nothing through the host.
#pragma once

#include <cstdint>
#include <string>

namespace host {

struct HostCounters {
  int64_t blocks = 0, rayLights = 0, bitmaps = 0, gradients = 0, resources = 0, icons = 0, texts = 0;

  /// The counters now.
  static HostCounters Now();
  /// " module blocks 3 -> 5 render lights 0 -> 1": each counter that differs in later; empty
  /// when none does.
  std::string Difference(const HostCounters& later) const;
};

}  // namespace host
