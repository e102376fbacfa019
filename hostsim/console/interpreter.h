// Runs statements of the console's script language against a SimHost and an
// XtraSession. Values live in the SimHost, so its accounting sees every one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/host_api.h"
#include "hostsim/console/session.h"
#include "hostsim/console/syntax.h"
#include "hostsim/sim_host.h"

namespace console {

class Interpreter {
public:
    // `out` receives what put prints; `diagnostics` the error lines.
    Interpreter(hostsim::SimHost& host, XtraSession& session, std::ostream& out,
                std::ostream& diagnostics);
    ~Interpreter();  // releases every variable
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs one line; an error is reported as `line N, column C: message` and
    // the line has no further effect. False when the line had an error.
    bool RunLine(int lineNumber, const std::string& line);

    // wait(ms) calls this; the console lets the virtual driver catch up too.
    void SetWaiter(std::function<void(int32_t ms)> waiter) { waiter_ = std::move(waiter); }

    // --echo: every statement is written to `out` before it runs, as the
    // message window shows the typed line above the answer.
    void SetEcho(bool echo) { echo_ = echo; }

    // Releases every variable now (the destructor does it otherwise).
    void ReleaseVariables();

    int errors() const { return errors_; }

private:
    struct RuntimeError {
        int column;
        std::string message;
    };

    ScriptValue Evaluate(const Expr& expr);
    ScriptValue EvaluateCall(const Expr& call);
    ScriptValue CallMethod(const Expr& call, int32_t method);
    void Put(const ScriptValue& value);
    void Assign(const std::string& name, const ScriptValue& value);
    void CheckXtra(const Expr& call);
    [[noreturn]] static void Throw(int column, std::string message);

    hostsim::SimHost& host_;
    XtraSession& session_;
    std::ostream& out_;
    std::ostream& diagnostics_;
    std::function<void(int32_t)> waiter_;
    std::vector<std::pair<std::string, ScriptValue>> variables_;
    std::chrono::steady_clock::time_point start_;
    int errors_ = 0;
    bool echo_ = false;
};

}  // namespace console
