// Runs scripts of the console's language against a SimHost and an
// XtraSession: statements outside handlers as they complete, handlers when
// called (by a statement, or by the movie as the host calls its events).
// Values live in the SimHost, so its accounting sees every one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/language/script_reader.h"
#include "console/language/session.h"
#include "console/language/syntax.h"
#include "console/language/values.h"
#include "contract/host_api.h"
#include "hostsim/sim_host.h"

namespace console {

// What a function of the language is handed: its arguments, evaluated (the
// interpreter releases them), and the call, whose columns errors name.
struct FunctionCall {
    hostsim::SimHost& host;
    std::vector<ScriptValue>& args;
    const Expr& call;

    int ArgColumn(size_t i) const {
        return i < call.items.size() ? call.items[i]->column : call.column;
    }
};
// Returns a new value (the caller releases it); throws ScriptError (Fail).
using Function = std::function<ScriptValue(FunctionCall&)>;

class Interpreter {
public:
    // `out` receives what put prints; `diagnostics` the error lines.
    Interpreter(hostsim::SimHost& host, XtraSession& session, std::ostream& out,
                std::ostream& diagnostics);
    ~Interpreter();  // releases every variable
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // One line typed or read: runs what it completes (a statement outside a
    // handler; a handler is defined at its end). False when it had an error.
    bool RunLine(int lineNumber, const std::string& line);
    // A whole script, compiled first: when a line does not parse, every
    // syntax error is reported (a screenful at most), nothing runs and the
    // result is false (the console exits with 2). Otherwise its handlers are
    // defined, so that a statement may call a handler written below it, and
    // the statements run in order.
    bool RunScript(const std::vector<std::string>& lines);
    // The end of the input: a block still open is an error.
    void Finish();
    // A handler or block is waiting for its end.
    bool InBlock() const { return reader_.InBlock(); }

    // Adds a function of the language (names are matched without regard to
    // case); `usage` is the error for a wrong number of arguments.
    void DefineFunction(std::string name, int minArgs, int maxArgs, std::string usage,
                        Function function);

    bool HasHandler(std::string_view name) const;
    enum class EventResult { Done, Failed, Halted };
    // Calls a handler without arguments, as the host sends a movie event.
    // A run-time error in it is reported and ends the call.
    EventResult CallEvent(std::string_view name);
    // `halt` ran: the script or the movie stops.
    bool halted() const { return halted_; }

    // wait(ms) calls this; the console lets the virtual driver catch up too.
    // A text back is the statement's run-time error (a wait that gave up).
    void SetWaiter(std::function<std::string(int32_t ms)> waiter) { waiter_ = std::move(waiter); }
    // Runs after every call of a method of the plug-in: under --frames the
    // console lets the ports deliver what the call sent, so that a message
    // looped back is queued by the time the script asks again.
    // A text back is the statement's run-time error.
    void SetAfterMethodCall(std::function<std::string()> hook) {
        afterMethodCall_ = std::move(hook);
    }
    // --echo: every statement is written to `out` before it runs, as the
    // message window shows the typed line above the answer.
    void SetEcho(bool echo) { echo_ = echo; }
    // The milliseconds since the script started, which `the milliseconds`,
    // `the ticks` and `the timer` read: the real clock unless the console sets
    // another (under --frames, the movie's virtual clock).
    void SetClock(std::function<int64_t()> milliseconds) { clock_ = std::move(milliseconds); }
    // `the frame`: the movie's frame number (1 for the first), 0 outside it.
    void SetFrame(int32_t frame) { frame_ = frame; }
    int64_t Milliseconds() const { return clock_(); }
    // While set, loops and handler calls stop with an error (Ctrl-C).
    void SetInterrupt(const std::atomic<bool>* interrupt) { interrupt_ = interrupt; }

    // Releases every variable now (the destructor does it otherwise).
    void ReleaseVariables();

    int errors() const { return errors_; }
    // An error of the console's own (not of a statement), e.g. "frame 3:
    // interrupted": written as one line of the diagnostics, and counted.
    void ReportError(const std::string& message);

    struct Frame;

private:
    struct FunctionEntry {
        std::string name;
        int minArgs;
        int maxArgs;
        std::string usage;
        Function function;
    };
    enum class Flow { Next, Return, ExitRepeat, NextRepeat };
    struct Halt {};

    void RunItem(ScriptItem& item);
    bool ReportSyntaxErrors(const std::vector<ScriptItem>& items);
    void Report(int line, int column, const std::string& message);
    void Define(Handler handler);
    void RunTopLevel(const Statement& statement);

    Flow ExecuteBlock(const std::vector<Statement>& block, Frame& frame);
    Flow Execute(const Statement& statement, Frame& frame);
    Flow Repeat(const Statement& statement, Frame& frame);
    Flow ExecuteCase(const Statement& statement, Frame& frame);
    void DeclareGlobals(const Statement& statement, Frame& frame);
    // put ... into, after, before.
    void PutInto(const Statement& statement, Frame& frame);
    // p.x = v, p[#x] = v, list[i] = v.
    void AssignPlace(const Statement& statement, Frame& frame);
    // A method answered a host error: which argument it could not read.
    std::string MethodError(const Expr& call, int32_t method, const std::vector<ScriptValue>& args,
                            HostResult code);

    ScriptValue Evaluate(const Expr& expr, Frame& frame);
    ScriptValue EvaluateOperator(const Expr& expr, Frame& frame);
    ScriptValue EvaluateList(const Expr& expr, Frame& frame);
    ScriptValue EvaluateCall(const Expr& call, Frame& frame);
    ScriptValue CallHandler(const Handler& handler, std::vector<ScriptValue>& args);
    ScriptValue CallMethod(const Expr& call, int32_t method, Frame& frame);
    void Put(const ScriptValue& value);
    ScriptValue* Variable(Frame& frame, const std::string& name, bool create);
    void Assign(Frame& frame, const std::string& name, const ScriptValue& value);
    void CheckXtra(const Expr& call);
    void CheckInterrupt(int column);
    [[noreturn]] void Throw(int column, std::string message);

    // One level deeper while it lives: handler calls, blocks and
    // expressions recurse, so together they have a limit.
    class Depth;

    hostsim::SimHost& host_;
    XtraSession& session_;
    std::ostream& out_;
    std::ostream& diagnostics_;
    ScriptReader reader_;
    std::function<std::string(int32_t)> waiter_;
    std::function<std::string()> afterMethodCall_;
    std::vector<FunctionEntry> functions_;
    std::vector<Handler> handlers_;
    std::vector<std::pair<std::string, ScriptValue>> globals_;
    std::vector<std::string> scriptGlobals_;  // declared outside handlers
    std::function<int64_t()> clock_;
    int32_t frame_ = 0;
    int64_t timerStart_ = 0;  // the clock's time at startTimer
    const std::atomic<bool>* interrupt_ = nullptr;
    int line_ = 0;  // of the statement running
    int depth_ = 0;
    int callDepth_ = 0;  // handler calls: --echo indents their statements
    int errors_ = 0;
    bool echo_ = false;
    bool halted_ = false;
};

// Run-time nesting of handler calls, blocks and expressions together.
constexpr int kMaxRunDepth = 1000;
// Syntax errors of a script reported one by one; the rest are counted.
constexpr size_t kMaxSyntaxErrorsShown = 20;

// count, getAt, getProp, getaProp, add, append, addProp, voidP.
void DefineListFunctions(Interpreter& interpreter);
// setaProp, setProp, setAt, deleteAt, deleteOne, getPos, getOne, getLast,
// duplicate.
void DefineListEditFunctions(Interpreter& interpreter);
// string, integer, float, value, symbol, ilk, integerP, floatP, stringP,
// symbolP, listP.
void DefineConversionFunctions(Interpreter& interpreter);
// abs, max, min, random (from the same seed in every interpreter), bitAnd,
// bitOr, bitXor, bitNot.
void DefineMathFunctions(Interpreter& interpreter);
// length, chars, offset, numToChar, charToNum.
void DefineStringFunctions(Interpreter& interpreter);
}  // namespace console
