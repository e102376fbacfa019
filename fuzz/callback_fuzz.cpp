// The input callback fed by the simulated driver's thread with arbitrary
// bytes: short messages, wire streams cut anywhere (sent through the loopback
// output), single buffers, buffers handed back with an error, closes and
// reopens in between, and the stack behaviours of real drivers (input in
// pieces of random sizes, empty ones, packed messages, real-time inside). Nothing may crash, hang,
// leak or read outside the ring; whatever is read back is a whole message.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/midi_engine.h"
#include "fuzz/fuzz_reader.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"
#include "winmm/api.h"
#include "winmm/create_engine.h"

namespace {

constexpr uint32_t kQueueBytes = 2048;

struct Session {
    Session() {
        simwinmm::Reset();
        loop = simwinmm::AddLoopbackPort("Loop");
        engine = CreateMidiEngine(host.values(), host.lists(), host.memory());
        if (engine == nullptr || engine->Init() != kStatusOk || OpenInput() != kStatusOk ||
            midiOutOpen(&output, loop.output, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
            std::abort();
        }
        baseline = host.LiveValues();
    }
    StatusCode OpenInput() {
        return engine->OpenInput(static_cast<int32_t>(loop.input), kQueueBytes);
    }

    // Raw bytes onto the wire of the loopback output, as one long message.
    void SendStream(const std::vector<uint8_t>& bytes) {
        std::vector<char> buffer(bytes.begin(), bytes.end());
        MIDIHDR header{};
        header.lpData = buffer.data();
        header.dwBufferLength = static_cast<DWORD>(buffer.size());
        if (midiOutPrepareHeader(output, &header, sizeof header) != MMSYSERR_NOERROR ||
            midiOutLongMsg(output, &header, sizeof header) != MMSYSERR_NOERROR) {
            std::abort();
        }
        simwinmm::SentBytes(loop.output);  // waits until the driver has sent it
        simwinmm::ClearSentBytes(loop.output);
        while (midiOutUnprepareHeader(output, &header, sizeof header) == MIDIERR_STILLPLAYING) {
            simwinmm::SentBytes(loop.output);
        }
    }

    // Reads one message and checks that it is whole: a type first, a
    // timestamp last, and a sysex's data bytes each 0-127.
    bool ReadOne() {
        ScriptValue message = host.NewPropList();
        engine->GetNextMessage(message);
        const int32_t count = host.Count(message);
        bool whole = count == 0 || (host.KeyAt(message, 1) == "type" &&
                                    host.KeyAt(message, count) == "timestamp");
        if (whole && count == 4 && host.KeyAt(message, 3) == "data") {
            ScriptValue data = host.At(message, 3);
            for (int32_t i = 1; i <= host.Count(data) && whole; ++i) {
                ScriptValue byte = host.At(data, i);
                whole = host.IntegerOf(byte) >= 0 && host.IntegerOf(byte) <= 127;
                host.Release(byte);
            }
            host.Release(data);
        }
        if (!whole) {
            std::fprintf(stderr, "BROKEN MESSAGE: %s\n", host.Print(message).c_str());
            std::abort();
        }
        host.Release(message);
        return count > 0;
    }

    hostsim::SimHost host;
    simwinmm::PortPair loop{};
    HMIDIOUT output = nullptr;
    MidiEngine* engine = nullptr;
    int64_t baseline = 0;
};

std::vector<uint8_t> Bytes(FuzzReader& in, uint32_t most) {
    return in.Bytes(1 + in.Below(most));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Session session;
    FuzzReader in(data, size);
    const uint32_t input = session.loop.input;
    simwinmm::SetInputStack(input, standin::StackBehaviour{});
    while (!in.Empty()) {
        switch (in.Byte() % 10) {
            case 0:
                simwinmm::InjectShort(input, in.Word());
                break;
            case 1: {
                const DWORD word = in.Word() | 0x80;  // the driver takes no running status
                midiOutShortMsg(session.output, word);
                break;
            }
            case 2:
                session.SendStream(Bytes(in, 1200));
                break;
            case 3:
                simwinmm::InjectChunk(input, in.Bytes(in.Below(513)));  // an empty one too
                break;
            case 4:
                simwinmm::InjectLongError(input, Bytes(in, 512));
                break;
            case 5:
                simwinmm::InjectSysEx(input, Bytes(in, 1500));
                break;
            case 6:
                simwinmm::WaitIdle(input);
                for (uint32_t n = in.Below(16); n > 0; --n) {
                    session.ReadOne();
                }
                break;
            case 7:
                if (in.Byte() % 2 == 0) {
                    session.engine->FlushInput();
                } else {
                    session.engine->InputOverflowed();
                }
                break;
            case 8:
                if (in.Byte() % 2 == 0) {
                    // The stack hands input back as real ones do: pieces of any
                    // size, empty ones, packed messages, real-time bytes inside.
                    standin::StackBehaviour stack;
                    stack.pieceBytes = in.Below(513);
                    stack.packMessages = in.Byte() & 1;
                    stack.emptyEvery = in.Below(5);
                    stack.realTimeInSysEx = in.Byte() & 1;
                    stack.clockEvery = in.Below(100);
                    simwinmm::WaitIdle(input);
                    simwinmm::SetInputStack(input, stack);
                    break;
                }
                session.engine->CloseInput();
                if (session.OpenInput() != kStatusOk) {
                    std::abort();
                }
                break;
            default:
                simwinmm::WaitIdle(input);
                break;
        }
    }
    simwinmm::WaitIdle(input);
    while (session.ReadOne()) {
    }
    session.engine->InputOverflowed();
    if (session.engine->MessagesPending() || session.host.LiveValues() != session.baseline ||
        session.host.BadReleases() != 0) {
        std::fprintf(stderr, "leak or leftovers: %s\n", session.host.LeakReport().c_str());
        std::abort();
    }
    return 0;
}
