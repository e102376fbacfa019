// The dispatcher against a recording engine: what each method converts, which
// engine operation it reaches and what it writes back, and that a call
// sequence leaves no value or block alive.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/dispatch.h"
#include "host/method_table.h"
#include "hostsim/sim_host.h"
#include "tests/common/message_list.h"
#include "tests/dispatch/fake_engine.h"

namespace {

using hostsim::SimHost;

const char* const kOk = "[#code: 0, #text: \"No error\"]";
// What the host put in the result slot; "untouched" means it is still there.
const char* const kUntouched = "untouched";

// One instance with a recording engine over a SimHost; the arguments are
// values of the host, element 0 standing for `me`.
class Fixture {
public:
    Fixture() {
        engine = std::make_unique<FakeEngine>(host.values(), host.lists(), host.memory());
        instance.valueService = &host.values();
        instance.listService = &host.lists();
        instance.engine = engine.get();
    }

    // Calls with `args` after `me`; the result slot starts as a marker value
    // so that a slot left alone is told apart from one written.
    HostResult Call(int32_t method, std::vector<ScriptValue> args, std::string& printed) {
        args.insert(args.begin(), host.Object("me", 1));
        const ScriptValue marker = host.Integer(424242);
        CallRecord call{};
        call.methodNumber = method;
        call.result = marker;
        call.args = args.data();
        const HostResult code = DispatchCall(instance, call);
        const bool untouched =
            call.result.word[0] == marker.word[0] && call.result.word[1] == marker.word[1];
        printed = untouched ? kUntouched : host.Print(call.result);
        if (!untouched) {
            host.Release(call.result);
        }
        ScriptValue release = marker;
        host.Release(release);
        for (ScriptValue& arg : args) {
            host.Release(arg);
        }
        return code;
    }

    // After the engine is gone, nothing of the sequence may remain.
    void ExpectNothingLeft() {
        engine.reset();
        EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.BadReleases(), 0);
        EXPECT_EQ(host.BadUses(), 0);
    }

    SimHost host;
    std::unique_ptr<FakeEngine> engine;
    ScriptInstance instance{};
};

using tesmar_test::MessageList;

struct Row {
    const char* name;
    Method method;
    std::function<void(FakeEngine&)> setUp;
    std::function<std::vector<ScriptValue>(SimHost&)> args;
    std::vector<std::string> calls;  // the platform operations reached
    std::string result;
    std::function<void(FakeEngine&)> check;
};

TEST(Dispatch, EveryMethodReachesItsOperationAndWritesItsResult) {
    const auto none = [](FakeEngine&) {};
    const auto noArgs = [](SimHost&) { return std::vector<ScriptValue>{}; };
    const std::string note =
        "[#type: #noteOn, #channel: 10, #number: 36, #velocity: 100, #timestamp: 5]";
    const Row rows[] = {
        {"Init", Method::Init, none, noArgs, {"Init"}, kOk, nullptr},
        {"Init failing",
         Method::Init,
         [](FakeEngine& e) { e.answer = 2; },
         noArgs,
         {"Init"},
         "[#code: 2, #text: \"Instance not initialised - call Init() first\"]",
         nullptr},
        {"GetTime",
         Method::GetTime,
         [](FakeEngine& e) { e.time = 123456; },
         noArgs,
         {"GetTime"},
         "123456",
         nullptr},
        {"ResetTimer", Method::ResetTimer, none, noArgs, {"ResetTimer"}, kUntouched, nullptr},
        {"GetInputPorts",
         Method::GetInputPorts,
         none,
         noArgs,
         {"GetInputPorts"},
         "[\"In A\", \"In B\"]",
         nullptr},
        {"OpenInput",
         Method::OpenInput,
         none,
         [](SimHost& h) {
             return std::vector{h.Integer(1), h.Integer(256)};
         },
         {"OpenInput(0, 256)"},
         kOk,
         nullptr},
        {"OpenInput port 0",
         Method::OpenInput,
         [](FakeEngine& e) { e.answer = 15; },
         [](SimHost& h) {
             return std::vector{h.Integer(0), h.Integer(4096)};
         },
         {"OpenInput(-1, 4096)"},
         "[#code: 15, #text: \"Invalid port number\"]",
         nullptr},
        {"CloseInput",
         Method::CloseInput,
         [](FakeEngine& e) { e.answer = 13; },
         noArgs,
         {"CloseInput"},
         "[#code: 13, #text: \"Input not open\"]",
         nullptr},
        {"SetSystemFilter",
         Method::SetSystemFilter,
         none,
         [](SimHost& h) { return std::vector{h.SymbolValue("clock")}; },
         {},
         kOk,
         [](FakeEngine& e) {
             EXPECT_EQ(e.TypeMask(8), 0xFF);   // 0xF8 passes
             EXPECT_EQ(e.TypeMask(10), 0x7F);  // 0xFA does not
         }},
        {"SetChannelFilter",
         Method::SetChannelFilter,
         none,
         [](SimHost& h) {
             return std::vector{h.SymbolValue("noteOn"), h.Integer(10)};
         },
         {},
         kOk,
         [](FakeEngine& e) { EXPECT_EQ(e.TypeMask(9), 0x82); }},
        {"MessagesPending empty", Method::MessagesPending, none, noArgs, {}, "0", nullptr},
        {"MessagesPending",
         Method::MessagesPending,
         [](FakeEngine& e) { e.Receive(1); },
         noArgs,
         {},
         "1",
         nullptr},
        {"GetNextMessage",
         Method::GetNextMessage,
         [](FakeEngine& e) { e.Receive(2); },
         noArgs,
         {},
         note,
         [](FakeEngine& e) { EXPECT_TRUE(e.MessagesPending()); }},
        {"GetNextMessage empty", Method::GetNextMessage, none, noArgs, {}, "[:]", nullptr},
        {"GetPendingMessages",
         Method::GetPendingMessages,
         [](FakeEngine& e) { e.Receive(2); },
         noArgs,
         {},
         "[" + note + ", " + note + "]",
         [](FakeEngine& e) { EXPECT_FALSE(e.MessagesPending()); }},
        {"InputOverflowed",
         Method::InputOverflowed,
         [](FakeEngine& e) { e.Receive(1000); },
         noArgs,
         {},
         "1",
         [](FakeEngine& e) { EXPECT_FALSE(e.InputOverflowed()); }},
        {"InputOverflowed not",
         Method::InputOverflowed,
         [](FakeEngine& e) { e.Receive(1); },
         noArgs,
         {},
         "0",
         nullptr},
        {"FlushInput",
         Method::FlushInput,
         [](FakeEngine& e) { e.Receive(3); },
         noArgs,
         {},
         kUntouched,
         [](FakeEngine& e) { EXPECT_FALSE(e.MessagesPending()); }},
        {"GetOutputPorts",
         Method::GetOutputPorts,
         none,
         noArgs,
         {"GetOutputPorts"},
         "[\"Loopback\"]",
         nullptr},
        {"OpenOutput",
         Method::OpenOutput,
         none,
         [](SimHost& h) { return std::vector{h.Integer(3)}; },
         {"OpenOutput(2)"},
         kOk,
         nullptr},
        {"OpenOutput most negative",
         Method::OpenOutput,
         [](FakeEngine& e) { e.answer = 15; },
         [](SimHost& h) { return std::vector{h.Integer(INT32_MIN)}; },
         {"OpenOutput(2147483647)"},
         "[#code: 15, #text: \"Invalid port number\"]",
         nullptr},
        {"CloseOutput",
         Method::CloseOutput,
         [](FakeEngine& e) { e.answer = 99; },
         noArgs,
         {"CloseOutput"},
         "[#code: 99, #text: \"Unknown error\"]",
         nullptr},
        {"SendMessage",
         Method::SendMessage,
         [](FakeEngine& e) { e.MarkOutputOpen(); },
         [](SimHost& h) {
             return std::vector{MessageList(h, "noteOn", {10, 36, 100})};
         },
         {"Short(99 24 64, 3)"},
         kOk,
         nullptr},
        {"SendMessage closed",
         Method::SendMessage,
         none,
         [](SimHost& h) {
             return std::vector{MessageList(h, "noteOn", {10, 36, 100})};
         },
         {},
         "[#code: 14, #text: \"Output not open\"]",
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        row.setUp(*f.engine);
        std::string printed;
        EXPECT_EQ(f.Call(static_cast<int32_t>(row.method), row.args(f.host), printed), kHostOk);
        EXPECT_EQ(printed, row.result);
        EXPECT_EQ(f.engine->calls, row.calls);
        if (row.check) {
            row.check(*f.engine);
        }
        f.ExpectNothingLeft();
    }
}

TEST(Dispatch, NewAndUnknownMethodsDoNothing) {
    for (int32_t method : {0, 18, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(method);
        Fixture f;
        f.engine->Receive(1);
        std::string printed;
        EXPECT_EQ(f.Call(method, {f.host.Integer(1), f.host.Integer(1)}, printed), kHostOk);
        EXPECT_EQ(printed, kUntouched);
        EXPECT_TRUE(f.engine->calls.empty());
        EXPECT_TRUE(f.engine->MessagesPending());
        f.ExpectNothingLeft();
    }
}

TEST(Dispatch, WithoutAnEngineEveryMethodDoesNothing) {
    for (int32_t method = 0; method <= 18; ++method) {
        SCOPED_TRACE(method);
        Fixture f;
        f.instance.engine = nullptr;
        const uint64_t before = f.host.CallCount("ValueToInteger");
        std::string printed;
        EXPECT_EQ(f.Call(method, {f.host.String("x"), f.host.String("y")}, printed), kHostOk);
        EXPECT_EQ(printed, kUntouched);
        EXPECT_EQ(f.host.CallCount("ValueToInteger"), before);
        EXPECT_EQ(f.host.CallCount("NewList"), 0u);
        EXPECT_EQ(f.host.CallCount("NewPropList"), 0u);
        EXPECT_TRUE(f.engine->calls.empty());
        f.ExpectNothingLeft();
    }
}

TEST(Dispatch, AFailedConversionStopsTheCall) {
    struct Case {
        const char* name;
        Method method;
        uint32_t failingCall;  // 0: no injected fault, the argument itself is bad
        std::function<std::vector<ScriptValue>(SimHost&)> args;
        HostResult code;
        uint64_t conversions;
    };
    const Case cases[] = {
        {"port fails", Method::OpenInput, 1,
         [](SimHost& h) {
             return std::vector{h.Integer(1), h.Integer(256)};
         },
         SimHost::kInjectedFailure, 1},
        {"bufSize fails", Method::OpenInput, 2,
         [](SimHost& h) {
             return std::vector{h.Integer(1), h.Integer(256)};
         },
         SimHost::kInjectedFailure, 2},
        {"port is a float", Method::OpenInput, 0,
         [](SimHost& h) {
             return std::vector{h.Float(1.0), h.Integer(256)};
         },
         SimHost::kFailure, 1},
        {"bufSize is a string", Method::OpenInput, 0,
         [](SimHost& h) {
             return std::vector{h.Integer(1), h.String("256")};
         },
         SimHost::kFailure, 2},
        {"output port fails", Method::OpenOutput, 1,
         [](SimHost& h) { return std::vector{h.Integer(1)}; }, SimHost::kInjectedFailure, 1},
        {"output port is void", Method::OpenOutput, 0,
         [](SimHost& h) { return std::vector{h.Void()}; }, SimHost::kFailure, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.failingCall != 0) {
            f.host.FailCall("ValueToInteger", c.failingCall);
        }
        std::string printed;
        EXPECT_EQ(f.Call(static_cast<int32_t>(c.method), c.args(f.host), printed), c.code);
        EXPECT_EQ(printed, kUntouched);
        EXPECT_EQ(f.host.CallCount("ValueToInteger"), c.conversions);
        EXPECT_TRUE(f.engine->calls.empty());
        EXPECT_EQ(f.host.CallCount("NewPropList"), 0u);
        f.ExpectNothingLeft();
    }
}

TEST(Dispatch, GetTimeReturnsTheCodeOfItsIntegerOnly) {
    Fixture f;
    f.engine->time = 7;
    f.host.FailCall("IntegerToValue", 1);
    std::string printed;
    EXPECT_EQ(f.Call(static_cast<int32_t>(Method::GetTime), {}, printed),
              SimHost::kInjectedFailure);
    EXPECT_EQ(printed, "<Void>");  // the failed make left no value behind

    // Elsewhere the code of the integer is not passed on.
    f.engine->Receive(1);
    f.host.FailCall("IntegerToValue", 1);
    EXPECT_EQ(f.Call(static_cast<int32_t>(Method::MessagesPending), {}, printed), kHostOk);
    EXPECT_EQ(printed, "<Void>");
    f.ExpectNothingLeft();
}

TEST(Dispatch, ACallSequenceLeavesNothingBehind) {
    Fixture f;
    std::string printed;
    const auto call = [&](Method method, std::vector<ScriptValue> args = {}) {
        return f.Call(static_cast<int32_t>(method), std::move(args), printed);
    };
    EXPECT_EQ(call(Method::Init), kHostOk);
    EXPECT_EQ(call(Method::GetInputPorts), kHostOk);
    EXPECT_EQ(call(Method::OpenInput, {f.host.Integer(2), f.host.Integer(2048)}), kHostOk);
    f.engine->Receive(5);
    EXPECT_EQ(call(Method::GetNextMessage), kHostOk);
    EXPECT_EQ(call(Method::GetPendingMessages), kHostOk);
    EXPECT_EQ(call(Method::SetSystemFilter, {f.host.NewList()}), kHostOk);
    EXPECT_EQ(call(Method::SetChannelFilter, {f.host.SymbolValue("all"), f.host.NewList()}),
              kHostOk);
    EXPECT_EQ(call(Method::OpenOutput, {f.host.Integer(1)}), kHostOk);
    f.engine->MarkOutputOpen();
    EXPECT_EQ(call(Method::SendMessage, {MessageList(f.host, "programChange", {1, 5})}), kHostOk);
    EXPECT_EQ(call(Method::SendMessage, {MessageList(f.host, "bogus", {})}), kHostOk);
    EXPECT_EQ(printed, "[#code: 7, #text: \"Unknown message type\"]");
    EXPECT_EQ(call(Method::CloseOutput), kHostOk);
    EXPECT_EQ(call(Method::CloseInput), kHostOk);
    const std::vector<std::string> expected = {
        "Init",        "GetInputPorts", "OpenInput(1, 2048)", "OpenOutput(0)", "Short(C0 05 00, 2)",
        "CloseOutput", "CloseInput"};
    EXPECT_EQ(f.engine->calls, expected);
    f.ExpectNothingLeft();
}

}  // namespace
