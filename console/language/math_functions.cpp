// The numeric functions: abs, max, min, random, and the bit operations on
// 32-bit integers bitAnd, bitOr, bitXor, bitNot.
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "console/language/function_checks.h"
#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "hostsim/names.h"

namespace console {
namespace {

using hostsim::Kind;

bool IsNumber(Kind kind) {
    return kind == Kind::Integer || kind == Kind::Float;
}

ScriptValue Abs(FunctionCall& call) {
    const ScriptValue& value = call.args[0];
    switch (call.host.KindOf(value)) {
        case Kind::Integer: {
            const int32_t integer = call.host.IntegerOf(value);
            if (integer == INT32_MIN) {
                Fail(call.ArgColumn(0), "integer overflow");
            }
            return call.host.Integer(integer < 0 ? -integer : integer);
        }
        case Kind::Float: {
            const double real = call.host.FloatOf(value);
            return call.host.Float(real < 0 ? -real : real);
        }
        default:
            FailNeeds(call, 0, "abs", "a number");
    }
}

// -1, 0, 1 as `<` orders them: two numbers, or two strings without regard to
// case. False when the two cannot be compared.
bool Compare(hostsim::SimHost& host, const ScriptValue& a, const ScriptValue& b, int* order) {
    const Kind aKind = host.KindOf(a);
    const Kind bKind = host.KindOf(b);
    if (aKind == Kind::Integer && bKind == Kind::Integer) {
        const int32_t x = host.IntegerOf(a);
        const int32_t y = host.IntegerOf(b);
        *order = x < y ? -1 : (x > y ? 1 : 0);
        return true;
    }
    if (IsNumber(aKind) && IsNumber(bKind)) {
        const double x = host.FloatOf(a);
        const double y = host.FloatOf(b);
        *order = x < y ? -1 : (x > y ? 1 : 0);
        return true;
    }
    if (aKind == Kind::String && bKind == Kind::String) {
        const int c =
            hostsim::LowerCase(host.TextOf(a)).compare(hostsim::LowerCase(host.TextOf(b)));
        *order = c < 0 ? -1 : (c > 0 ? 1 : 0);
        return true;
    }
    return false;
}

// max(a, b, ...) or max(list) (a property list's values), and min alike:
// the first of the greatest (least) values, as it is (max(1, 2.5) is 2.5);
// VOID for an empty list.
ScriptValue Extreme(FunctionCall& call, bool greatest) {
    const char* name = greatest ? "max" : "min";
    hostsim::SimHost& host = call.host;
    OwnedList values(host);
    std::vector<int> columns;
    const Kind first = host.KindOf(call.args[0]);
    if (call.args.size() == 1 && (first == Kind::List || first == Kind::PropList)) {
        const int32_t count = host.Count(call.args[0]);
        for (int32_t i = 1; i <= count; ++i) {
            values.values.push_back(host.At(call.args[0], i));
            columns.push_back(call.ArgColumn(0));
        }
    } else {
        for (size_t i = 0; i < call.args.size(); ++i) {
            values.values.push_back(host.Copy(call.args[i]));
            columns.push_back(call.ArgColumn(i));
        }
    }
    if (values.values.empty()) {
        return host.Void();
    }
    size_t best = 0;
    for (size_t i = 0; i < values.values.size(); ++i) {
        const ScriptValue& value = values.values[i];
        int order = 0;
        if (!IsNumber(host.KindOf(value)) && host.KindOf(value) != Kind::String) {
            std::string message(name);
            message.append("() needs numbers or strings, not ").append(host.Print(value));
            Fail(columns[i], std::move(message));
        }
        if (!Compare(host, value, values.values[best], &order)) {
            std::string message(name);
            message.append("() compares numbers or strings, not ")
                .append(host.Print(values.values[best]))
                .append(" and ")
                .append(host.Print(value));
            Fail(columns[i], std::move(message));
        }
        if (greatest ? order > 0 : order < 0) {
            best = i;
        }
    }
    return host.Copy(values.values[best]);
}

// The console's random numbers come from one Mersenne Twister (its sequence
// is fixed by the C++ standard) that every interpreter starts from the same
// seed, so a script prints the same numbers on every run and machine.
constexpr uint32_t kRandomSeed = 5489u;

ScriptValue Random(FunctionCall& call, std::mt19937& engine) {
    const int32_t n = NeedInteger(call, 0, "random", "a positive integer");
    if (n < 1) {
        FailNeeds(call, 0, "random", "a positive integer");
    }
    // Draws below the largest multiple of n are taken, so that every
    // number from 1 to n is as likely.
    const uint64_t range = uint64_t{1} << 32;
    const uint64_t limit = range - range % static_cast<uint64_t>(n);
    uint64_t draw = engine();
    while (draw >= limit) {
        draw = engine();
    }
    return call.host.Integer(static_cast<int32_t>(draw % static_cast<uint64_t>(n)) + 1);
}

enum class BitOp { And, Or, Xor };

// An integer's 32 bits (a negative one in two's complement).
uint32_t Bits(FunctionCall& call, size_t i, const char* name, const char* what = "integers") {
    return static_cast<uint32_t>(NeedInteger(call, i, name, what));
}

ScriptValue BitResult(FunctionCall& call, uint32_t bits) {
    return call.host.Integer(static_cast<int32_t>(bits));
}

void DefineBitOperation(Interpreter& interpreter, const char* name, BitOp op) {
    std::string usage(name);
    usage.append("() takes two integers");
    interpreter.DefineFunction(name, 2, 2, std::move(usage), [name, op](FunctionCall& call) {
        const uint32_t a = Bits(call, 0, name);
        const uint32_t b = Bits(call, 1, name);
        switch (op) {
            case BitOp::And:
                return BitResult(call, a & b);
            case BitOp::Or:
                return BitResult(call, a | b);
            case BitOp::Xor:
                return BitResult(call, a ^ b);
        }
        return BitResult(call, 0);
    });
}

}  // namespace

void DefineMathFunctions(Interpreter& interpreter) {
    interpreter.DefineFunction("abs", 1, 1, "abs() takes one number", Abs);
    interpreter.DefineFunction("max", 1, INT_MAX, "max() takes a list, or values to compare",
                               [](FunctionCall& call) { return Extreme(call, true); });
    interpreter.DefineFunction("min", 1, INT_MAX, "min() takes a list, or values to compare",
                               [](FunctionCall& call) { return Extreme(call, false); });
    // Each interpreter has its own engine, from the same seed.
    auto engine = std::make_shared<std::mt19937>(kRandomSeed);
    interpreter.DefineFunction("random", 1, 1, "random() takes one positive integer",
                               [engine](FunctionCall& call) { return Random(call, *engine); });
    DefineBitOperation(interpreter, "bitAnd", BitOp::And);
    DefineBitOperation(interpreter, "bitOr", BitOp::Or);
    DefineBitOperation(interpreter, "bitXor", BitOp::Xor);
    interpreter.DefineFunction(
        "bitNot", 1, 1, "bitNot() takes one integer",
        [](FunctionCall& call) { return BitResult(call, ~Bits(call, 0, "bitNot", "an integer")); });
}

}  // namespace console
