// plugin_notes.h - words the look-development page shows for a plug-in beyond what its
// description holds, read from the plug-in's own string table.
//
// A description names parameters and choices but does not say what the shader does, what
// each flag bit of an in/exclude list means, nor why a parameter is disabled. A plug-in
// gives these words as texts of its module's string table (strings_en-US/c4d_strings.str,
// each ID declared in c4d_symbols.h), named after the description and its parameters;
// docs/plugin-texts.md describes the names for plug-in developers:
//
//   IDS_<DESCRIPTION>_HELP                  one line: what the shader does (<DESCRIPTION>:
//                                           the description's name in capitals, XSAMPLE)
//   IDS_<PARAMETER>_HINT                    a line always shown under the parameter
//   IDS_<PARAMETER>_DISABLED                a line shown while the module disables it
//   IDS_<LIST>_FLAG<n>_ON, _FLAG<n>_OFF     the word of flag bit n (from 1) set and clear
//   IDS_<LIST>_FLAG<n>_ON_HINT, _OFF_HINT   what the bit does set and clear (tooltips)
//
// Words a plug-in does not give are generic: "Flag n" for a bit (its clear word the same as
// its set word), "flag n on" and "flag n off" for its hints, no help line and no lines
// under parameters. The page's panel code stays generic.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "resources/resources.h"

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
  std::vector<FlagNote> flags;  ///< bit 0 first, one per NUM_FLAGS of the list
};

struct PluginNotes {
  std::string help;  ///< one line: what the shader does; empty: none
  std::vector<ListNote> lists;    ///< every in/exclude list with flags, in description order
  std::vector<ParamNote> params;  ///< the parameters that have a line, in description order
};

/// Most flag bits of a list entry the page shows (flags are non-negative 32-bit integers).
inline constexpr int kMaxListFlags = 31;

/// The flag bits of an in/exclude list's entries: its NUM_FLAGS, within 0 and kMaxListFlags.
int ListFlagCount(const DescriptionElement& list);

/// The notes of description from texts (a string table: symbol -> text), following the
/// names above, with the generic words where texts has none.
PluginNotes NotesFromStrings(const Description& description, const std::map<std::string, std::string>& texts);

/// The notes of a registered description from its module's string table
/// (strings_en-US/c4d_strings.str of the folder it was read from); the generic words alone
/// when that table cannot be read.
PluginNotes NotesForDescription(const RegisteredDescription& description);

}  // namespace host
