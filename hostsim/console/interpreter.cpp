#include "hostsim/console/interpreter.h"

#include <cstdio>
#include <thread>

#include "hostsim/console/lexer.h"

namespace console {
namespace {

using hostsim::Kind;
using hostsim::SimHost;

// One reference held by the interpreter while it works, released however the
// work ends.
class Owned {
public:
    Owned(SimHost& host, ScriptValue value) : host_(&host), value_(value) {}
    ~Owned() {
        if (host_ != nullptr) {
            host_->Release(value_);
        }
    }
    Owned(Owned&& other) noexcept : host_(other.host_), value_(other.value_) {
        other.host_ = nullptr;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned& operator=(Owned&&) = delete;

    const ScriptValue& get() const { return value_; }
    ScriptValue& get() { return value_; }
    ScriptValue Take() {
        host_ = nullptr;
        return value_;
    }

private:
    SimHost* host_;
    ScriptValue value_;
};

struct Failure {
    int column;
    std::string message;
};

std::string HexCode(HostResult code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

Interpreter::Interpreter(hostsim::SimHost& host, XtraSession& session, std::ostream& out,
                         std::ostream& diagnostics)
    : host_(host),
      session_(session),
      out_(out),
      diagnostics_(diagnostics),
      waiter_([](int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      start_(std::chrono::steady_clock::now()) {}

Interpreter::~Interpreter() {
    ReleaseVariables();
}

void Interpreter::ReleaseVariables() {
    for (auto& [name, value] : variables_) {
        host_.Release(value);
    }
    variables_.clear();
}

void Interpreter::Throw(int column, std::string message) {
    throw Failure{column, std::move(message)};
}

bool Interpreter::RunLine(int lineNumber, const std::string& line) {
    if (echo_) {
        const std::string text = StatementText(line);
        if (!text.empty()) {
            out_ << text << '\n';
            out_.flush();
        }
    }
    Statement statement;
    SyntaxError syntaxError;
    if (!ParseLine(line, &statement, &syntaxError)) {
        diagnostics_ << "line " << lineNumber << ", column " << syntaxError.column
                     << ": syntax error: " << syntaxError.message << '\n';
        ++errors_;
        return false;
    }
    try {
        switch (statement.kind) {
            case StatementKind::Empty:
                break;
            case StatementKind::Put: {
                Owned value(host_, Evaluate(*statement.value));
                Put(value.get());
                break;
            }
            case StatementKind::Assign: {
                Owned value(host_, Evaluate(*statement.value));
                Assign(statement.target, value.get());
                break;
            }
            case StatementKind::Call: {
                Owned value(host_, Evaluate(*statement.value));
                break;
            }
        }
    } catch (const Failure& failure) {
        diagnostics_ << "line " << lineNumber << ", column " << failure.column << ": "
                     << failure.message << '\n';
        ++errors_;
        return false;
    }
    return true;
}

// A text with line breaks (the method table from interface()) is printed as
// its own lines; everything else as the message window prints it.
void Interpreter::Put(const ScriptValue& value) {
    if (host_.KindOf(value) == Kind::String) {
        const std::string text = host_.TextOf(value);
        if (text.find('\n') != std::string::npos) {
            out_ << text;
            if (text.back() != '\n') {
                out_ << '\n';
            }
            out_.flush();
            return;
        }
    }
    out_ << "-- " << host_.Print(value) << '\n';
    out_.flush();
}

void Interpreter::Assign(const std::string& name, const ScriptValue& value) {
    ScriptValue copy = host_.Copy(value);
    for (auto& [existing, held] : variables_) {
        if (SameName(existing, name)) {
            host_.Release(held);
            held = copy;
            return;
        }
    }
    variables_.emplace_back(name, copy);
}

ScriptValue Interpreter::Evaluate(const Expr& expr) {
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
        case ExprKind::Milliseconds: {
            const auto elapsed = std::chrono::steady_clock::now() - start_;
            return host_.Integer(static_cast<int32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
        }
        case ExprKind::Variable: {
            for (const auto& [name, value] : variables_) {
                if (SameName(name, expr.text)) {
                    return host_.Copy(value);
                }
            }
            Throw(expr.column, "variable '" + expr.text + "' has no value");
        }
        case ExprKind::List: {
            Owned list(host_, host_.NewList());
            for (const auto& item : expr.items) {
                Owned value(host_, Evaluate(*item));
                host_.Append(list.get(), value.get());
            }
            return list.Take();
        }
        case ExprKind::PropList: {
            Owned list(host_, host_.NewPropList());
            for (size_t i = 0; i < expr.items.size(); ++i) {
                Owned value(host_, Evaluate(*expr.items[i]));
                host_.AppendPair(list.get(), expr.keys[i], value.get());
            }
            return list.Take();
        }
        case ExprKind::Negate: {
            Owned operand(host_, Evaluate(*expr.items[0]));
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
        case ExprKind::Call:
            return EvaluateCall(expr);
        case ExprKind::XtraRef:
            Throw(expr.column, "an xtra reference can only be given to new() or interface()");
    }
    Throw(expr.column, "cannot evaluate this expression");
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

ScriptValue Interpreter::EvaluateCall(const Expr& call) {
    const std::string& name = call.text;
    if (SameName(name, "new")) {
        CheckXtra(call);
        uintptr_t id = 0;
        std::string error;
        if (!session_.NewInstance(&id, &error)) {
            Throw(call.column, "new() failed: " + error);
        }
        return host_.Object("\"" + session_.XtraName() + "\" " + std::to_string(id), id);
    }
    if (SameName(name, "interface")) {
        CheckXtra(call);
        return host_.String(session_.MethodTable());
    }
    if (SameName(name, "count")) {
        if (call.items.size() != 1) {
            Throw(call.column, "count() takes one list");
        }
        Owned list(host_, Evaluate(*call.items[0]));
        const Kind kind = host_.KindOf(list.get());
        if (kind != Kind::List && kind != Kind::PropList) {
            Throw(call.items[0]->column, "count() needs a list, not " + host_.Print(list.get()));
        }
        return host_.Integer(host_.Count(list.get()));
    }
    if (SameName(name, "wait")) {
        if (call.items.size() != 1) {
            Throw(call.column, "wait() takes a number of milliseconds");
        }
        Owned ms(host_, Evaluate(*call.items[0]));
        if (host_.KindOf(ms.get()) != Kind::Integer || host_.IntegerOf(ms.get()) < 0) {
            Throw(call.items[0]->column,
                  "wait() needs a non-negative integer, not " + host_.Print(ms.get()));
        }
        waiter_(host_.IntegerOf(ms.get()));
        return host_.Void();
    }
    const int32_t method = session_.MethodNumber(name);
    if (method < 0) {
        Throw(call.column, "unknown handler '" + name + "'");
    }
    return CallMethod(call, method);
}

ScriptValue Interpreter::CallMethod(const Expr& call, int32_t method) {
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
    Owned me(host_, Evaluate(*call.items[0]));
    if (host_.KindOf(me.get()) != Kind::Object) {
        Throw(call.items[0]->column,
              call.text + "() needs an instance made by new(), not " + host_.Print(me.get()));
    }
    std::vector<Owned> owned;
    owned.reserve(static_cast<size_t>(declared));
    for (int32_t i = 1; i <= given; ++i) {
        owned.emplace_back(host_, Evaluate(*call.items[static_cast<size_t>(i)]));
    }
    // The host passes VOID for parameters the script leaves out.
    while (static_cast<int32_t>(owned.size()) < declared) {
        owned.emplace_back(host_, host_.Void());
    }
    std::vector<ScriptValue> args;
    args.reserve(owned.size());
    for (const Owned& value : owned) {
        args.push_back(value.get());
    }
    Owned result(host_, host_.Void());
    const HostResult code = session_.Call(host_.ObjectId(me.get()), method, args, result.get());
    if (code != kHostOk) {
        Throw(call.column, call.text + "() failed with host code " + HexCode(code));
    }
    return result.Take();
}

}  // namespace console
