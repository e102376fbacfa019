#include "console/language/interpreter.h"

#include <cstdio>
#include <thread>

#include "console/language/lexer.h"

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

// Values that one call holds, released together.
class OwnedList {
public:
    explicit OwnedList(SimHost& host) : host_(host) {}
    ~OwnedList() {
        for (ScriptValue& value : values) {
            host_.Release(value);
        }
    }
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;

    std::vector<ScriptValue> values;

private:
    SimHost& host_;
};

std::string HexCode(HostResult code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

// A handler's variables: its parameters and locals, and the names it
// declared global. The statements outside handlers run in a frame whose
// every variable is global, as in the host's message window.
struct Interpreter::Frame {
    Frame(SimHost& host, bool topLevel) : host(host), topLevel(topLevel) {}
    ~Frame() {
        for (auto& [name, value] : locals) {
            host.Release(value);
        }
        host.Release(result);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    SimHost& host;
    bool topLevel;
    std::vector<std::pair<std::string, ScriptValue>> locals;
    std::vector<std::string> globals;
    ScriptValue result = host.Void();
};

class Interpreter::Depth {
public:
    Depth(Interpreter& interpreter, int column) : interpreter_(interpreter) {
        if (interpreter_.depth_ >= kMaxRunDepth) {
            interpreter_.Throw(column, "handler calls, blocks and expressions nested deeper than " +
                                           std::to_string(kMaxRunDepth) + " levels");
        }
        ++interpreter_.depth_;
    }
    ~Depth() { --interpreter_.depth_; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    Interpreter& interpreter_;
};

Interpreter::Interpreter(hostsim::SimHost& host, XtraSession& session, std::ostream& out,
                         std::ostream& diagnostics)
    : host_(host),
      session_(session),
      out_(out),
      diagnostics_(diagnostics),
      waiter_([](int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      start_(std::chrono::steady_clock::now()) {
    DefineListFunctions(*this);
    DefineFunction("wait", 1, 1, "wait() takes a number of milliseconds",
                   [this](FunctionCall& call) {
                       const ScriptValue& ms = call.args[0];
                       if (host_.KindOf(ms) != Kind::Integer || host_.IntegerOf(ms) < 0) {
                           Fail(call.ArgColumn(0),
                                "wait() needs a non-negative integer, not " + host_.Print(ms));
                       }
                       waiter_(host_.IntegerOf(ms));
                       return host_.Void();
                   });
}

Interpreter::~Interpreter() {
    ReleaseVariables();
}

void Interpreter::ReleaseVariables() {
    for (auto& [name, value] : globals_) {
        host_.Release(value);
    }
    globals_.clear();
}

void Interpreter::DefineFunction(std::string name, int minArgs, int maxArgs, std::string usage,
                                 Function function) {
    functions_.push_back(
        {std::move(name), minArgs, maxArgs, std::move(usage), std::move(function)});
}

void Interpreter::Throw(int column, std::string message) {
    throw ScriptError{column, std::move(message), line_};
}

void Interpreter::Report(int line, int column, const std::string& message) {
    diagnostics_ << "line " << line << ", column " << column << ": " << message << '\n';
    diagnostics_.flush();
    ++errors_;
}

void Interpreter::CheckInterrupt(int column) {
    if (interrupt_ != nullptr && interrupt_->load(std::memory_order_relaxed)) {
        Throw(column, "interrupted");
    }
}

// ---------------------------------------------------------------- items

bool Interpreter::RunLine(int lineNumber, const std::string& line) {
    const int before = errors_;
    std::vector<ScriptItem> items;
    reader_.Feed(lineNumber, line, &items);
    for (ScriptItem& item : items) {
        RunItem(item);
    }
    return errors_ == before;
}

void Interpreter::RunScript(const std::vector<std::string>& lines) {
    std::vector<ScriptItem> items;
    for (size_t i = 0; i < lines.size(); ++i) {
        reader_.Feed(static_cast<int>(i) + 1, lines[i], &items);
    }
    reader_.Finish(&items);
    for (ScriptItem& item : items) {
        if (item.kind == ScriptItem::Kind::Handler) {
            Define(std::move(item.handler));
            item.kind = ScriptItem::Kind::Statement;  // done: runs as nothing
        }
    }
    for (ScriptItem& item : items) {
        RunItem(item);
    }
}

void Interpreter::Finish() {
    std::vector<ScriptItem> items;
    reader_.Finish(&items);
    for (ScriptItem& item : items) {
        RunItem(item);
    }
}

void Interpreter::RunItem(ScriptItem& item) {
    if (halted_ && item.kind != ScriptItem::Kind::Error) {
        return;
    }
    if (echo_) {
        for (const std::string& text : item.echo) {
            out_ << text << '\n';
        }
        out_.flush();
    }
    switch (item.kind) {
        case ScriptItem::Kind::Error:
            Report(item.line, item.column, "syntax error: " + item.message);
            return;
        case ScriptItem::Kind::Handler:
            Define(std::move(item.handler));
            return;
        case ScriptItem::Kind::Statement:
            RunTopLevel(item.statement);
            return;
    }
}

void Interpreter::Define(Handler handler) {
    const bool builtIn = SameName(handler.name, "new") || SameName(handler.name, "interface");
    for (const FunctionEntry& function : functions_) {
        if (builtIn || SameName(function.name, handler.name)) {
            Report(handler.line, 1,
                   "'" + handler.name +
                       "' is a function of the language; no handler can take its "
                       "name");
            return;
        }
    }
    for (Handler& existing : handlers_) {
        if (SameName(existing.name, handler.name)) {
            existing = std::move(handler);
            return;
        }
    }
    handlers_.push_back(std::move(handler));
}

void Interpreter::RunTopLevel(const Statement& statement) {
    if (statement.kind == StatementKind::Empty) {
        return;
    }
    Frame frame(host_, true);
    try {
        Execute(statement, frame);
    } catch (const ScriptError& error) {
        Report(error.line != 0 ? error.line : line_, error.column, error.message);
    } catch (const Halt&) {
        halted_ = true;
    }
}

bool Interpreter::HasHandler(std::string_view name) const {
    for (const Handler& handler : handlers_) {
        if (SameName(handler.name, name)) {
            return true;
        }
    }
    return false;
}

Interpreter::EventResult Interpreter::CallEvent(std::string_view name) {
    for (const Handler& handler : handlers_) {
        if (!SameName(handler.name, name)) {
            continue;
        }
        std::vector<ScriptValue> none;
        try {
            ScriptValue result = CallHandler(handler, none);
            host_.Release(result);
        } catch (const ScriptError& error) {
            Report(error.line != 0 ? error.line : line_, error.column, error.message);
            return EventResult::Failed;
        } catch (const Halt&) {
            halted_ = true;
            return EventResult::Halted;
        }
        return EventResult::Done;
    }
    return EventResult::Done;
}

// ---------------------------------------------------------------- statements

Interpreter::Flow Interpreter::ExecuteBlock(const std::vector<Statement>& block, Frame& frame) {
    if (block.empty()) {
        return Flow::Next;
    }
    Depth depth(*this, block.front().column);
    for (const Statement& statement : block) {
        const Flow flow = Execute(statement, frame);
        if (flow != Flow::Next) {
            return flow;
        }
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::Execute(const Statement& statement, Frame& frame) {
    line_ = statement.line;
    switch (statement.kind) {
        case StatementKind::Empty:
            return Flow::Next;
        case StatementKind::Put: {
            Owned value(host_, Evaluate(*statement.value, frame));
            Put(value.get());
            return Flow::Next;
        }
        case StatementKind::Assign: {
            Owned value(host_, Evaluate(*statement.value, frame));
            Assign(frame, statement.target, value.get());
            return Flow::Next;
        }
        case StatementKind::Call: {
            Owned value(host_, Evaluate(*statement.value, frame));
            return Flow::Next;
        }
        case StatementKind::Global:
            for (const std::string& name : statement.names) {
                // Outside handlers, as at the top of a movie script, the
                // declaration holds in every handler.
                std::vector<std::string>& declared =
                    frame.topLevel ? scriptGlobals_ : frame.globals;
                bool known = false;
                for (const std::string& existing : declared) {
                    known = known || SameName(existing, name);
                }
                if (!known) {
                    declared.push_back(name);
                }
                Variable(frame, name, true);
            }
            return Flow::Next;
        case StatementKind::Return:
            if (statement.value) {
                ScriptValue value = Evaluate(*statement.value, frame);
                host_.Release(frame.result);
                frame.result = value;
            }
            return Flow::Return;
        case StatementKind::Exit:
            return Flow::Return;
        case StatementKind::ExitRepeat:
            return Flow::ExitRepeat;
        case StatementKind::NextRepeat:
            return Flow::NextRepeat;
        case StatementKind::Halt:
            throw Halt{};
        case StatementKind::If: {
            bool condition = false;
            {
                Owned value(host_, Evaluate(*statement.value, frame));
                condition = IsTrue(host_, value.get(), statement.value->column);
            }
            return ExecuteBlock(condition ? statement.body : statement.orElse, frame);
        }
        case StatementKind::RepeatWhile:
        case StatementKind::RepeatWith:
        case StatementKind::RepeatIn:
            return Repeat(statement, frame);
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::Repeat(const Statement& statement, Frame& frame) {
    // The body's flow: leave the loop (and maybe the handler), or go on.
    const auto round = [&](Flow* out) {
        const Flow flow = ExecuteBlock(statement.body, frame);
        line_ = statement.line;
        if (flow == Flow::Return || flow == Flow::ExitRepeat) {
            *out = flow == Flow::Return ? Flow::Return : Flow::Next;
            return false;
        }
        return true;
    };
    Flow result = Flow::Next;
    switch (statement.kind) {
        case StatementKind::RepeatWhile:
            while (true) {
                CheckInterrupt(statement.column);
                Owned value(host_, Evaluate(*statement.value, frame));
                if (!IsTrue(host_, value.get(), statement.value->column) || !round(&result)) {
                    return result;
                }
            }
        case StatementKind::RepeatWith: {
            int64_t bounds[2] = {0, 0};
            const Expr* exprs[2] = {statement.value.get(), statement.limit.get()};
            for (int i = 0; i < 2; ++i) {
                Owned value(host_, Evaluate(*exprs[i], frame));
                if (host_.KindOf(value.get()) != Kind::Integer) {
                    Throw(exprs[i]->column,
                          "repeat with needs integers, not " + host_.Print(value.get()));
                }
                bounds[i] = host_.IntegerOf(value.get());
            }
            const int64_t step = statement.down ? -1 : 1;
            for (int64_t i = bounds[0]; statement.down ? i >= bounds[1] : i <= bounds[1];
                 i += step) {
                CheckInterrupt(statement.column);
                Owned counter(host_, host_.Integer(static_cast<int32_t>(i)));
                Assign(frame, statement.target, counter.get());
                if (!round(&result)) {
                    return result;
                }
            }
            return result;
        }
        default: {  // repeat with item in list
            Owned list(host_, Evaluate(*statement.value, frame));
            const Kind kind = host_.KindOf(list.get());
            if (kind != Kind::List && kind != Kind::PropList) {
                Throw(statement.value->column,
                      "repeat with ... in needs a list, not " + host_.Print(list.get()));
            }
            const int32_t count = host_.Count(list.get());
            for (int32_t i = 1; i <= count && i <= host_.Count(list.get()); ++i) {
                CheckInterrupt(statement.column);
                Owned item(host_, host_.At(list.get(), i));
                Assign(frame, statement.target, item.get());
                if (!round(&result)) {
                    return result;
                }
            }
            return result;
        }
    }
}

// ---------------------------------------------------------------- variables

ScriptValue* Interpreter::Variable(Frame& frame, const std::string& name, bool create) {
    bool global = frame.topLevel;
    for (const std::string& declared : frame.globals) {
        global = global || SameName(declared, name);
    }
    for (const std::string& declared : scriptGlobals_) {
        global = global || SameName(declared, name);
    }
    auto& table = global ? globals_ : frame.locals;
    for (auto& [existing, value] : table) {
        if (SameName(existing, name)) {
            return &value;
        }
    }
    if (!create) {
        return nullptr;
    }
    table.emplace_back(name, host_.Void());
    return &table.back().second;
}

void Interpreter::Assign(Frame& frame, const std::string& name, const ScriptValue& value) {
    ScriptValue copy = host_.Copy(value);
    ScriptValue* slot = Variable(frame, name, true);
    host_.Release(*slot);
    *slot = copy;
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

// ---------------------------------------------------------------- expressions

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
        case ExprKind::Milliseconds: {
            const auto elapsed = std::chrono::steady_clock::now() - start_;
            return host_.Integer(static_cast<int32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
        }
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
        case ExprKind::Negate: {
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
        case ExprKind::Not: {
            Owned operand(host_, Evaluate(*expr.items[0], frame));
            return host_.Integer(IsTrue(host_, operand.get(), expr.items[0]->column) ? 0 : 1);
        }
        case ExprKind::Binary: {
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
        Throw(call.column, "unknown handler '" + name + "'");
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
    ExecuteBlock(handler.body, frame);
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
        afterMethodCall_();
    }
    if (code != kHostOk) {
        Throw(call.column, call.text + "() failed with host code " + HexCode(code));
    }
    return result.Take();
}

}  // namespace console
