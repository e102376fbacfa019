#include "loopdrv/loopback.h"

#include <cstddef>

namespace loopdrv {

void Client::Notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const {
    DriverCallback(callback, callbackType, handle, message, instance, param1, param2);
}

Loopback& Loopback::Instance() {
    static Loopback device;
    return device;
}

Loopback::Loopback() {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&wake_);
    InitializeConditionVariable(&idle_);
}

void Loopback::EnsureThread() {
    if (thread_ != nullptr)
        return;
    stopping_ = false;
    thread_ = CreateThread(nullptr, 0, &Loopback::ThreadMain, this, 0, &threadId_);
}

DWORD WINAPI Loopback::ThreadMain(void* self) {
    static_cast<Loopback*>(self)->Run();
    return 0;
}

void Loopback::Run() {
    Lock();
    for (;;) {
        while (events_.empty() && !stopping_) {
            sleeping_ = true;
            SleepConditionVariableCS(&wake_, &lock_, INFINITE);
            sleeping_ = false;
        }
        if (stopping_)
            break;
        Event event = events_.front();
        events_.pop_front();
        Deliver(event);
        if (events_.empty()) {
            // A stack that packs messages hands a partly filled buffer back
            // once nothing more is coming for now.
            if (stack_.packMessages && in_.open && inputStarted_ && !inputBuffers_.empty() &&
                inputBuffers_.front()->dwBytesRecorded > 0) {
                MIDIHDR* header = inputBuffers_.front();
                inputBuffers_.pop_front();
                ReturnFilledBuffer(header);
            }
            WakeAllConditionVariable(&idle_);
        }
    }
    Unlock();
}

void Loopback::Shutdown() {
    HANDLE thread;
    {
        Guard guard;
        thread = thread_;
        thread_ = nullptr;
        stopping_ = true;
        WakeAllConditionVariable(&wake_);
        WakeAllConditionVariable(&idle_);
    }
    if (thread != nullptr) {
        WaitForSingleObject(thread, 2000);
        CloseHandle(thread);
    }
}

bool Loopback::WaitIdle(DWORD timeoutMs) {
    // The driver thread waiting for itself would never see the queue drain.
    if (thread_ != nullptr && GetCurrentThreadId() == threadId_)
        return false;
    const DWORD start = GetTickCount();
    while (!events_.empty() && !stopping_) {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs)
                return false;
            wait = timeoutMs - elapsed;
        }
        SleepConditionVariableCS(&idle_, &lock_, wait);
    }
    return events_.empty();
}

bool Loopback::DropLongEvents(bool notify) {
    std::deque<MIDIHDR*> dropped;
    for (auto it = events_.begin(); it != events_.end();) {
        if (it->kind == Event::Kind::kOutputLong) {
            dropped.push_back(it->header);
            it = events_.erase(it);
        } else {
            ++it;
        }
    }
    for (MIDIHDR* header : dropped) {
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        if (notify)
            out_.Notify(MOM_DONE, reinterpret_cast<DWORD_PTR>(header), 0);
    }
    return !dropped.empty();
}

// ---------------------------------------------------------------- output

DWORD Loopback::OpenOutput(const MIDIOPENDESC* desc, DWORD flags) {
    if (desc == nullptr)
        return MMSYSERR_INVALPARAM;
    if (out_.open)
        return MMSYSERR_ALLOCATED;
    out_ = Client{true, desc->dwCallback, HIWORD(flags & CALLBACK_TYPEMASK),
                  reinterpret_cast<HDRVR>(desc->hMidi), desc->dwInstance};
    EnsureThread();
    out_.Notify(MOM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

// winmm frees its handle even when the close is refused, so the port is
// released either way; headers still queued come back marked done, silently.
DWORD Loopback::CloseOutput() {
    if (!out_.open)
        return MMSYSERR_INVALHANDLE;
    bool busy = DropLongEvents(false);
    Client closing = out_;
    out_ = Client{};
    if (busy)
        return MIDIERR_STILLPLAYING;
    closing.Notify(MOM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

DWORD Loopback::SendShort(DWORD message, bool* wake) {
    if (!out_.open)
        return MMSYSERR_INVALHANDLE;
    events_.push_back(Event{Event::Kind::kShort, message, nullptr, 0});
    *wake = sleeping_;
    return MMSYSERR_NOERROR;
}

DWORD Loopback::SendLong(MIDIHDR* header, DWORD size, bool* wake) {
    if (!out_.open)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < offsetof(MIDIHDR, dwOffset))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    if (stack_.blockLimit != 0 && header->dwBufferLength > stack_.blockLimit)
        return MMSYSERR_INVALPARAM;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    if (stack_.doneInline && events_.empty()) {
        // Sent and reported done on the caller's thread, before returning;
        // nothing queued ahead of it (and the lock keeps the driver thread out).
        Deliver(Event{Event::Kind::kOutputLong, 0, header, 0});
        return MMSYSERR_NOERROR;
    }
    events_.push_back(Event{Event::Kind::kOutputLong, 0, header, 0});
    *wake = sleeping_;
    return MMSYSERR_NOERROR;
}

DWORD Loopback::ResetOutput() {
    if (!out_.open)
        return MMSYSERR_INVALHANDLE;
    DropLongEvents(true);
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------- input

DWORD Loopback::OpenInput(const MIDIOPENDESC* desc, DWORD flags) {
    if (desc == nullptr)
        return MMSYSERR_INVALPARAM;
    if (in_.open)
        return MMSYSERR_ALLOCATED;
    in_ = Client{true, desc->dwCallback, HIWORD(flags & CALLBACK_TYPEMASK),
                 reinterpret_cast<HDRVR>(desc->hMidi), desc->dwInstance};
    inputBuffers_.clear();
    inputStarted_ = false;
    droppingSysEx_ = false;
    inSysEx_ = false;
    injectingSysEx_ = false;
    EnsureThread();
    in_.Notify(MIM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

// As for the output: refused while buffers are queued, but the port is
// released, and the buffers come back marked done without a callback.
DWORD Loopback::CloseInput() {
    if (!in_.open)
        return MMSYSERR_INVALHANDLE;
    bool busy = !inputBuffers_.empty();
    for (MIDIHDR* header : inputBuffers_) {
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    inputBuffers_.clear();
    inputStarted_ = false;
    Client closing = in_;
    in_ = Client{};
    if (busy)
        return MIDIERR_STILLPLAYING;
    closing.Notify(MIM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

DWORD Loopback::AddBuffer(MIDIHDR* header, DWORD size) {
    if (!in_.open)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < offsetof(MIDIHDR, dwOffset))
        return MMSYSERR_INVALPARAM;
    if (header->lpData == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    inputBuffers_.push_back(header);
    return MMSYSERR_NOERROR;
}

DWORD Loopback::Start() {
    if (!in_.open)
        return MMSYSERR_INVALHANDLE;
    if (!inputStarted_) {
        inputStarted_ = true;
        inputStartTime_ = timeGetTime();
    }
    return MMSYSERR_NOERROR;
}

// A partly filled buffer comes back; the empty ones stay queued.
DWORD Loopback::Stop() {
    if (!in_.open)
        return MMSYSERR_INVALHANDLE;
    inputStarted_ = false;
    if (!inputBuffers_.empty() && inputBuffers_.front()->dwBytesRecorded > 0) {
        MIDIHDR* header = inputBuffers_.front();
        inputBuffers_.pop_front();
        ReturnInputBuffer(header);
    }
    return MMSYSERR_NOERROR;
}

// Every queued buffer, filled or not, comes back before this returns. A
// callback that queues a buffer again during the reset gets it back too.
DWORD Loopback::ResetInput() {
    if (!in_.open)
        return MMSYSERR_INVALHANDLE;
    inputStarted_ = false;
    droppingSysEx_ = false;
    inSysEx_ = false;
    std::deque<MIDIHDR*> returning;
    returning.swap(inputBuffers_);
    for (MIDIHDR* header : returning)
        ReturnInputBuffer(header);
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------- headers

DWORD PrepareHeader(MIDIHDR* header, DWORD size) {
    if (header == nullptr || size < offsetof(MIDIHDR, dwOffset))
        return MMSYSERR_INVALPARAM;
    if (header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_PREPARED)
        return MMSYSERR_NOERROR;
    header->lpNext = nullptr;
    header->dwFlags = (header->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

DWORD UnprepareHeader(MIDIHDR* header, DWORD size) {
    if (header == nullptr || size < offsetof(MIDIHDR, dwOffset))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MMSYSERR_NOERROR;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

}  // namespace loopdrv
