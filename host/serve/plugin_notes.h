// plugin_notes.h - words the look-development page shows for a plug-in beyond what its
// description holds.
//
// A description names parameters and choices but does not say what the shader does, what
// each flag bit of an in/exclude list means (the panel would show "flag 1" and "flag 2"),
// nor why a parameter is disabled. For plug-ins the host knows, this table gives a one-line
// help text, a word per flag bit and a line for some parameters; the page's panel code
// stays generic and falls back to numbered flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

/// The words for one flag bit of a list entry.
struct FlagNote {
  std::string on;       ///< label while the bit is set ("Add")
  std::string off;      ///< label while it is clear ("Subtract"); the same word for a plain switch
  std::string onHint;   ///< what a set bit does, for the tooltip
  std::string offHint;  ///< what a clear bit does
};

/// A line shown under a parameter: always, or only while the module disables it (why).
struct ParamNote {
  std::string symbol;
  std::string hint;          ///< empty: none
  std::string disabledHint;  ///< empty: none
};

/// The flag words of one in/exclude parameter, by its description symbol.
struct ListNote {
  std::string symbol;
  std::vector<FlagNote> flags;  ///< bit 0 first
};

struct PluginNotes {
  std::string help;  ///< one line: what the shader does
  std::vector<ListNote> lists;
  std::vector<ParamNote> params;
};

/// The notes for a plug-in ID; nullptr for a plug-in the host has no words for.
const PluginNotes* NotesForPlugin(int32_t pluginId);

}  // namespace host
