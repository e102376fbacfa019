#include "console/language/list_edits.h"

#include <string>

namespace console {

using hostsim::Kind;

namespace {

// The most a position may pad a list by: a typo of a position should not
// make millions of zeros.
constexpr int32_t kMaxPadding = 100000;

void SetPosition(hostsim::SimHost& host, ScriptValue& list, int32_t position,
                 const ScriptValue& value, int column) {
    const int32_t count = host.Count(list);
    const bool linear = host.KindOf(list) == Kind::List;
    if (position < 1 || (!linear && position > count) ||
        (linear && position - count > kMaxPadding)) {
        Fail(column, "position " + std::to_string(position) + " is not in the list (1 to " +
                         std::to_string(count) + ")");
    }
    if (position <= count) {
        host.SetAt(list, position, value);
        return;
    }
    ScriptValue zero = host.Integer(0);
    for (int32_t i = count + 1; i < position; ++i) {
        host.Append(list, zero);
    }
    host.Release(zero);
    host.Append(list, value);
}

}  // namespace

void SetProperty(hostsim::SimHost& host, ScriptValue& propList, std::string_view name,
                 const ScriptValue& value, int column, bool mustExist) {
    if (host.KindOf(propList) != Kind::PropList) {
        std::string message("#");
        message.append(name).append(" can only be set in a property list, not ");
        Fail(column, message + host.Print(propList));
    }
    CheckInsertion(host, propList, value, column);
    const int32_t position = FindProperty(host, propList, name);
    if (position > 0) {
        host.SetAt(propList, position, value);
        return;
    }
    if (mustExist) {
        std::string message("the property list has no property #");
        Fail(column, message.append(name));
    }
    host.AppendPair(propList, name, value);
}

void SetElement(hostsim::SimHost& host, ScriptValue& list, const ScriptValue& index,
                const ScriptValue& value, int column) {
    const Kind kind = host.KindOf(list);
    if (kind != Kind::List && kind != Kind::PropList) {
        Fail(column, "[] can only be set in a list, not " + host.Print(list));
    }
    if (kind == Kind::PropList && host.KindOf(index) == Kind::Symbol) {
        SetProperty(host, list, host.TextOf(index), value, column);
        return;
    }
    if (host.KindOf(index) != Kind::Integer) {
        Fail(column, std::string("[] needs a position") +
                         (kind == Kind::PropList ? " or a #property" : "") + ", not " +
                         host.Print(index));
    }
    CheckInsertion(host, list, value, column);
    SetPosition(host, list, host.IntegerOf(index), value, column);
}

}  // namespace console
