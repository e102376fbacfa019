// SendMessage with arbitrary script values, through the device layer to the
// simulated driver, checked against an independent encoder: the exact bytes
// on the wire, or the exact status code and nothing on the wire.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/midi_engine.h"
#include "fuzz/encoder_model.h"
#include "fuzz/fuzz_reader.h"
#include "fuzz/script_value.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"
#include "winmm/create_engine.h"

namespace {

// Mostly a type symbol and numbers, so that the checks past the type are
// reached; sometimes anything at all.
Value AnyMessage(FuzzReader& in) {
    if (in.Byte() % 6 == 0) {
        return AnyValue(in);
    }
    Value message;
    message.kind = in.Byte() % 5 == 0 ? Value::Kind::PropList : Value::Kind::List;
    auto append = [&](Value item) {
        if (message.kind == Value::Kind::PropList) {
            message.keys.push_back(AnyName(in));
        }
        message.items.push_back(std::move(item));
    };
    Value type;
    type.kind = Value::Kind::Symbol;
    type.text = AnyName(in);
    const bool sysex = type.text == "systemExclusive";
    append(type);
    const uint32_t count = in.Below(5);
    for (uint32_t position = 2; position < 2 + count; ++position) {
        Value item;
        if (sysex && position == 3 && in.Byte() % 4 != 0) {
            item.kind = Value::Kind::List;
            const uint32_t length = in.Below(40);
            for (uint32_t i = 0; i < length; ++i) {
                Value byte;
                byte.kind = Value::Kind::Integer;
                byte.integer = in.Byte() % 16 == 0 ? AnyInteger(in) : in.Byte() & 0x7F;
                item.items.push_back(byte);
            }
        } else if (in.Byte() % 4 == 0) {
            item = AnyValue(in, 1);
        } else {
            item.kind = Value::Kind::Integer;
            item.integer = AnyInteger(in);
        }
        append(std::move(item));
    }
    return message;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char hex[4];
    for (uint8_t byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        text += hex;
    }
    return text;
}

// One engine for the whole run (opening a device starts a driver thread):
// values are checked after every input, memory blocks whenever the port is
// closed and opened again.
struct Session {
    Session() {
        simwinmm::Reset();
        output = simwinmm::AddOutputPort("Out");
        engine = CreateMidiEngine(host.values(), host.lists(), host.memory());
        if (engine == nullptr || engine->Init() != kStatusOk) {
            std::abort();
        }
        Open();
        baseline = host.LiveValues();
    }
    void Open() {
        if (engine->OpenOutput(static_cast<int32_t>(output)) != kStatusOk) {
            std::abort();
        }
    }
    void Reopen() {
        engine->CloseOutput();
        if (host.LiveBlocks() != 0) {
            std::fprintf(stderr, "leak: %s\n", host.LeakReport().c_str());
            std::abort();
        }
        Open();
    }

    hostsim::SimHost host;
    uint32_t output = 0;
    MidiEngine* engine = nullptr;
    int64_t baseline = 0;
    uint32_t inputs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Session session;
    hostsim::SimHost& host = session.host;
    FuzzReader in(data, size);
    const uint32_t sends = 1 + in.Below(4);
    for (uint32_t i = 0; i < sends; ++i) {
        const Value message = AnyMessage(in);
        const Encoded expected = EncodeMessage(message);
        ScriptValue value = MakeHostValue(host, message);
        const StatusCode code = session.engine->SendMessage(value);
        const std::string printed = host.Print(value);
        host.Release(value);
        const std::vector<uint8_t> wire = simwinmm::SentBytes(session.output);
        simwinmm::ClearSentBytes(session.output);
        if (code != expected.code || wire != expected.bytes) {
            std::fprintf(stderr, "MISMATCH: %s\n  sent %d [%s], expected %d [%s]\n",
                         printed.c_str(), code, Hex(wire).c_str(), expected.code,
                         Hex(expected.bytes).c_str());
            std::abort();
        }
    }
    if (host.LiveValues() != session.baseline || host.BadReleases() != 0) {
        std::fprintf(stderr, "leak: %s\n", host.LeakReport().c_str());
        std::abort();
    }
    if (++session.inputs % 256 == 0) {
        session.Reopen();
    }
    return 0;
}
