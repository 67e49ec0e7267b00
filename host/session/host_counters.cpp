#include "session/host_counters.h"

#include "bitmap/bitmap.h"
#include "core/customdata.h"
#include "core/lights.h"
#include "core/memory.h"
#include "core/text.h"
#include "resources/resources.h"

namespace host {

HostCounters HostCounters::Now() {
  HostCounters c;
  c.blocks = GetMemoryStats().liveBlocks;
  c.rayLights = LiveRayLights();
  c.bitmaps = LiveBitmapCount();
  c.gradients = LiveGradients();
  c.resources = LiveResourceCount();
  c.icons = int64_t(ListIcons().size());
  c.texts = LiveTexts();
  return c;
}

std::string HostCounters::Difference(const HostCounters& o) const {
  std::string out;
  auto one = [&](const char* what, int64_t a, int64_t b) {
    if (a != b) out += std::string(" ") + what + " " + std::to_string(a) + " -> " + std::to_string(b);
  };
  one("module blocks", blocks, o.blocks);
  one("render lights", rayLights, o.rayLights);
  one("bitmaps", bitmaps, o.bitmaps);
  one("gradients", gradients, o.gradients);
  one("resources", resources, o.resources);
  one("icons", icons, o.icons);
  one("texts", texts, o.texts);
  return out;
}

}  // namespace host
