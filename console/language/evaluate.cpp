// Evaluating expressions, and the calls they make: the console's own
// functions, the script's handlers, and the plug-in's methods.
#include <cctype>
#include <chrono>
#include <cstdio>

#include "hostsim/method_table.h"

#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "console/language/lexer.h"

namespace console {
namespace {

using hostsim::Kind;

std::string HexCode(HostResult code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

// portNumber: "port number".
std::string Words(const std::string& name) {
    std::string words;
    for (const char c : name) {
        if (std::isupper(static_cast<unsigned char>(c)) != 0) {
            words += ' ';
            words += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            words += c;
        }
    }
    return words;
}

}  // namespace

// The plug-in reads an `int` parameter as an integer: the first argument
// that is none is what it could not read.
std::string Interpreter::MethodError(const Expr& call, int32_t method,
                                     const std::vector<ScriptValue>& args, HostResult code) {
    const std::vector<hostsim::MethodEntry> table =
        hostsim::ReadMethodTable(session_.MethodTable());
    if (method >= 0 && static_cast<size_t>(method) < table.size()) {
        const auto& declared = table[static_cast<size_t>(method)].declared;
        for (size_t i = 0; i < declared.size() && i < args.size(); ++i) {
            const ScriptValue& arg = args[i];
            if (SameName(declared[i].type, "int") && host_.KindOf(arg) != Kind::Integer) {
                const Kind kind = host_.KindOf(arg);
                const std::string got = kind == Kind::String ? "the string " + host_.Print(arg)
                                        : kind == Kind::Void ? "VOID"
                                                             : host_.Print(arg);
                return call.text + ": argument " + std::to_string(i + 2) + " (" +
                       Words(declared[i].name) + ") must be an integer, got " + got;
            }
        }
    }
    return call.text + "() failed with host code " + HexCode(code);
}

ScriptValue Interpreter::Evaluate(const Expr& expr, Frame& frame) {
    Depth depth(*this, expr.column);
    switch (expr.kind) {
        case ExprKind::Integer:
            return host_.Integer(expr.integer);
        case ExprKind::Float:
            return host_.Float(expr.real);
        case ExprKind::String:
            return host_.String(expr.text);
        case ExprKind::Symbol:
            return host_.SymbolValue(expr.text);
        case ExprKind::Void:
            return host_.Void();
        case ExprKind::Milliseconds:
            return host_.Integer(static_cast<int32_t>(clock_()));
        case ExprKind::Ticks:
            return host_.Integer(static_cast<int32_t>(clock_() * 60 / 1000));
        case ExprKind::Timer:
            return host_.Integer(static_cast<int32_t>((clock_() - timerStart_) * 60 / 1000));
        case ExprKind::Frame:
            return host_.Integer(frame_);
        case ExprKind::Variable: {
            const ScriptValue* value = Variable(frame, expr.text, false);
            if (value == nullptr) {
                Throw(expr.column, "variable '" + expr.text + "' has no value");
            }
            return host_.Copy(*value);
        }
        case ExprKind::List:
        case ExprKind::PropList:
            return EvaluateList(expr, frame);
        case ExprKind::Negate:
        case ExprKind::Not:
        case ExprKind::Binary:
            return EvaluateOperator(expr, frame);
        case ExprKind::Property: {
            Owned list(host_, Evaluate(*expr.items[0], frame));
            try {
                return PropertyOf(host_, list.get(), expr.text, expr.column);
            } catch (ScriptError& error) {
                error.line = line_;
                throw;
            }
        }
        case ExprKind::Index: {
            Owned list(host_, Evaluate(*expr.items[0], frame));
            Owned index(host_, Evaluate(*expr.items[1], frame));
            try {
                return ElementOf(host_, list.get(), index.get(), expr.column);
            } catch (ScriptError& error) {
                error.line = line_;
                throw;
            }
        }
        case ExprKind::Call:
            return EvaluateCall(expr, frame);
        case ExprKind::XtraRef:
            Throw(expr.column, "an xtra reference can only be given to new() or interface()");
    }
    Throw(expr.column, "cannot evaluate this expression");
}

// -x, not x, and the binary operators.
ScriptValue Interpreter::EvaluateOperator(const Expr& expr, Frame& frame) {
    if (expr.kind == ExprKind::Negate) {
        Owned operand(host_, Evaluate(*expr.items[0], frame));
        switch (host_.KindOf(operand.get())) {
            case Kind::Integer: {
                const int32_t value = host_.IntegerOf(operand.get());
                if (value == INT32_MIN) {
                    Throw(expr.column, "integer overflow");
                }
                return host_.Integer(-value);
            }
            case Kind::Float:
                return host_.Float(-host_.FloatOf(operand.get()));
            default:
                Throw(expr.column, "only a number can be negated");
        }
    }
    if (expr.kind == ExprKind::Not) {
        Owned operand(host_, Evaluate(*expr.items[0], frame));
        return host_.Integer(IsTrue(host_, operand.get(), expr.items[0]->column) ? 0 : 1);
    }
    // A binary operator.
    Owned left(host_, Evaluate(*expr.items[0], frame));
    if (expr.op == BinaryOp::And || expr.op == BinaryOp::Or) {
        // The right side runs only when it decides.
        const bool leftTrue = IsTrue(host_, left.get(), expr.items[0]->column);
        if (leftTrue == (expr.op == BinaryOp::Or)) {
            return host_.Integer(leftTrue ? 1 : 0);
        }
        Owned right(host_, Evaluate(*expr.items[1], frame));
        return host_.Integer(IsTrue(host_, right.get(), expr.items[1]->column) ? 1 : 0);
    }
    Owned right(host_, Evaluate(*expr.items[1], frame));
    try {
        return Operate(host_, expr.op, left.get(), right.get(), expr.column);
    } catch (ScriptError& error) {
        error.line = line_;
        throw;
    }
}

ScriptValue Interpreter::EvaluateList(const Expr& expr, Frame& frame) {
    const bool isProp = expr.kind == ExprKind::PropList;
    Owned list(host_, isProp ? host_.NewPropList() : host_.NewList());
    for (size_t i = 0; i < expr.items.size(); ++i) {
        Owned value(host_, Evaluate(*expr.items[i], frame));
        try {
            CheckInsertion(host_, host_.Void(), value.get(), expr.items[i]->column);
        } catch (ScriptError& error) {
            error.line = line_;
            throw;
        }
        if (isProp) {
            host_.AppendPair(list.get(), expr.keys[i], value.get());
        } else {
            host_.Append(list.get(), value.get());
        }
    }
    return list.Take();
}

void Interpreter::CheckXtra(const Expr& call) {
    if (call.items.size() != 1 || call.items[0]->kind != ExprKind::XtraRef) {
        Throw(call.column,
              call.text + "() takes one argument: xtra \"" + session_.XtraName() + "\"");
    }
    if (!SameName(call.items[0]->text, session_.XtraName())) {
        Throw(call.items[0]->column, "no xtra named \"" + call.items[0]->text + "\"");
    }
}

ScriptValue Interpreter::EvaluateCall(const Expr& call, Frame& frame) {
    const std::string& name = call.text;
    if (SameName(name, "new")) {
        CheckXtra(call);
        uintptr_t id = 0;
        std::string error;
        if (!session_.NewInstance(&id, &error)) {
            Throw(call.column, "new() failed: " + error);
        }
        // The value counts its references: the session destroys the
        // instance when the last one goes.
        return host_.Object("\"" + session_.XtraName() + "\" " + std::to_string(id), id, &session_);
    }
    if (SameName(name, "interface")) {
        CheckXtra(call);
        return host_.String(session_.MethodTable());
    }
    for (const FunctionEntry& function : functions_) {
        if (!SameName(function.name, name)) {
            continue;
        }
        const int given = static_cast<int>(call.items.size());
        if (given < function.minArgs || given > function.maxArgs) {
            Throw(call.column, function.usage);
        }
        OwnedList args(host_);
        for (const ExprPtr& item : call.items) {
            args.values.push_back(Evaluate(*item, frame));
        }
        FunctionCall functionCall{host_, args.values, call};
        try {
            return function.function(functionCall);
        } catch (ScriptError& error) {
            error.line = line_;
            throw;
        }
    }
    for (const Handler& handler : handlers_) {
        if (SameName(handler.name, name)) {
            OwnedList args(host_);
            for (const ExprPtr& item : call.items) {
                args.values.push_back(Evaluate(*item, frame));
            }
            return CallHandler(handler, args.values);
        }
    }
    const int32_t method = session_.MethodNumber(name);
    if (method < 0) {
        Throw(call.column, "unknown handler '" + name +
                               "': no handler of the script, function of the console "
                               "(docs/console.md lists them) or method of " +
                               session_.XtraName());
    }
    return CallMethod(call, method, frame);
}

// Arguments beyond the parameters are ignored, missing ones are VOID, as in
// the host.
ScriptValue Interpreter::CallHandler(const Handler& handler, std::vector<ScriptValue>& args) {
    const int caller = line_;
    line_ = handler.line;
    Depth depth(*this, 1);
    CheckInterrupt(1);
    Frame frame(host_, false);
    for (size_t i = 0; i < handler.params.size(); ++i) {
        frame.locals.emplace_back(handler.params[i],
                                  i < args.size() ? host_.Copy(args[i]) : host_.Void());
    }
    ++callDepth_;
    try {
        ExecuteBlock(handler.body, frame);
    } catch (...) {
        --callDepth_;
        throw;
    }
    --callDepth_;
    line_ = caller;
    return host_.Copy(frame.result);
}

ScriptValue Interpreter::CallMethod(const Expr& call, int32_t method, Frame& frame) {
    if (call.items.empty()) {
        Throw(call.column, call.text + "() needs the instance made by new() first");
    }
    const int32_t declared = session_.ParameterCount(method);
    const int32_t given = static_cast<int32_t>(call.items.size()) - 1;
    if (given > declared) {
        Throw(call.items[static_cast<size_t>(declared) + 1]->column,
              call.text + "() takes " + std::to_string(declared) + " argument" +
                  (declared == 1 ? "" : "s") + " after the instance");
    }
    Owned me(host_, Evaluate(*call.items[0], frame));
    if (host_.KindOf(me.get()) != Kind::Object) {
        Throw(call.items[0]->column,
              call.text + "() needs an instance made by new(), not " + host_.Print(me.get()));
    }
    OwnedList args(host_);
    for (int32_t i = 1; i <= given; ++i) {
        args.values.push_back(Evaluate(*call.items[static_cast<size_t>(i)], frame));
    }
    // The host passes VOID for parameters the script leaves out.
    while (static_cast<int32_t>(args.values.size()) < declared) {
        args.values.push_back(host_.Void());
    }
    Owned result(host_, host_.Void());
    const HostResult code =
        session_.Call(host_.ObjectId(me.get()), method, args.values, result.get());
    if (afterMethodCall_) {
        const std::string error = afterMethodCall_();
        if (!error.empty()) {
            Throw(call.column, call.text + "(): " + error);
        }
    }
    if (code != kHostOk) {
        Throw(call.column, MethodError(call, method, args.values, code));
    }
    return result.Take();
}

}  // namespace console
