// The driver thread of an open input: it delivers what was injected or
// looped back, short messages with MIM_DATA and sysex in the app's queued
// buffers with MIM_LONGDATA, handing buffers back as the port's stack does.
#include "simwinmm/input_delivery.h"

#include <algorithm>
#include <cstring>

#include "simwinmm/device_calls.h"

namespace simwinmm {

void NotifyInput(InDevice& dev, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    if (dev.callback != nullptr) {
        dev.callback(reinterpret_cast<HMIDIIN>(dev.handle), message, dev.instance, param1, param2);
    }
}

namespace {

DWORD SinceStart(const InDevice& dev, DWORD startTime) {
    (void)dev;
    return timeGetTime() - startTime;
}

// Hands a buffer (already out of the queue) back to the app. Lock held on
// entry and on return; released around the trace and the callback.
void GiveBack(Driver& d, Lock& lock, InDevice& dev, MIDIHDR* header, UINT message) {
    const Trace trace = d.trace;
    const std::string name = dev.port->name;  // a copy: the lock is let go below
    const DWORD startTime = dev.startTime;
    lock.unlock();
    trace(name, false, reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded);
    lock.lock();
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    lock.unlock();
    NotifyInput(dev, message, reinterpret_cast<DWORD_PTR>(header), SinceStart(dev, startTime));
    lock.lock();
}

// Returns the buffer being filled, if it holds anything.
void FlushPartial(Driver& d, Lock& lock, InDevice& dev) {
    if (!dev.buffers.empty() && dev.buffers.front()->dwBytesRecorded > 0) {
        MIDIHDR* header = dev.buffers.front();
        dev.buffers.pop_front();
        GiveBack(d, lock, dev, header, MIM_LONGDATA);
    }
}

// Hands back a buffer that holds bytes, and after every n-th such buffer the
// next one empty, as some stacks do. Lock held.
void GiveBackFilled(Driver& d, Lock& lock, InDevice& dev, const standin::StackBehaviour& stack,
                    MIDIHDR* header) {
    GiveBack(d, lock, dev, header, MIM_LONGDATA);
    if (stack.emptyEvery != 0 && ++dev.filledReturned % stack.emptyEvery == 0 &&
        !dev.buffers.empty()) {
        MIDIHDR* empty = dev.buffers.front();
        dev.buffers.pop_front();
        GiveBack(d, lock, dev, empty, MIM_LONGDATA);
    }
}

// Sysex bytes into the queued buffers, in order. A buffer goes back when it
// is full, when it holds the stack's piece size, or when it takes 0xF7
// (unless the stack packs messages). With no buffer queued the bytes are lost.
void SysExBytes(Driver& d, InDevice& dev, const standin::StackBehaviour& stack,
                const uint8_t* bytes, uint32_t count) {
    Lock lock(d.mu);
    while (count > 0 && !dev.buffers.empty()) {
        MIDIHDR* header = dev.buffers.front();
        uint32_t limit = header->dwBufferLength;
        if (stack.pieceBytes != 0 && stack.pieceBytes < limit) {
            limit = stack.pieceBytes;
        }
        uint32_t take = 0;
        const void* end = nullptr;
        if (header->dwBytesRecorded < limit) {
            take = std::min<uint32_t>(limit - header->dwBytesRecorded, count);
            end = stack.packMessages != 0 ? nullptr : std::memchr(bytes, 0xF7, take);
            if (end != nullptr) {
                take = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - bytes) + 1;
            }
            std::memcpy(header->lpData + header->dwBytesRecorded, bytes, take);
            header->dwBytesRecorded += take;
            bytes += take;
            count -= take;
        }
        if (end != nullptr || header->dwBytesRecorded >= limit) {
            dev.buffers.pop_front();
            GiveBackFilled(d, lock, dev, stack, header);
        }
    }
}

// One buffer holding exactly `bytes` (cut to its length), returned at once.
void OneBuffer(Driver& d, InDevice& dev, const uint8_t* bytes, uint32_t count, UINT message) {
    Lock lock(d.mu);
    FlushPartial(d, lock, dev);
    if (dev.buffers.empty()) {
        return;
    }
    MIDIHDR* header = dev.buffers.front();
    dev.buffers.pop_front();
    const uint32_t take = std::min<uint32_t>(header->dwBufferLength, count);
    if (take > 0) {  // an empty one has no bytes to copy, maybe not even a pointer
        std::memcpy(header->lpData, bytes, take);
    }
    header->dwBytesRecorded = take;
    GiveBack(d, lock, dev, header, message);
}

struct Delivery {
    Driver& d;
    InDevice& dev;
    Trace trace;
    const std::string& name;
    DWORD startTime;
    standin::StackBehaviour stack;

    void Short(DWORD packed) {
        if (trace.fn != nullptr) {
            const uint8_t bytes[3] = {static_cast<uint8_t>(packed),
                                      static_cast<uint8_t>(packed >> 8),
                                      static_cast<uint8_t>(packed >> 16)};
            trace(name, false, bytes, ShortLength(bytes[0]));
        }
        NotifyInput(dev, MIM_DATA, packed, SinceStart(dev, startTime));
    }

    void SysEx(const uint8_t* bytes, uint32_t count) { SysExBytes(d, dev, stack, bytes, count); }

    // Real-time bytes may come anywhere, even inside sysex; some stacks put
    // them in its buffer.
    void RealTime(uint8_t byte) {
        if (dev.inSysEx && stack.realTimeInSysEx != 0) {
            SysEx(&byte, 1);
        } else {
            Short(byte);
        }
    }

    // A message's bytes, with a clock merged in after every clockEvery of them.
    void SysExRun(const uint8_t* bytes, uint32_t count) {
        while (count > 0) {
            uint32_t take = count;
            if (stack.clockEvery != 0) {
                take = std::min(count, stack.clockEvery - dev.sysExSinceClock);
            }
            SysEx(bytes, take);
            bytes += take;
            count -= take;
            if (stack.clockEvery != 0 && (dev.sysExSinceClock += take) >= stack.clockEvery) {
                dev.sysExSinceClock = 0;
                RealTime(0xF8);
            }
        }
    }

    void EndSysEx() {
        dev.inSysEx = false;
        Lock lock(d.mu);
        FlushPartial(d, lock, dev);
    }

    // Parses a byte stream as it comes off the wire (no running status).
    void Stream(const uint8_t* bytes, uint32_t count) {
        uint32_t i = 0;
        while (i < count) {
            const uint8_t b = bytes[i];
            if (b >= 0xF8) {
                RealTime(b);
                ++i;
                continue;
            }
            if (dev.inSysEx) {
                if (b < 0x80 || b == 0xF7) {
                    uint32_t j = i;
                    while (j < count && bytes[j] < 0x80) {
                        ++j;
                    }
                    const bool ends = j < count && bytes[j] == 0xF7;
                    if (ends) {
                        ++j;
                    }
                    SysExRun(bytes + i, j - i);
                    dev.inSysEx = !ends;
                    i = j;
                    continue;
                }
                EndSysEx();  // another status byte cuts the sysex short
            }
            ++i;
            if (b == 0xF0) {
                dev.inSysEx = true;
                dev.sysExSinceClock = 0;
                SysEx(&b, 1);
            } else if (b >= 0x80) {
                dev.status = b;
                dev.need = static_cast<uint8_t>(ShortLength(b) - 1);
                dev.have = 0;
                if (dev.need == 0) {
                    if (b != 0xF7) {  // a lone end-of-exclusive means nothing
                        Short(b);
                    }
                    dev.status = 0;
                }
            } else if (dev.status != 0) {
                dev.data[dev.have++] = b;
                if (dev.have == dev.need) {
                    Short(dev.status | (DWORD{dev.data[0]} << 8) |
                          (dev.need == 2 ? DWORD{dev.data[1]} << 16 : 0));
                    dev.status = 0;
                }
            }
        }
    }

    void Event(const InEvent& event, const uint8_t* blob) {
        const uint8_t* bytes = blob + event.offset;
        switch (event.kind) {
            case InKind::Short: {
                const auto status = static_cast<uint8_t>(event.packed);
                if (!dev.inSysEx && (status < 0xF0 || status >= 0xF8)) {
                    Short(event.packed);
                } else {
                    const uint8_t wire[3] = {status, static_cast<uint8_t>(event.packed >> 8),
                                             static_cast<uint8_t>(event.packed >> 16)};
                    Stream(wire, ShortLength(status));
                }
                break;
            }
            case InKind::Stream:
                Stream(bytes, event.length);
                break;
            case InKind::SysEx:
                SysEx(bytes, event.length);
                break;
            case InKind::Chunk:
                OneBuffer(d, dev, bytes, event.length, MIM_LONGDATA);
                break;
            case InKind::LongError:
                OneBuffer(d, dev, bytes, event.length, MIM_LONGERROR);
                break;
        }
    }
};

void ResetParser(InDevice& dev) {
    dev.inSysEx = false;
    dev.status = 0;
}

constexpr uint32_t kIdleRounds = 64;

}  // namespace

// Returns every queued buffer, filled or not, and stops. Lock held.
void ResetInput(Driver& d, Lock& lock, InDevice& dev) {
    dev.started = false;
    ResetParser(dev);
    std::deque<MIDIHDR*> all;
    all.swap(dev.buffers);
    for (MIDIHDR* header : all) {
        GiveBack(d, lock, dev, header, MIM_LONGDATA);
    }
}

// Returns the buffer being filled; empty ones stay queued. Lock held.
void StopInput(Driver& d, Lock& lock, InDevice& dev) {
    dev.started = false;
    ResetParser(dev);
    FlushPartial(d, lock, dev);
}

void InputWorker(const std::shared_ptr<InDevice>& dev) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    std::vector<InEvent> events;
    std::vector<uint8_t> blob;
    uint32_t idleRounds = 0;
    while (!dev->worker.quit) {
        if (!dev->events.empty()) {
            // Take the whole backlog at once: one lock per batch, not per message.
            events.clear();
            blob.clear();
            events.swap(dev->events);
            blob.swap(dev->blob);
            dev->busy = true;
            Delivery delivery{d, *dev, d.trace, dev->port->name, dev->startTime, dev->port->stack};
            lock.unlock();
            for (const InEvent& event : events) {
                if (!dev->started.load(std::memory_order_relaxed)) {
                    break;
                }
                delivery.Event(event, blob.data());
            }
            lock.lock();
            // A stack that packs messages hands a partly filled buffer back
            // once nothing more is coming for now; the others keep it.
            if (delivery.stack.packMessages != 0 && dev->events.empty() &&
                dev->started.load(std::memory_order_relaxed)) {
                FlushPartial(d, lock, *dev);
            }
            dev->busy = false;
            d.NotifyWaiters();
        } else if (dev->resetDone < dev->resetAsked || dev->stopDone < dev->stopAsked) {
            const uint64_t resetTicket = dev->resetAsked;
            const uint64_t stopTicket = dev->stopAsked;
            if (dev->resetDone < resetTicket) {
                ResetInput(d, lock, *dev);
            } else {
                StopInput(d, lock, *dev);
            }
            dev->resetDone = resetTicket;
            dev->stopDone = stopTicket;
            d.NotifyWaiters();
        } else if (idleRounds < kIdleRounds) {
            // A sender is usually mid-burst: look again shortly before
            // sleeping, so a stream of messages costs no wake-up each.
            ++idleRounds;
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            continue;
        } else {
            dev->worker.Sleep(lock);
        }
        idleRounds = 0;
    }
}

}  // namespace simwinmm
