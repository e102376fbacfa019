// The simulated driver's internal state, shared by the winmm functions and the
// control API. One mutex guards all of it; the app's callbacks are always
// called with it released.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "simwinmm/control.h"
#include "simwinmm/winmm_api.h"
#include "standin/fault_plan.h"
#include "standin/stack_behaviour.h"

namespace simwinmm {

// Every winmm operation that can be counted and made to fail.
enum class Op : uint8_t {
    InGetNumDevs,
    InGetDevCaps,
    InOpen,
    InPrepare,
    InAddBuffer,
    InStart,
    InStop,
    InReset,
    InUnprepare,
    InClose,
    OutGetNumDevs,
    OutGetDevCaps,
    OutOpen,
    OutShortMsg,
    OutPrepare,
    OutLongMsg,
    OutUnprepare,
    OutReset,
    OutClose,
    Count
};
constexpr size_t kOpCount = static_cast<size_t>(Op::Count);
extern const char* const kOpNames[kOpCount];

// The driver thread of one open device.
struct DeviceThread {
    std::thread thread;
    std::thread::id id;
    std::condition_variable wake;
    bool quit = false;
    bool sleeping = false;
    bool OnThisThread() const { return std::this_thread::get_id() == id; }
    // Waits for WakeWorker; call with the lock held.
    void Sleep(std::unique_lock<std::mutex>& lock) {
        sleeping = true;
        wake.wait(lock);
        sleeping = false;
    }
};

// What is waiting for an input's driver thread. Bytes live in the device's
// blob so that a million short messages cost no allocation each.
enum class InKind : uint8_t { Short, Stream, SysEx, Chunk, LongError };
struct InEvent {
    InKind kind;
    DWORD packed;
    uint32_t offset;
    uint32_t length;
};

struct InPort;
struct OutPort;

struct InDevice {
    uintptr_t handle = 0;
    InPort* port = nullptr;
    MidiInCallbackFn callback = nullptr;
    DWORD_PTR instance = 0;
    DeviceThread worker;

    std::vector<InEvent> events;
    std::vector<uint8_t> blob;
    std::deque<MIDIHDR*> buffers;  // FIFO; the front one is being filled
    // Read without the lock by the driver thread between messages, to stop
    // delivering as soon as a reset or close begins.
    std::atomic<bool> started{false};
    DWORD startTime = 0;
    bool busy = false;  // a batch is being delivered
    uint64_t resetAsked = 0, resetDone = 0;
    uint64_t stopAsked = 0, stopDone = 0;
    std::unordered_set<MIDIHDR*> prepared;  // by the app, on this device
    bool removed = false;                   // its port was pulled
    PullBehaviour pull;

    // Byte-stream parser for looped-back output; driver thread only.
    bool inSysEx = false;
    uint32_t sysExSinceClock = 0;  // bytes of the message since the last clock merged in
    uint32_t filledReturned = 0;   // buffers handed back with bytes, for emptyEvery
    uint8_t status = 0;
    uint8_t need = 0;
    uint8_t have = 0;
    uint8_t data[2] = {0, 0};
};

// One message the output's driver thread still has to send: a long message
// (header) or a short one queued behind it to keep the order.
struct OutItem {
    MIDIHDR* header;
    DWORD packed;
    uint32_t offset;  // bytes of the long message already on the wire
};

struct OutDevice {
    uintptr_t handle = 0;
    OutPort* port = nullptr;
    MidiOutCallbackFn callback = nullptr;
    DWORD_PTR instance = 0;
    DeviceThread worker;

    std::deque<OutItem> unsent;  // the front stays until it is sent
    std::deque<MIDIHDR*> held;   // sent, MOM_DONE held back; oldest first
    uint64_t releaseAsked = 0, releaseDone = 0;
    uint32_t completing = 0;  // MOM_DONE callbacks being made right now
    uint32_t toRelease = 0;   // how many held ones the pending release completes
    uint64_t resetAsked = 0, resetDone = 0;
    std::unordered_set<MIDIHDR*> prepared;  // by the app, on this device
    std::unordered_set<MIDIHDR*> lost;      // taken and never to be handed back
    bool removed = false;                   // its port was pulled
    PullBehaviour pull;
};

struct InPort {
    std::string name;
    bool failCaps = false;
    standin::StackBehaviour stack;
    OutPort* loop = nullptr;
    std::shared_ptr<InDevice> device;  // null while closed
};

struct OutPort {
    std::string name;
    bool failCaps = false;
    standin::StackBehaviour stack;
    bool hold = false;
    bool loseOnReset = false;  // a reset forgets held messages, never reports them done
    // Long-message bytes the device may still send before it stalls.
    uint64_t stallBudget = UINT64_MAX;
    InPort* loop = nullptr;
    std::vector<uint8_t> sent;  // the most recent bytes, at most sentLimit of them
    size_t sentLimit = kDefaultSentBytesLimit;
    std::shared_ptr<OutDevice> device;
};

struct Trace {
    TraceFn fn = nullptr;
    void* context = nullptr;
    // An empty buffer handed back (as at a reset) carries no message.
    void operator()(const std::string& port, bool out, const uint8_t* bytes, size_t n) const {
        if (fn != nullptr && n > 0) {
            fn(port.c_str(), out, bytes, n, context);
        }
    }
};

struct Driver {
    std::mutex mu;
    std::condition_variable changed;  // a device made progress; see waiters
    uint32_t waiters = 0;

    std::vector<std::unique_ptr<InPort>> inputs;
    std::vector<std::unique_ptr<OutPort>> outputs;
    // Pulled ports, until they are plugged back in.
    std::vector<std::unique_ptr<InPort>> pulledInputs;
    std::vector<std::unique_ptr<OutPort>> pulledOutputs;
    std::unordered_map<uintptr_t, std::shared_ptr<InDevice>> inHandles;
    std::unordered_map<uintptr_t, std::shared_ptr<OutDevice>> outHandles;
    uintptr_t lastHandle = 0x10000;

    // When each operation was last called, on one counter across operations.
    uint64_t callSerial = 0;
    std::array<uint64_t, kOpCount> lastCall{};
    FaultPlan faults{kOpNames, kOpCount};  // counts every call too
    Trace trace;
    uint32_t leftPrepared = 0;  // headers still prepared when their device closed
    PullBehaviour pullBehaviour;
    struct PullTrigger {
        std::string name;
        Op op;
        uint32_t atCall;
    };
    std::vector<PullTrigger> pullTriggers;

    void NotifyWaiters() {
        if (waiters > 0) {
            changed.notify_all();
        }
    }
};

Driver& TheDriver();

// Counts the call; true (with the result to answer) if it is one made to fail.
// Caller holds the lock.
bool InjectedFailure(Driver& d, Op op, MMRESULT& result);

// Pulls every port of that name; false if none. Caller holds the lock.
bool UnplugLocked(Driver& d, const std::string& name);
// What a call on a pulled device answers, after its delay (the lock is let
// go meanwhile). Lock held on entry and on return.
MMRESULT PulledAnswer(std::unique_lock<std::mutex>& lock, const PullBehaviour& pull);

// Bytes of a packed short message as its status byte says (1 to 3; the wire
// lengths of standin/message_length.h, at least the status byte).
uint32_t ShortLength(uint8_t status);

// Hands bytes to an input's driver thread if the input is open and started;
// otherwise they are lost, as on a real port. Caller holds the lock.
void QueueInput(InPort& port, InKind kind, DWORD packed, const uint8_t* bytes, uint32_t length);

// Records bytes an output sent and loops them back. Caller holds the lock.
void SendFromOutput(OutPort& port, const uint8_t* bytes, uint32_t length, bool isLong);

// Nothing left that the output device would send now (a stalled message
// waits). Caller holds the lock.
bool OutputIdle(const OutPort& port);
// Nothing left for the input's driver thread to deliver, its loopback
// output included. Caller holds the lock.
bool InputIdle(const InPort& port);
// Everything the output was given is on the wire and reported done to the
// app: nothing unsent, held back or being completed. Caller holds the lock.
bool OutputSettled(const OutPort& port);

// Wakes a driver thread if it sleeps. Caller holds the lock.
void WakeWorker(DeviceThread& worker);

// How long an app's call waits for a driver thread before giving up, so that
// a callback stuck forever cannot hang the caller too.
constexpr std::chrono::milliseconds kWorkerDeadline{10000};

// Waits on `changed` until `done()` or the timeout; false on timeout.
template <class Done>
bool WaitFor(Driver& d, std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout,
             Done done) {
    ++d.waiters;
    const bool ok = d.changed.wait_for(lock, timeout, done);
    --d.waiters;
    return ok;
}

// Stops and joins a device's driver thread; call without the lock.
void JoinWorker(DeviceThread& worker);

// Header checks and steps common to both directions. Caller holds the lock.
bool HeaderSizeOk(const MIDIHDR* header, UINT size);
// midiInPrepareHeader and midiOutPrepareHeader once the handle is found.
MMRESULT PrepareHeader(std::unordered_set<MIDIHDR*>& prepared, MIDIHDR* header, UINT size);
// midiInUnprepareHeader and midiOutUnprepareHeader once the handle is found.
MMRESULT UnprepareHeader(std::unordered_set<MIDIHDR*>& prepared, MIDIHDR* header, UINT size);
// Whether a header that passed the parameter checks may be queued.
MMRESULT CheckQueueable(const MIDIHDR* header);

}  // namespace simwinmm
