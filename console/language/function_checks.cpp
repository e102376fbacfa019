#include "console/language/function_checks.h"

namespace console {

using hostsim::Kind;

void FailNeeds(FunctionCall& call, size_t i, std::string_view function, std::string_view what) {
    // Appended piece by piece: mingw's g++ misreads chains of operator+ as
    // overlapping copies (-Wrestrict).
    std::string message(function);
    message.append("() needs ").append(what).append(", not ").append(call.host.Print(call.args[i]));
    Fail(call.ArgColumn(i), std::move(message));
}

void NeedList(FunctionCall& call, size_t i, std::string_view function, ListNeed need) {
    const Kind kind = call.host.KindOf(call.args[i]);
    switch (need) {
        case ListNeed::Any:
            if (kind != Kind::List && kind != Kind::PropList) {
                FailNeeds(call, i, function, "a list");
            }
            return;
        case ListNeed::Linear:
            if (kind != Kind::List) {
                FailNeeds(call, i, function, "a linear list");
            }
            return;
        case ListNeed::Property:
            if (kind != Kind::PropList) {
                FailNeeds(call, i, function, "a property list");
            }
            return;
    }
}

void NeedSymbol(FunctionCall& call, size_t i, std::string_view function) {
    if (call.host.KindOf(call.args[i]) != Kind::Symbol) {
        FailNeeds(call, i, function, "a #property");
    }
}

int32_t NeedInteger(FunctionCall& call, size_t i, std::string_view function,
                    std::string_view what) {
    if (call.host.KindOf(call.args[i]) != Kind::Integer) {
        FailNeeds(call, i, function, what);
    }
    return call.host.IntegerOf(call.args[i]);
}

std::string NeedString(FunctionCall& call, size_t i, std::string_view function) {
    if (call.host.KindOf(call.args[i]) != Kind::String) {
        FailNeeds(call, i, function, "a string");
    }
    return call.host.TextOf(call.args[i]);
}

}  // namespace console
