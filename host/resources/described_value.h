// described_value.h - whether a stored value is one its description allows: the one rule
// that scene files, the look-development page and the validator all apply.
#pragma once

#include <string>

#include "core/container.h"
#include "resources/resource_files.h"

namespace host {

/// Why v is not a value that e describes; empty when it is. Checked: the stored type; a REAL
/// finite and inside MIN/MAX (in the unit shown, with the stored value beside it); a LONG
/// one of its choices and inside MIN/MAX; a BOOL 0 or 1; a VECTOR finite; the flags of each
/// in/exclude entry inside the NUM_FLAGS declared. The text names the value and what is
/// allowed: "the value 5 is not one of the choices 0 (Multiply), 1 (Add), 2 (Subtract)".
std::string DescribedValueProblem(const DescriptionElement& e, const Value& v);

/// "Mix mode" (XCORVANE_MIXMODE): the label (when there is one) and the symbol of e.
std::string ParameterName(const DescriptionElement& e);

}  // namespace host
