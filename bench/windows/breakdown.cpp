#include "bench/windows/breakdown.h"

#include "bench/windows/host_replay.h"

namespace {

// Times `runs` runs of a step that handles `messages` messages each; adds
// microseconds per message to `samples`.
template <typename Step>
bool Time(std::vector<double>& samples, int32_t runs, int32_t messages, Step step) {
    bool ok = true;
    const double start = Now();
    for (int32_t i = 0; i < runs && ok; ++i)
        ok = step(i);
    samples.push_back((Now() - start) * 1e6 / (static_cast<double>(runs) * messages));
    return ok;
}

}  // namespace

void Breakdown::Append(const Breakdown& other) {
    std::vector<double> Breakdown::*const all[] = {
        &Breakdown::sendCall,   &Breakdown::sendHostCalls, &Breakdown::sendHostCallsAndBare,
        &Breakdown::sendBare,   &Breakdown::delivery,      &Breakdown::deliveryBare,
        &Breakdown::readCall,   &Breakdown::readHostCalls, &Breakdown::scriptMake,
        &Breakdown::scriptRead,
    };
    for (std::vector<double> Breakdown::*member : all)
        (this->*member)
            .insert((this->*member).end(), (other.*member).begin(), (other.*member).end());
    sendServiceCalls = other.sendServiceCalls;
    sendReplayedCalls = other.sendReplayedCalls;
    readServiceCalls = other.readServiceCalls;
    readReplayedCalls = other.readReplayedCalls;
}

Breakdown MeasureBreakdown(Session& s, const Driver& driver, int32_t input, int32_t output,
                           int32_t chunks, int32_t chunkSize) {
    Breakdown b;
    hostsim::SimHost& host = s.host();
    HostReplay replay(host);
    const int32_t send = s.MethodNumber("SendMessage");
    const int32_t getNext = s.MethodNumber("GetNextMessage");
    const std::vector<ScriptValue> none;
    std::vector<ScriptValue> args = {s.NoteOn(1000)};
    const std::vector<BYTE> wire = NoteOnBytes(0, static_cast<uint32_t>(chunkSize));
    const DWORD wireSize = static_cast<DWORD>(wire.size());
    // A script's view of what arrives: [#type: .., #channel: .., ...].
    ScriptValue arrived = host.NewPropList();
    for (const char* key : {"type", "channel", "number", "velocity", "timestamp"}) {
        ScriptValue item = host.Integer(1);
        host.AppendPair(arrived, key, item);
        host.Release(item);
    }
    // 7 bytes a note-on record: room for a chunk.
    const int32_t queueBytes = chunkSize * 8 < 1024 ? 1024 : chunkSize * 8;

    bool ok = true;
    for (int32_t chunk = 0; chunk < chunks && ok; ++chunk) {
        // Receiving through the plug-in: the driver thread fills its queue,
        // the host thread empties it.
        ok = s.CallCode("OpenInput", {host.Integer(input), host.Integer(queueBytes)}) == 0;
        ok = ok && Time(b.delivery, 1, chunkSize, [&](int32_t) {
                 return driver.inject(wire.data(), wireSize) && driver.waitIdle(kDeadlineMs);
             });
        uint64_t calls = ServiceCalls(host);
        ok = ok && Time(b.readCall, chunkSize, 1, [&](int32_t) {
                 ScriptValue message = s.CallKeeping(getNext, none);
                 const bool full = host.Count(message) == 5;
                 host.Release(message);
                 return full;
             });
        b.readServiceCalls = (ServiceCalls(host) - calls) / chunkSize;
        ok = ok && s.CallCode("CloseInput") == 0;
        calls = ServiceCalls(host);
        ok = ok && Time(b.readHostCalls, chunkSize, 1, [&](int32_t) {
                 ScriptValue message = replay.Read();
                 const bool full = host.Count(message) == 5;
                 host.Release(message);
                 return full;
             });
        b.readReplayedCalls = (ServiceCalls(host) - calls) / chunkSize;
        {
            BareInput bare;
            ok = ok && bare.ok() && Time(b.deliveryBare, 1, chunkSize, [&](int32_t) {
                     return driver.inject(wire.data(), wireSize) && driver.waitIdle(kDeadlineMs);
                 });
            ok = ok && bare.Received() == static_cast<uint32_t>(chunkSize);
        }

        // Sending, with no input open: the driver drops what it gets.
        ok = ok && s.CallCode("OpenOutput", {host.Integer(output)}) == 0;
        calls = ServiceCalls(host);
        ok = ok && Time(b.sendCall, chunkSize, 1, [&](int32_t) {
                 ScriptValue result = s.CallKeeping(send, args);
                 const bool sent = s.IntegerAt(result, 1) == 0;
                 host.Release(result);
                 return sent;
             });
        b.sendServiceCalls = (ServiceCalls(host) - calls) / chunkSize;
        ok = ok && driver.waitIdle(kDeadlineMs) && s.CallCode("CloseOutput") == 0;
        calls = ServiceCalls(host);
        ok = ok && Time(b.sendHostCalls, chunkSize, 1, [&](int32_t) {
                 ScriptValue result = replay.Send(args);
                 const bool sent = s.IntegerAt(result, 1) == 0;
                 host.Release(result);
                 return sent;
             });
        b.sendReplayedCalls = (ServiceCalls(host) - calls) / chunkSize;
        HMIDIOUT bare = OpenBareOutput();
        ok = ok && bare != nullptr;
        ok = ok && Time(b.sendHostCallsAndBare, chunkSize, 1, [&](int32_t) {
                 ScriptValue result = replay.Send(args);
                 const bool sent = s.IntegerAt(result, 1) == 0;
                 host.Release(result);
                 return sent && midiOutShortMsg(bare, 0x643C90) == MMSYSERR_NOERROR;
             });
        ok = ok && driver.waitIdle(kDeadlineMs);
        ok = ok && Time(b.sendBare, chunkSize, 1, [&](int32_t) {
                 return midiOutShortMsg(bare, 0x643C90) == MMSYSERR_NOERROR;
             });
        ok = ok && driver.waitIdle(kDeadlineMs);
        if (bare != nullptr)
            midiOutClose(bare);

        // The script's side of the round trip.
        Time(b.scriptMake, chunkSize, 1, [&](int32_t i) {
            ScriptValue note = s.NoteOn(i);
            host.Release(note);
            return true;
        });
        Time(b.scriptRead, chunkSize, 1, [&](int32_t) { return s.ReadNoteOn(arrived) >= 0; });
    }
    host.Release(arrived);
    host.Release(args[0]);
    b.ok = ok;
    return b;
}
