// Running statements: lines and scripts, handlers and movie events, blocks,
// repeats, variables and put. Expressions are evaluate.cpp's.
#include "console/language/interpreter.h"

#include <cstdio>
#include <thread>

#include "console/language/interpreter_parts.h"
#include "console/language/lexer.h"

namespace console {

using hostsim::Kind;

Interpreter::Interpreter(hostsim::SimHost& host, XtraSession& session, std::ostream& out,
                         std::ostream& diagnostics)
    : host_(host),
      session_(session),
      out_(out),
      diagnostics_(diagnostics),
      waiter_([](int32_t ms) {
          std::this_thread::sleep_for(std::chrono::milliseconds(ms));
          return std::string();
      }),
      clock_([start = std::chrono::steady_clock::now()] {
          return int64_t{std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count()};
      }) {
    DefineListFunctions(*this);
    DefineListEditFunctions(*this);
    DefineConversionFunctions(*this);
    DefineMathFunctions(*this);
    DefineStringFunctions(*this);
    DefineFunction("startTimer", 0, 0, "startTimer() takes no arguments", [this](FunctionCall&) {
        timerStart_ = clock_();
        return host_.Void();
    });
    DefineFunction("wait", 1, 1, "wait() takes a number of milliseconds",
                   [this](FunctionCall& call) {
                       const ScriptValue& ms = call.args[0];
                       if (host_.KindOf(ms) != Kind::Integer || host_.IntegerOf(ms) < 0) {
                           Fail(call.ArgColumn(0),
                                "wait() needs a non-negative integer, not " + host_.Print(ms));
                       }
                       const std::string error = waiter_(host_.IntegerOf(ms));
                       if (!error.empty()) {
                           Fail(call.call.column, error);
                       }
                       return host_.Void();
                   });
}

void Interpreter::ReportError(const std::string& message) {
    ++errors_;
    diagnostics_ << message << '\n';
    diagnostics_.flush();
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
    if (echo_ && !frame.topLevel && !statement.text.empty()) {
        // Statements outside handlers are echoed as their lines are read.
        out_ << std::string(static_cast<size_t>(2 * callDepth_), ' ') << statement.text << '\n';
        out_.flush();
    }
    switch (statement.kind) {
        case StatementKind::Empty:
            return Flow::Next;
        case StatementKind::Put: {
            Owned value(host_, Evaluate(*statement.value, frame));
            Put(value.get());
            return Flow::Next;
        }
        case StatementKind::PutInto:
        case StatementKind::PutAfter:
        case StatementKind::PutBefore:
            PutInto(statement, frame);
            return Flow::Next;
        case StatementKind::AssignPlace:
            AssignPlace(statement, frame);
            return Flow::Next;
        case StatementKind::Case:
            return ExecuteCase(statement, frame);
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
            DeclareGlobals(statement, frame);
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

// The first branch with a value equal to the subject (as `=` compares)
// runs, else the otherwise branch.
Interpreter::Flow Interpreter::ExecuteCase(const Statement& statement, Frame& frame) {
    Owned subject(host_, Evaluate(*statement.value, frame));
    for (const CaseBranch& branch : statement.branches) {
        for (const ExprPtr& value : branch.values) {
            Owned candidate(host_, Evaluate(*value, frame));
            if (SameContent(host_, subject.get(), candidate.get())) {
                return ExecuteBlock(branch.body, frame);
            }
        }
    }
    return ExecuteBlock(statement.orElse, frame);
}

// ---------------------------------------------------------------- variables

void Interpreter::DeclareGlobals(const Statement& statement, Frame& frame) {
    for (const std::string& name : statement.names) {
        // Outside handlers, as at the top of a movie script, the
        // declaration holds in every handler.
        std::vector<std::string>& declared = frame.topLevel ? scriptGlobals_ : frame.globals;
        bool known = false;
        for (const std::string& existing : declared) {
            known = known || SameName(existing, name);
        }
        if (!known) {
            declared.push_back(name);
        }
        Variable(frame, name, true);
    }
}

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

}  // namespace console
