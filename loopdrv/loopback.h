// The loopback device: one output port whose messages come back on one input
// port, from the driver's own thread, as a hardware port wired to itself would.
//
// One lock guards everything. The driver thread holds it while it delivers an
// event (callbacks included), so reset, stop and close, which take it, wait
// for a delivery in progress to end. The lock is re-entrant, so a callback may
// call back into the driver (an input callback re-queueing its buffer does).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mmsystem.h>

#include <mmddk.h>

#include <cstdint>
#include <deque>

#include "standin/stack_behaviour.h"

// In winmm, not declared by the mingw headers.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                                      DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

namespace loopdrv {

constexpr DWORD kDriverSuccess = 1;  // DRV_SUCCESS
constexpr WORD kUnmapped = 0xFFFF;   // MM_UNMAPPED, MM_PID_UNMAPPED
constexpr WCHAR kPortName[] = L"Loopback";

// What one open handle gave the driver: where and how to call back.
struct Client {
    bool open = false;
    DWORD_PTR callback = 0;
    DWORD callbackType = 0;  // DCB_*
    HDRVR handle = nullptr;
    DWORD_PTR instance = 0;

    void Notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const;
};

struct Event {
    enum class Kind : uint8_t { kShort, kOutputLong, kInjectedSysEx };
    Kind kind;
    DWORD shortMessage;
    MIDIHDR* header;     // output header, for kOutputLong
    DWORD injectedSize;  // bytes taken from the injected bytes, for kInjectedSysEx
};

class Loopback {
public:
    static Loopback& Instance();

    void Lock() { EnterCriticalSection(&lock_); }
    void Unlock() { LeaveCriticalSection(&lock_); }

    // ---- output side (caller holds the lock)
    DWORD OpenOutput(const MIDIOPENDESC* desc, DWORD flags);
    DWORD CloseOutput();
    // With *wake set, the caller wakes the driver thread once it has let go
    // of the lock: woken while the lock is held, the thread would only wait
    // for it again, which costs a second wake.
    DWORD SendShort(DWORD message, bool* wake);
    DWORD SendLong(MIDIHDR* header, DWORD size, bool* wake);
    DWORD ResetOutput();

    // ---- input side (caller holds the lock)
    DWORD OpenInput(const MIDIOPENDESC* desc, DWORD flags);
    DWORD CloseInput();
    DWORD AddBuffer(MIDIHDR* header, DWORD size);
    DWORD Start();
    DWORD Stop();
    DWORD ResetInput();

    // ---- for tests and the console (caller holds the lock)
    // True once every event queued so far has been delivered or dropped;
    // false on timeout, or when called from the driver thread itself.
    bool WaitIdle(DWORD timeoutMs);
    // Queues wire bytes for the input side; false, with nothing queued,
    // when no input is open or the bytes are not whole messages (a sysex may
    // be left open: later bytes go on with it).
    bool Inject(const uint8_t* bytes, DWORD count, bool* wake);
    // How the port behaves where real stacks part from the documented
    // behaviour (standin/stack_behaviour.h), from the next event on.
    void SetBehaviour(const standin::StackBehaviour& behaviour) { stack_ = behaviour; }
    bool InputOpen() const { return in_.open; }
    bool OutputOpen() const { return out_.open; }
    // Without the lock.
    void Wake() { WakeConditionVariable(&wake_); }

    // Ends the driver thread (driver unload); waits a bounded time.
    void Shutdown();

private:
    Loopback();
    void EnsureThread();
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    void Deliver(const Event& event);
    void FeedSysEx(const uint8_t* bytes, DWORD count);
    void FeedSysExByte(uint8_t byte);
    void DeliverShort(DWORD message);
    DWORD InputTime() const;
    void ReturnInputBuffer(MIDIHDR* header);
    // A buffer with bytes in it, and after every n-th such, the next one empty.
    void ReturnFilledBuffer(MIDIHDR* header);
    // Takes queued long messages out of the queue, marked done; with
    // `notify` the output client hears MOM_DONE for each.
    bool DropLongEvents(bool notify);

    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE wake_;
    CONDITION_VARIABLE idle_;  // the queue ran empty
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    bool sleeping_ = false;  // the driver thread waits for events
    bool stopping_ = false;

    Client out_;
    Client in_;
    std::deque<Event> events_;
    std::deque<uint8_t> injected_;  // sysex bytes of kInjectedSysEx events, in order
    std::deque<MIDIHDR*> inputBuffers_;
    bool inputStarted_ = false;
    DWORD inputStartTime_ = 0;
    bool droppingSysEx_ = false;   // the rest of a sysex that found no buffer
    bool inSysEx_ = false;         // the input is inside a sysex (0xF0 seen, not 0xF7)
    DWORD sysExSinceClock_ = 0;    // for stack_.clockEvery
    DWORD filledReturned_ = 0;     // for stack_.emptyEvery
    bool injectingSysEx_ = false;  // LoopbackInject left a sysex open
    standin::StackBehaviour stack_{};
};

// Header preparation as Windows does it; shared by both directions.
DWORD PrepareHeader(MIDIHDR* header, DWORD size);
DWORD UnprepareHeader(MIDIHDR* header, DWORD size);

// Holds the device lock for one scope.
class Guard {
public:
    Guard() { Loopback::Instance().Lock(); }
    ~Guard() { Loopback::Instance().Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

}  // namespace loopdrv
