#include "tests/sweep/session.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"

namespace sweep {

const std::vector<std::string> kHostOperations = {
    "StringToSymbol", "ValueType",        "ValueToInteger", "ValueToSymbol",  "IntegerToValue",
    "SymbolToValue",  "StringToValue",    "NewList",        "AppendToList",   "GetValueByIndex",
    "NewPropList",    "AppendToPropList", "Alloc",          "QueryInterface", "GetAppInfoString",
};
const std::vector<std::string> kWinmmOperations = {
    "midiInGetNumDevs", "midiInGetDevCapsA",    "midiInOpen",         "midiInPrepareHeader",
    "midiInAddBuffer",  "midiInStart",          "midiInReset",        "midiInUnprepareHeader",
    "midiInClose",      "midiOutGetNumDevs",    "midiOutGetDevCapsA", "midiOutOpen",
    "midiOutShortMsg",  "midiOutPrepareHeader", "midiOutLongMsg",     "midiOutUnprepareHeader",
    "midiOutReset",     "midiOutClose",
};
const std::vector<std::string> kRegistryOperations = {"GetRegistryEntry", "PutRegistryValue"};

const char* SessionName(SessionKind kind) {
    switch (kind) {
        case SessionKind::Examples:
            return "examples";
        case SessionKind::RefusingDriver:
            return "refusing-driver";
        case SessionKind::PulledCable:
            return "pulled-cable";
        case SessionKind::RealStack:
            return "real-stack";
    }
    return "";
}

namespace {

constexpr unsigned kClock = 1000;  // frozen, so that timestamps repeat

class Script {
public:
    Script(hostsim::SimHost& host, hostsim::LoadedModule& module, hostsim::ScriptObject& object,
           FILE* out)
        : host_(host), module_(module), object_(object), out_(out) {}

    // A method call as the script sees it: the value, or the host's error.
    std::string Call(const char* method, std::vector<ScriptValue> args = {}) {
        ScriptValue result = host_.Void();
        const HostResult code = object_.Call(module_.MethodNumber(method), args, result);
        for (ScriptValue& arg : args) {
            host_.Release(arg);
        }
        std::string seen = host_.Print(result);
        host_.Release(result);
        if (code != kHostOk) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
            seen = std::string("host error ") + hex + " " + seen;
        }
        return seen;
    }
    void Step(const std::string& seen) {
        std::fprintf(out_, "step %d %s\n", ++steps_, seen.c_str());
    }
    void Do(const char* method, std::vector<ScriptValue> args = {}) {
        Step(std::string(method) + " " + Call(method, std::move(args)));
    }

    ScriptValue Int(int32_t value) { return host_.Integer(value); }
    ScriptValue Sym(const char* name) { return host_.SymbolValue(name); }
    ScriptValue List(std::vector<ScriptValue> items) {
        ScriptValue list = host_.NewList();
        for (ScriptValue& item : items) {
            host_.Append(list, item);
            host_.Release(item);
        }
        return list;
    }
    // A message that will come in, as it reads when received.
    void Expect(const std::string& received) {
        std::fprintf(out_, "sent %s, #timestamp: %u]\n", received.c_str(), kClock);
    }
    // Sends a message; `received` is how it reads when it comes back.
    void Send(ScriptValue message, const std::string& received) {
        Expect(received);
        Do("SendMessage", {message});
    }
    void SendShort(const char* type, std::vector<int32_t> numbers, const std::string& received) {
        std::vector<ScriptValue> items{Sym(type)};
        for (int32_t number : numbers) {
            items.push_back(Int(number));
        }
        Send(List(std::move(items)), received);
    }
    void SendSysEx(int32_t manufacturer, int32_t dataBytes) {
        std::vector<ScriptValue> data;
        std::string received =
            "[#type: #systemExclusive, #manufacturerID: " + std::to_string(manufacturer) +
            ", #data: [";
        for (int32_t i = 0; i < dataBytes; ++i) {
            const int32_t byte = (i * 7 + manufacturer) % 128;
            data.push_back(Int(byte));
            received += (i > 0 ? ", " : "") + std::to_string(byte);
        }
        Send(List({Sym("systemExclusive"), Int(manufacturer), List(std::move(data))}),
             received + "]");
    }

    // What a polling script does once the messages had time to arrive:
    // everything pending, first as one list if asked, then one at a time.
    // An empty message while more are pending is simply asked again.
    void Receive(uint32_t input, bool asList) {
        simwinmm::WaitIdle(input);
        std::string anomalies;
        int received = 0;
        auto take = [&](const ScriptValue& message) {
            std::fprintf(out_, "recv %d %s\n", steps_ + 1, host_.Print(message).c_str());
            ++received;
        };
        if (asList) {
            ScriptValue result = host_.Void();
            const HostResult code =
                object_.Call(module_.MethodNumber("GetPendingMessages"), {}, result);
            if (code != kHostOk || host_.KindOf(result) != hostsim::Kind::List) {
                anomalies += " pending list " + host_.Print(result);
            } else {
                for (int32_t i = 1; i <= host_.Count(result); ++i) {
                    ScriptValue message = host_.At(result, i);
                    take(message);
                    host_.Release(message);
                }
            }
            host_.Release(result);
        }
        for (int attempts = 0; attempts < 1000; ++attempts) {
            const std::string pending = Call("MessagesPending");
            if (pending == "0") {
                break;
            }
            if (pending != "1") {
                anomalies += " MessagesPending " + pending;
                break;
            }
            ScriptValue message = host_.Void();
            object_.Call(module_.MethodNumber("GetNextMessage"), {}, message);
            if (host_.KindOf(message) == hostsim::Kind::PropList && host_.Count(message) > 0) {
                take(message);
            }
            host_.Release(message);
        }
        Step("receive " + std::to_string(received) + anomalies);
    }

private:
    hostsim::SimHost& host_;
    hostsim::LoadedModule& module_;
    hostsim::ScriptObject& object_;
    FILE* out_;
    int steps_ = 0;
};

void Examples(Script& s, const simwinmm::PortPair& loop) {
    s.Do("Init");
    s.Do("GetInputPorts");
    s.Do("GetOutputPorts");
    s.Do("OpenInput", {s.Int(1), s.Int(4096)});
    s.Do("OpenOutput", {s.Int(1)});
    s.Do("SetSystemFilter", {s.List({s.Sym("clock"), s.Sym("systemExclusive")})});
    s.Do("SetChannelFilter", {s.List({s.Sym("note"), s.Sym("controlChange")}), s.Int(0)});
    s.SendShort("noteOn", {1, 60, 100},
                "[#type: #noteOn, #channel: 1, #number: 60, #velocity: 100");
    s.SendShort("controlChange", {2, 7, 100},
                "[#type: #controlChange, #channel: 2, #number: 7, #value: 100");
    s.SendShort("programChange", {3, 5},  // filtered out
                "[#type: #programChange, #channel: 3, #number: 5");
    s.SendShort("clock", {}, "[#type: #clock");
    s.SendSysEx(67, 1);     // 4 bytes
    s.SendSysEx(125, 597);  // 600 bytes
    s.Receive(loop.input, true);
    s.Do("InputOverflowed");
    s.Do("CloseInput");
    s.Do("CloseOutput");
    s.Do("OpenInput", {s.Int(1), s.Int(1024)});
    s.Do("OpenOutput", {s.Int(1)});
    s.SendShort("noteOff", {1, 60, 0}, "[#type: #noteOff, #channel: 1, #number: 60, #velocity: 0");
    s.SendSysEx(1, 2);
    s.Receive(loop.input, false);
    s.Do("GetTime");
    s.Do("FlushInput");
    // Both ports stay open: the instance's destruction closes them.
}

void RefusingDriver(Script& s, const simwinmm::PortPair& loop) {
    s.Do("Init");
    s.Do("OpenInput", {s.Int(1), s.Int(1024)});
    s.Do("OpenOutput", {s.Int(1)});
    simwinmm::HoldOutputDone(loop.output, true);  // the device never finishes
    s.SendSysEx(67, 40);
    s.SendShort("noteOn", {1, 60, 100},
                "[#type: #noteOn, #channel: 1, #number: 60, #velocity: 100");
    s.Receive(loop.input, true);
    // From here on the driver refuses to let either device go.
    simwinmm::FailCall("midiInReset", 1);
    simwinmm::FailCall("midiOutClose", 1);
}

void PulledCable(Script& s, const simwinmm::PortPair& loop) {
    s.Do("Init");
    s.Do("OpenInput", {s.Int(1), s.Int(2048)});
    s.Do("OpenOutput", {s.Int(1)});
    s.SendShort("noteOn", {1, 60, 100},
                "[#type: #noteOn, #channel: 1, #number: 60, #velocity: 100");
    s.Receive(loop.input, false);
    simwinmm::HoldOutputDone(loop.output, true);  // the sysex is still going out
    s.SendSysEx(67, 40);
    simwinmm::UnplugPort("Loopback");
    // Sent into a pulled port: the script is told, nothing arrives.
    s.Do("SendMessage", {s.List({s.Sym("noteOn"), s.Int(1), s.Int(61), s.Int(100)})});
    s.Do("GetInputPorts");
    s.Do("CloseInput");
    s.Do("CloseOutput");
    simwinmm::ReplugPort("Loopback");
    s.Do("GetInputPorts");
    s.Do("GetOutputPorts");
    s.Do("OpenInput", {s.Int(1), s.Int(2048)});
    s.Do("OpenOutput", {s.Int(1)});
    s.SendShort("noteOn", {2, 62, 90}, "[#type: #noteOn, #channel: 2, #number: 62, #velocity: 90");
    s.SendSysEx(1, 3);
    s.Receive(loop.input, true);
    // Both stay open for the instance's destruction.
}

void RealStack(Script& s, const simwinmm::PortPair& loop) {
    standin::StackBehaviour stack;
    stack.pieceBytes = 6;
    stack.emptyEvery = 3;
    stack.clockEvery = 65;
    stack.blockLimit = 2048;
    stack.doneInline = 1;
    simwinmm::SetInputStack(loop.input, stack);
    simwinmm::SetOutputStack(loop.output, stack);
    s.Do("Init");
    s.Do("OpenInput", {s.Int(1), s.Int(8192)});
    s.Do("OpenOutput", {s.Int(1)});
    // 2,100 data bytes: two blocks out; the bytes after 0xF0 bring 32 clocks
    // in on the way back, each before the dump.
    for (int i = 0; i < (2100 + 2) / 65; ++i) {
        s.Expect("[#type: #clock");
    }
    s.SendSysEx(67, 2100);
    s.SendShort("noteOn", {1, 60, 100},
                "[#type: #noteOn, #channel: 1, #number: 60, #velocity: 100");
    s.Receive(loop.input, true);
    s.Do("InputOverflowed");
    s.SendSysEx(1, 3);
    s.Receive(loop.input, false);
    s.Do("CloseInput");
    s.Do("CloseOutput");
}

}  // namespace

void RunSession(SessionKind kind, const Fault& fault, const std::string& modulePath, int fd) {
    FILE* out = fdopen(dup(fd), "w");
    simwinmm::Reset();
    const simwinmm::PortPair loop = simwinmm::AddLoopbackPort("Loopback");
    simwinmm::SetClock(kClock);
    auto host = std::make_unique<hostsim::SimHost>();
    host->SetAppInfo("Director", "8.5");

    std::unique_ptr<hostsim::LoadedModule> module;
    auto fail = [&] {
        switch (fault.where) {
            case Fault::Where::Host:
                host->FailCall(fault.operation, fault.nth);
                break;
            case Fault::Where::Winmm:
                simwinmm::FailCall(fault.operation, fault.nth);
                break;
            case Fault::Where::Registry:
                if (module) {
                    module->registry().FailCall(fault.operation, fault.nth);
                }
                break;
            case Fault::Where::None:
                break;
        }
    };
    if (fault.where != Fault::Where::Registry) {
        fail();
    }
    std::string error;
    module = hostsim::LoadedModule::Load(*host, modulePath, &error);
    bool kept = false;
    std::vector<uint64_t> registryCalls;
    if (!module) {
        std::fprintf(out, "step 1 load failed\n");
    } else {
        if (fault.where == Fault::Where::Registry) {
            fail();
        }
        const HostResult registered = module->Register();
        for (const std::string& operation : kRegistryOperations) {
            registryCalls.push_back(module->registry().CallCount(operation));
        }
        HostResult created = kHostOk;
        std::unique_ptr<hostsim::ScriptObject> object;
        if (registered == kHostOk) {
            object = module->NewInstance(&created);
        }
        if (registered != kHostOk || !object) {
            std::fprintf(out, "step 1 register %08X new %08X\n", static_cast<unsigned>(registered),
                         static_cast<unsigned>(created));
        } else {
            Script script(*host, *module, *object, out);
            switch (kind) {
                case SessionKind::Examples:
                    Examples(script, loop);
                    break;
                case SessionKind::RefusingDriver:
                    RefusingDriver(script, loop);
                    break;
                case SessionKind::PulledCable:
                    PulledCable(script, loop);
                    break;
                case SessionKind::RealStack:
                    RealStack(script, loop);
                    break;
            }
            object.reset();
        }
        kept = module->CanUnloadNow() != kHostOk;
        if (kind == SessionKind::RefusingDriver) {
            // A host that unloads all the same; then the driver delivers and
            // finishes what it held.
            module->Unload();
            module.reset();
            simwinmm::InjectShort(loop.input, 0x00403C90);
            simwinmm::InjectSysEx(loop.input, {0xF0, 0x41, 0x01, 0xF7});
            simwinmm::ReleaseOutputDone(loop.output);
            simwinmm::WaitIdle(loop.input);
        }
        module.reset();
    }
    for (const std::string& operation : kHostOperations) {
        std::fprintf(out, "count host %s %llu\n", operation.c_str(),
                     static_cast<unsigned long long>(host->CallCount(operation)));
    }
    for (const std::string& operation : kWinmmOperations) {
        std::fprintf(out, "count winmm %s %u\n", operation.c_str(), simwinmm::CallCount(operation));
    }
    for (size_t i = 0; i < registryCalls.size(); ++i) {
        std::fprintf(out, "count registry %s %llu\n", kRegistryOperations[i].c_str(),
                     static_cast<unsigned long long>(registryCalls[i]));
    }
    std::fprintf(
        out, "accounting %lld %lld %lld %lld %d\n", static_cast<long long>(host->LiveValues()),
        static_cast<long long>(host->LiveBlocks()), static_cast<long long>(host->BadReleases()),
        static_cast<long long>(host->ServiceReferences()), kept ? 1 : 0);
    std::fprintf(out, "end\n");
    std::fflush(out);
    std::fclose(out);
}

}  // namespace sweep
