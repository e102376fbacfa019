// Changing lists in place, as assignments (p.x = v, list[i] = v) and the
// functions setAt, setProp and setaProp do. Lists are shared: every variable
// holding the list sees the change. A mistake throws ScriptError.
#pragma once

#include <string_view>

#include "console/language/values.h"

namespace console {

// list[index] = value: a position of a list (beyond its end the list is
// padded with 0, as in the host) or of a property list (which must exist),
// or a property list's #property (added when absent).
void SetElement(hostsim::SimHost& host, ScriptValue& list, const ScriptValue& index,
                const ScriptValue& value, int column);
// propList.name = value: replaced, or added when absent (mustExist: an error).
void SetProperty(hostsim::SimHost& host, ScriptValue& propList, std::string_view name,
                 const ScriptValue& value, int column, bool mustExist = false);

}  // namespace console
