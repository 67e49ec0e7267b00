// module_texts.h - what a plug-in tells the host in its module's string table.
//
// Beside the texts the plug-in itself loads, the string table (strings_en-US/c4d_strings.str
// in the resource folder) may hold texts the host reads by a naming convention: IDS_ and the
// description's name or a parameter's symbol in capitals, then what the text is for
// (IDS_XSAMPLE_HELP, IDS_XSAMPLE_OUTPUT_RANGE, IDS_XSAMPLE_LIGHTS_FLAG1_ON). docs/plugin-texts.md
// lists them. Every one is optional.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace host {

struct RegisteredDescription;

/// The texts of the module string table beside a registered description, by symbol; empty
/// when there is none or it cannot be read.
using ModuleTexts = std::map<std::string, std::string>;
ModuleTexts ReadModuleTexts(const RegisteredDescription& description);

/// The text IDS_<key> with key in capitals, or fallback.
std::string ConventionText(const ModuleTexts& texts, const std::string& key,
                           const std::string& fallback = {});

/// IDS_<DESCRIPTION>_OUTPUT_RANGE: "lowest highest", the range every colour component the
/// shader returns stays in (e.g. "0 1"); nullopt when absent or not two ordered numbers.
std::optional<std::pair<double, double>> DocumentedOutputRange(const RegisteredDescription& description);

}  // namespace host
