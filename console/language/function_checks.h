// What the functions of the console's language check of their arguments,
// and the errors they give, all of one form: "<name>() needs <what>, not
// <the argument as put prints it>", at the argument's column. Each check
// throws ScriptError (Fail) and leaves the arguments to the interpreter,
// which releases them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/language/interpreter.h"

namespace console {

// "<function>() needs <what>, not <argument i>".
[[noreturn]] void FailNeeds(FunctionCall& call, size_t i, std::string_view function,
                            std::string_view what);

enum class ListNeed {
    Any,       // a list or a property list: "a list"
    Linear,    // "a linear list"
    Property,  // "a property list"
};
void NeedList(FunctionCall& call, size_t i, std::string_view function, ListNeed need);
// A symbol naming a property: "a #property".
void NeedSymbol(FunctionCall& call, size_t i, std::string_view function);
// An integer; `what` says what it is for ("a position").
int32_t NeedInteger(FunctionCall& call, size_t i, std::string_view function, std::string_view what);
// A string: its text.
std::string NeedString(FunctionCall& call, size_t i, std::string_view function);

}  // namespace console
