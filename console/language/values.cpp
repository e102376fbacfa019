#include "console/language/values.h"

#include <cctype>
#include <cstdint>

#include "console/language/lexer.h"
#include "hostsim/names.h"

namespace console {
namespace {

using hostsim::Kind;
using hostsim::SimHost;

bool IsNumber(Kind kind) {
    return kind == Kind::Integer || kind == Kind::Float;
}

const char* Spelling(BinaryOp op) {
    switch (op) {
        case BinaryOp::Add:
            return "+";
        case BinaryOp::Subtract:
            return "-";
        case BinaryOp::Multiply:
            return "*";
        case BinaryOp::Divide:
            return "/";
        case BinaryOp::Mod:
            return "mod";
        case BinaryOp::Join:
            return "&";
        case BinaryOp::JoinSpace:
            return "&&";
        case BinaryOp::Equal:
            return "=";
        case BinaryOp::NotEqual:
            return "<>";
        case BinaryOp::Less:
            return "<";
        case BinaryOp::LessEqual:
            return "<=";
        case BinaryOp::Greater:
            return ">";
        case BinaryOp::GreaterEqual:
            return ">=";
        case BinaryOp::Contains:
            return "contains";
        case BinaryOp::Starts:
            return "starts";
        case BinaryOp::And:
            return "and";
        case BinaryOp::Or:
            return "or";
    }
    return "?";
}

ScriptValue Arithmetic(SimHost& host, BinaryOp op, const ScriptValue& left,
                       const ScriptValue& right, int column) {
    const Kind leftKind = host.KindOf(left);
    const Kind rightKind = host.KindOf(right);
    if (!IsNumber(leftKind) || !IsNumber(rightKind)) {
        const ScriptValue& culprit = IsNumber(leftKind) ? right : left;
        Fail(column,
             std::string("'") + Spelling(op) + "' needs numbers, not " + host.Print(culprit));
    }
    if (leftKind == Kind::Integer && rightKind == Kind::Integer) {
        const int64_t a = host.IntegerOf(left);
        const int64_t b = host.IntegerOf(right);
        int64_t result = 0;
        switch (op) {
            case BinaryOp::Add:
                result = a + b;
                break;
            case BinaryOp::Subtract:
                result = a - b;
                break;
            case BinaryOp::Multiply:
                result = a * b;
                break;
            case BinaryOp::Divide:
            case BinaryOp::Mod:
                if (b == 0) {
                    Fail(column, "division by zero");
                }
                result = op == BinaryOp::Divide ? a / b : a % b;
                break;
            default:
                break;
        }
        if (result < INT32_MIN || result > INT32_MAX) {
            Fail(column, "integer overflow");
        }
        return host.Integer(static_cast<int32_t>(result));
    }
    if (op == BinaryOp::Mod) {
        Fail(column, "'mod' needs integers");
    }
    const double a = host.FloatOf(left);
    const double b = host.FloatOf(right);
    switch (op) {
        case BinaryOp::Add:
            return host.Float(a + b);
        case BinaryOp::Subtract:
            return host.Float(a - b);
        case BinaryOp::Multiply:
            return host.Float(a * b);
        default:
            if (b == 0) {
                Fail(column, "division by zero");
            }
            return host.Float(a / b);
    }
}

// -1, 0, 1 for numbers and for strings (without regard to case).
int Order(SimHost& host, BinaryOp op, const ScriptValue& left, const ScriptValue& right,
          int column) {
    const Kind leftKind = host.KindOf(left);
    const Kind rightKind = host.KindOf(right);
    if (IsNumber(leftKind) && IsNumber(rightKind)) {
        if (leftKind == Kind::Integer && rightKind == Kind::Integer) {
            const int32_t a = host.IntegerOf(left);
            const int32_t b = host.IntegerOf(right);
            return a < b ? -1 : (a > b ? 1 : 0);
        }
        const double a = host.FloatOf(left);
        const double b = host.FloatOf(right);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    if (leftKind == Kind::String && rightKind == Kind::String) {
        const int order =
            hostsim::LowerCase(host.TextOf(left)).compare(hostsim::LowerCase(host.TextOf(right)));
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    Fail(column, std::string("'") + Spelling(op) + "' compares two numbers or two strings, not " +
                     host.Print(left) + " and " + host.Print(right));
}

// contains and starts: texts (strings, or symbols by name) without case.
bool TextMatch(SimHost& host, BinaryOp op, const ScriptValue& left, const ScriptValue& right,
               int column) {
    for (const ScriptValue* side : {&left, &right}) {
        const Kind kind = host.KindOf(*side);
        if (kind != Kind::String && kind != Kind::Symbol) {
            Fail(column,
                 std::string("'") + Spelling(op) + "' needs two strings, not " + host.Print(*side));
        }
    }
    const std::string text = hostsim::LowerCase(host.TextOf(left));
    const std::string part = hostsim::LowerCase(host.TextOf(right));
    return op == BinaryOp::Starts ? text.rfind(part, 0) == 0 : text.find(part) != std::string::npos;
}

// The depth of a value (1 for a non-list), counted up to `limit` + 1; true
// in *contains when `needle` is the value or inside it.
int Depth(SimHost& host, const ScriptValue& value, const ScriptValue& needle, int limit,
          bool* contains) {
    if (host.SameValue(value, needle)) {
        *contains = true;
    }
    const Kind kind = host.KindOf(value);
    if ((kind != Kind::List && kind != Kind::PropList) || limit <= 0 || *contains) {
        return 1;
    }
    int deepest = 0;
    const int32_t count = host.Count(value);
    for (int32_t i = 1; i <= count && !*contains && deepest <= limit; ++i) {
        ScriptValue item = host.At(value, i);
        const int depth = Depth(host, item, needle, limit - 1, contains);
        host.Release(item);
        deepest = depth > deepest ? depth : deepest;
    }
    return deepest + 1;
}

}  // namespace

void Fail(int column, std::string message) {
    throw ScriptError{column, std::move(message)};
}

bool SameContent(SimHost& host, const ScriptValue& left, const ScriptValue& right) {
    const Kind leftKind = host.KindOf(left);
    const Kind rightKind = host.KindOf(right);
    if (IsNumber(leftKind) && IsNumber(rightKind)) {
        if (leftKind == Kind::Integer && rightKind == Kind::Integer) {
            return host.IntegerOf(left) == host.IntegerOf(right);
        }
        return host.FloatOf(left) == host.FloatOf(right);
    }
    if (leftKind != rightKind) {
        return false;
    }
    switch (leftKind) {
        case Kind::Void:
            return true;
        case Kind::String:
        case Kind::Symbol:
            return SameName(host.TextOf(left), host.TextOf(right));
        case Kind::Object:
            return host.ObjectId(left) == host.ObjectId(right);
        case Kind::List:
        case Kind::PropList: {
            const int32_t count = host.Count(left);
            if (count != host.Count(right)) {
                return false;
            }
            for (int32_t i = 1; i <= count; ++i) {
                if (leftKind == Kind::PropList &&
                    !SameName(host.KeyAt(left, i), host.KeyAt(right, i))) {
                    return false;
                }
                ScriptValue a = host.At(left, i);
                ScriptValue b = host.At(right, i);
                const bool same = SameContent(host, a, b);
                host.Release(a);
                host.Release(b);
                if (!same) {
                    return false;
                }
            }
            return true;
        }
        default:
            return false;
    }
}

std::string TextForJoin(SimHost& host, const ScriptValue& value) {
    switch (host.KindOf(value)) {
        case Kind::String:
        case Kind::Symbol:
            return host.TextOf(value);
        case Kind::Void:
            return {};
        default:
            return host.Print(value);
    }
}

ScriptValue Operate(SimHost& host, BinaryOp op, const ScriptValue& left, const ScriptValue& right,
                    int column) {
    switch (op) {
        case BinaryOp::Join:
            return host.String(TextForJoin(host, left) + TextForJoin(host, right));
        case BinaryOp::JoinSpace:
            return host.String(TextForJoin(host, left) + " " + TextForJoin(host, right));
        case BinaryOp::Equal:
            return host.Integer(SameContent(host, left, right) ? 1 : 0);
        case BinaryOp::NotEqual:
            return host.Integer(SameContent(host, left, right) ? 0 : 1);
        case BinaryOp::Less:
            return host.Integer(Order(host, op, left, right, column) < 0 ? 1 : 0);
        case BinaryOp::LessEqual:
            return host.Integer(Order(host, op, left, right, column) <= 0 ? 1 : 0);
        case BinaryOp::Greater:
            return host.Integer(Order(host, op, left, right, column) > 0 ? 1 : 0);
        case BinaryOp::GreaterEqual:
            return host.Integer(Order(host, op, left, right, column) >= 0 ? 1 : 0);
        case BinaryOp::Contains:
        case BinaryOp::Starts:
            return host.Integer(TextMatch(host, op, left, right, column) ? 1 : 0);
        case BinaryOp::And:
        case BinaryOp::Or:
            return host.Integer(IsTrue(host, left, column) || IsTrue(host, right, column) ? 1 : 0);
        default:
            return Arithmetic(host, op, left, right, column);
    }
}

bool IsTrue(SimHost& host, const ScriptValue& value, int column) {
    switch (host.KindOf(value)) {
        case Kind::Integer:
            return host.IntegerOf(value) != 0;
        case Kind::Float:
            return host.FloatOf(value) != 0;
        case Kind::Void:
            return false;
        default:
            Fail(column, "a condition needs a number, not " + host.Print(value));
    }
}

int32_t FindProperty(SimHost& host, const ScriptValue& propList, std::string_view name) {
    const int32_t count = host.Count(propList);
    for (int32_t i = 1; i <= count; ++i) {
        if (SameName(host.KeyAt(propList, i), name)) {
            return i;
        }
    }
    return 0;
}

ScriptValue PropertyOf(SimHost& host, const ScriptValue& list, std::string_view name, int column) {
    const Kind kind = host.KindOf(list);
    if (kind == Kind::PropList) {
        const int32_t position = FindProperty(host, list, name);
        if (position > 0) {
            return host.At(list, position);
        }
    }
    if ((kind == Kind::List || kind == Kind::PropList) && SameName(name, "count")) {
        return host.Integer(host.Count(list));
    }
    if (kind == Kind::PropList) {
        return host.Void();
    }
    // Built by appending: mingw's g++ 12 misreads "." + std::string(...) as an
    // overlapping copy (-Wrestrict).
    std::string message(".");
    message.append(name).append(" needs a property list, not ").append(host.Print(list));
    Fail(column, message);
}

ScriptValue ElementOf(SimHost& host, const ScriptValue& list, const ScriptValue& index,
                      int column) {
    const Kind kind = host.KindOf(list);
    if (kind != Kind::List && kind != Kind::PropList) {
        Fail(column, "[] needs a list, not " + host.Print(list));
    }
    if (kind == Kind::PropList && host.KindOf(index) == Kind::Symbol) {
        const int32_t position = FindProperty(host, list, host.TextOf(index));
        return position > 0 ? host.At(list, position) : host.Void();
    }
    if (host.KindOf(index) != Kind::Integer) {
        Fail(column, std::string("[] needs a position") +
                         (kind == Kind::PropList ? " or a #property" : "") + ", not " +
                         host.Print(index));
    }
    const int32_t position = host.IntegerOf(index);
    const int32_t count = host.Count(list);
    if (position < 1 || position > count) {
        Fail(column, "position " + std::to_string(position) + " is not in the list (1 to " +
                         std::to_string(count) + ")");
    }
    return host.At(list, position);
}

void CheckInsertion(SimHost& host, const ScriptValue& list, const ScriptValue& value, int column) {
    bool contains = false;
    const int depth = Depth(host, value, list, kMaxValueDepth, &contains);
    if (contains && host.KindOf(list) != Kind::Void) {
        Fail(column, "a list cannot contain itself");
    }
    if (depth >= kMaxValueDepth) {
        Fail(column, "lists nested deeper than " + std::to_string(kMaxValueDepth) + " levels");
    }
}

}  // namespace console
