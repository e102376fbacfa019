// The interpreter's own parts, shared by its two files (interpreter.cpp:
// statements and flow; evaluate.cpp: expressions and calls): the values it
// holds while it works, a handler's frame, and the nesting guard.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "console/language/interpreter.h"
#include "hostsim/sim_host.h"

namespace console {

// One reference held by the interpreter while it works, released however the
// work ends.
class Owned {
public:
    Owned(hostsim::SimHost& host, ScriptValue value) : host_(&host), value_(value) {}
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
    hostsim::SimHost* host_;
    ScriptValue value_;
};

// Values that one call holds, released together.
class OwnedList {
public:
    explicit OwnedList(hostsim::SimHost& host) : host_(host) {}
    ~OwnedList() {
        for (ScriptValue& value : values) {
            host_.Release(value);
        }
    }
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;

    std::vector<ScriptValue> values;

private:
    hostsim::SimHost& host_;
};

// A handler's variables: its parameters and locals, and the names it
// declared global. The statements outside handlers run in a frame whose
// every variable is global, as in the host's message window.
struct Interpreter::Frame {
    Frame(hostsim::SimHost& host, bool topLevel) : host(host), topLevel(topLevel) {}
    ~Frame() {
        for (auto& [name, value] : locals) {
            host.Release(value);
        }
        host.Release(result);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    hostsim::SimHost& host;
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

}  // namespace console
