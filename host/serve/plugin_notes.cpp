#include "serve/plugin_notes.h"

namespace host {

namespace {

const PluginNotes kCorvane{
    "Turns the light that reaches the surface into a value: every active light of the list adds "
    "(or subtracts) its brightness, the Shader is mixed in, the sum is kept between 0 and 1, and "
    "the result is grey or a colour of the Gradient.",
    {{"XCORVANE_LIGHTS",
      {{"Active", "Active", "the shader counts this light", "the shader ignores this light"},
       {"Add", "Subtract", "its brightness is added", "its brightness is subtracted"}}}},
    {{"XCORVANE_SPARE_VALUE", "Kept with the shader; it has no effect on the result.", ""},
     {"XCORVANE_GRADIENT", "", "Used while Output is Gradient."}}};

}  // namespace

const PluginNotes* NotesForPlugin(int32_t pluginId) {
  switch (pluginId) {
    case 1057829:
      return &kCorvane;
    default:
      return nullptr;
  }
}

}  // namespace host
