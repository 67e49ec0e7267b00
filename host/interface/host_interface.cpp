// host_interface.cpp - the interface record from the suites of core, bitmap and resources.
#include "interface/host_interface.h"

#include "bitmap/bitmap.h"
#include "core/suites.h"
#include "resources/resources.h"

namespace host {

const C4DHostInterface* Interface() {
  static const C4DHostInterface record{C4D_API_VERSION,    0,
                                       MemorySuite1(),     TextSuite1(),
                                       ContainerSuite1(),  NodeSuite1(),
                                       CustomDataSuite1(), RenderSuite1(),
                                       BitmapSuite1(),     RegistrySuite1()};
  return &record;
}

}  // namespace host
