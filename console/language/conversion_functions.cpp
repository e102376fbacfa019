// The functions that turn values into values of another kind, or tell their
// kind: string, integer, float, value, symbol, ilk, and the predicates
// integerP, floatP, stringP, symbolP, listP (voidP is with the list
// functions). A text that is no number is VOID, as in the host.
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console/language/expression_parser.h"
#include "console/language/function_checks.h"
#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "console/language/lexer.h"
#include "hostsim/value_store.h"

namespace console {
namespace {

using hostsim::Kind;

// A text as a number: spaces around, an optional sign, digits with an
// optional fraction ("12", "-3", " 2.5 ", ".5"). False for anything else.
bool ParseNumber(std::string_view text, double* number) {
    const auto space = [](char c) { return c == ' ' || c == '\t'; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && space(text[begin])) {
        ++begin;
    }
    while (end > begin && space(text[end - 1])) {
        --end;
    }
    std::string digits(text.substr(begin, end - begin));
    size_t i = 0;
    if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) {
        ++i;
    }
    size_t before = 0;
    size_t after = 0;
    bool point = false;
    for (; i < digits.size(); ++i) {
        const char c = digits[i];
        if (c >= '0' && c <= '9') {
            ++(point ? after : before);
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (before + after == 0) {
        return false;
    }
    // Only digits, a sign and a point are left, which strtod reads alike in
    // every locale that uses '.', as the console's own (the C locale) does.
    *number = std::strtod(digits.c_str(), nullptr);
    return std::isfinite(*number);
}

// A float rounded to the nearest integer, halves away from zero.
ScriptValue RoundedInteger(FunctionCall& call, double number) {
    const double rounded = std::round(number);
    if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
        FailNeeds(call, 0, "integer", "a number within 32 bits");
    }
    return call.host.Integer(static_cast<int32_t>(rounded));
}

ScriptValue ToInteger(FunctionCall& call) {
    const ScriptValue& value = call.args[0];
    switch (call.host.KindOf(value)) {
        case Kind::Integer:
            return call.host.Copy(value);
        case Kind::Float:
            return RoundedInteger(call, call.host.FloatOf(value));
        case Kind::String: {
            double number = 0;
            if (!ParseNumber(call.host.TextOf(value), &number)) {
                return call.host.Void();
            }
            return RoundedInteger(call, number);
        }
        case Kind::Void:
            return call.host.Void();
        default:
            FailNeeds(call, 0, "integer", "a number or a string");
    }
}

ScriptValue ToFloat(FunctionCall& call) {
    const ScriptValue& value = call.args[0];
    switch (call.host.KindOf(value)) {
        case Kind::Integer:
        case Kind::Float:
            return call.host.Float(call.host.FloatOf(value));
        case Kind::String: {
            double number = 0;
            if (!ParseNumber(call.host.TextOf(value), &number)) {
                return call.host.Void();
            }
            return call.host.Float(number);
        }
        case Kind::Void:
            return call.host.Void();
        default:
            FailNeeds(call, 0, "float", "a number or a string");
    }
}

// Parses a whole text as one expression of the language.
class LiteralParser : public ExpressionParser {
public:
    using ExpressionParser::ExpressionParser;

    ExprPtr ParseWhole() {
        ExprPtr expr = ParseExpr();
        if (!expr || !ExpectEnd()) {
            return nullptr;
        }
        return expr;
    }
};

// A literal's value: numbers, strings, symbols, VOID and the constants, a
// minus before a number, and lists of literals. Anything else (a variable,
// a call, an operator, `the`) is no literal: false, and nothing is made.
bool EvaluateLiteral(hostsim::SimHost& host, const Expr& expr, ScriptValue* result) {
    switch (expr.kind) {
        case ExprKind::Integer:
            *result = host.Integer(expr.integer);
            return true;
        case ExprKind::Float:
            *result = host.Float(expr.real);
            return true;
        case ExprKind::String:
            *result = host.String(expr.text);
            return true;
        case ExprKind::Symbol:
            *result = host.SymbolValue(expr.text);
            return true;
        case ExprKind::Void:
            *result = host.Void();
            return true;
        case ExprKind::Negate: {
            // -2147483648 is an Integer already; what is left is -x of a
            // float literal, or of a nested minus.
            ScriptValue operand = host.Void();
            if (!EvaluateLiteral(host, *expr.items[0], &operand)) {
                return false;
            }
            Owned held(host, operand);
            const Kind kind = host.KindOf(operand);
            if (kind == Kind::Float) {
                *result = host.Float(-host.FloatOf(operand));
                return true;
            }
            if (kind == Kind::Integer && host.IntegerOf(operand) != INT32_MIN) {
                *result = host.Integer(-host.IntegerOf(operand));
                return true;
            }
            return false;
        }
        case ExprKind::List:
        case ExprKind::PropList: {
            const bool isProp = expr.kind == ExprKind::PropList;
            Owned list(host, isProp ? host.NewPropList() : host.NewList());
            for (size_t i = 0; i < expr.items.size(); ++i) {
                ScriptValue item = host.Void();
                if (!EvaluateLiteral(host, *expr.items[i], &item)) {
                    return false;
                }
                Owned held(host, item);
                if (isProp) {
                    host.AppendPair(list.get(), expr.keys[i], item);
                } else {
                    host.Append(list.get(), item);
                }
            }
            *result = list.Take();
            return true;
        }
        default:
            return false;
    }
}

// value(text): the text read as a literal of the language; VOID when it is
// none. Nothing is run: no variable is read, no handler or method called.
// Any other value is its own value.
ScriptValue Value(FunctionCall& call) {
    hostsim::SimHost& host = call.host;
    if (host.KindOf(call.args[0]) != Kind::String) {
        return host.Copy(call.args[0]);
    }
    const std::string text = host.TextOf(call.args[0]);
    std::vector<Token> tokens;
    LexError lexError;
    if (!Lex(text, &tokens, &lexError)) {
        return host.Void();
    }
    LiteralParser parser(tokens, 0);
    const ExprPtr expr = parser.ParseWhole();
    ScriptValue result = host.Void();
    if (!expr || !EvaluateLiteral(host, *expr, &result)) {
        return host.Void();
    }
    // The parser holds the text within its nesting limit; a list is held to
    // the value depth limit, as a list written in the script is.
    Owned made(host, result);
    CheckInsertion(host, host.Void(), made.get(), call.ArgColumn(0));
    return made.Take();
}

ScriptValue ToSymbol(FunctionCall& call) {
    const Kind kind = call.host.KindOf(call.args[0]);
    if (kind == Kind::Symbol) {
        return call.host.Copy(call.args[0]);
    }
    if (kind != Kind::String) {
        FailNeeds(call, 0, "symbol", "a string");
    }
    const std::string name = call.host.TextOf(call.args[0]);
    return name.empty() ? call.host.Void() : call.host.SymbolValue(name);
}

// The host's word for a script instance; every other kind as the store names it.
const char* IlkName(Kind kind) {
    return kind == Kind::Object ? "instance" : hostsim::KindName(kind);
}

void DefinePredicate(Interpreter& interpreter, const char* name, Kind kind, Kind alsoKind) {
    std::string usage(name);
    usage.append("() takes one value");
    interpreter.DefineFunction(name, 1, 1, std::move(usage), [kind, alsoKind](FunctionCall& call) {
        const Kind given = call.host.KindOf(call.args[0]);
        return call.host.Integer(given == kind || given == alsoKind ? 1 : 0);
    });
}

}  // namespace

void DefineConversionFunctions(Interpreter& interpreter) {
    interpreter.DefineFunction("string", 1, 1, "string() takes one value", [](FunctionCall& call) {
        return call.host.String(TextForJoin(call.host, call.args[0]));
    });
    interpreter.DefineFunction("integer", 1, 1, "integer() takes one value", ToInteger);
    interpreter.DefineFunction("float", 1, 1, "float() takes one value", ToFloat);
    interpreter.DefineFunction("value", 1, 1, "value() takes one text", Value);
    interpreter.DefineFunction("symbol", 1, 1, "symbol() takes one text", ToSymbol);
    interpreter.DefineFunction("ilk", 1, 1, "ilk() takes one value", [](FunctionCall& call) {
        return call.host.SymbolValue(IlkName(call.host.KindOf(call.args[0])));
    });
    DefinePredicate(interpreter, "integerP", Kind::Integer, Kind::Integer);
    DefinePredicate(interpreter, "floatP", Kind::Float, Kind::Float);
    DefinePredicate(interpreter, "stringP", Kind::String, Kind::String);
    DefinePredicate(interpreter, "symbolP", Kind::Symbol, Kind::Symbol);
    DefinePredicate(interpreter, "listP", Kind::List, Kind::PropList);
}

}  // namespace console
