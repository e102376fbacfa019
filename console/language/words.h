// The words of the console's language that are not names: its reserved
// words, the properties after `the`, and the host language's words that the
// console does not have, which get an error naming them.
#pragma once

#include <string>
#include <string_view>

#include "console/language/syntax.h"

namespace console {

// Names that cannot be variables, parameters or handlers.
bool IsReservedWord(std::string_view name);

// sprite, member, go, tell...: words of the host's language outside the
// console's subset.
bool IsOutsideSubset(std::string_view name);

// The error for a construct outside the subset, e.g. "'sprite'" or
// "'the mouseH'".
std::string NotInSubset(std::string_view construct);

// The ExprKind of `the name`; false for a property the console lacks.
bool TheProperty(std::string_view name, ExprKind* kind);

}  // namespace console
