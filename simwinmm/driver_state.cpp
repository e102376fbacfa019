#include "simwinmm/driver_state.h"

#include <algorithm>

#include "standin/message_length.h"

namespace simwinmm {

const char* const kOpNames[kOpCount] = {
    "midiInGetNumDevs",
    "midiInGetDevCapsA",
    "midiInOpen",
    "midiInPrepareHeader",
    "midiInAddBuffer",
    "midiInStart",
    "midiInStop",
    "midiInReset",
    "midiInUnprepareHeader",
    "midiInClose",
    "midiOutGetNumDevs",
    "midiOutGetDevCapsA",
    "midiOutOpen",
    "midiOutShortMsg",
    "midiOutPrepareHeader",
    "midiOutLongMsg",
    "midiOutUnprepareHeader",
    "midiOutReset",
    "midiOutClose",
};

Driver& TheDriver() {
    // Never destroyed: driver threads of devices left open may outlive main().
    static Driver* driver = new Driver;
    return *driver;
}

bool InjectedFailure(Driver& d, Op op, MMRESULT& result) {
    const auto index = static_cast<size_t>(op);
    uint32_t failure = 0;
    const bool fails = d.faults.Enter(index, &failure);
    const uint64_t call = d.faults.Count(index);
    d.lastCall[index] = ++d.callSerial;
    for (auto it = d.pullTriggers.begin(); it != d.pullTriggers.end();) {
        if (it->op == op && it->atCall == call) {
            const std::string name = it->name;
            it = d.pullTriggers.erase(it);
            UnplugLocked(d, name);
        } else {
            ++it;
        }
    }
    if (fails) {
        result = failure;
    }
    return fails;
}

uint32_t ShortLength(uint8_t status) {
    // A packed message has its status byte, whatever the wire makes of it.
    return std::max<uint32_t>(1, standin::WireLength(status));
}

void QueueInput(InPort& port, InKind kind, DWORD packed, const uint8_t* bytes, uint32_t length) {
    InDevice* dev = port.device.get();
    if (dev == nullptr || !dev->started) {
        return;
    }
    const auto offset = static_cast<uint32_t>(dev->blob.size());
    dev->blob.insert(dev->blob.end(), bytes, bytes + length);
    dev->events.push_back(InEvent{kind, packed, offset, length});
    WakeWorker(dev->worker);
}

void SendFromOutput(OutPort& port, const uint8_t* bytes, uint32_t length, bool isLong) {
    if (port.sentLimit > 0) {
        std::vector<uint8_t>& sent = port.sent;
        sent.insert(sent.end(), bytes, bytes + length);
        // Bounded: only the latest bytes are kept, trimmed now and then.
        if (sent.size() > 2 * port.sentLimit) {
            sent.erase(sent.begin(), sent.end() - static_cast<ptrdiff_t>(port.sentLimit));
        }
    }
    if (port.loop == nullptr) {
        return;
    }
    InPort& input = *port.loop;
    if (isLong) {
        QueueInput(input, InKind::Stream, 0, bytes, length);
    } else {
        DWORD packed = 0;
        for (uint32_t i = 0; i < length; ++i) {
            packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
        }
        QueueInput(input, InKind::Short, packed, nullptr, 0);
    }
}

// Nothing left that the device would send now (a stalled message waits).
bool OutputIdle(const OutPort& port) {
    const OutDevice* dev = port.device.get();
    if (dev == nullptr || dev->unsent.empty()) {
        return true;
    }
    const OutItem& front = dev->unsent.front();
    return front.header != nullptr && port.stallBudget == 0 &&
           front.offset < front.header->dwBufferLength;
}

bool OutputSettled(const OutPort& port) {
    const OutDevice* dev = port.device.get();
    return dev == nullptr ||
           (dev->unsent.empty() && dev->held.empty() && dev->completing == 0 &&
            dev->releaseDone >= dev->releaseAsked && dev->resetDone >= dev->resetAsked);
}

bool InputIdle(const InPort& port) {
    if (port.loop != nullptr && !OutputIdle(*port.loop)) {
        return false;
    }
    const InDevice* dev = port.device.get();
    return dev == nullptr || (dev->events.empty() && !dev->busy &&
                              dev->resetDone >= dev->resetAsked && dev->stopDone >= dev->stopAsked);
}

void WakeWorker(DeviceThread& worker) {
    if (worker.sleeping) {
        worker.sleeping = false;
        worker.wake.notify_one();
    }
}

void JoinWorker(DeviceThread& worker) {
    if (!worker.thread.joinable()) {
        return;
    }
    if (worker.OnThisThread()) {
        // Closed from its own callback: it ends when the callback returns.
        worker.thread.detach();
    } else {
        worker.thread.join();
    }
}

bool HeaderSizeOk(const MIDIHDR* header, UINT size) {
    return header != nullptr && size >= sizeof(MIDIHDR);
}

MMRESULT PrepareHeader(std::unordered_set<MIDIHDR*>& prepared, MIDIHDR* header, UINT size) {
    if (!HeaderSizeOk(header, size) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & MHDR_PREPARED) == 0) {
        header->dwFlags = (header->dwFlags & ~(MHDR_DONE | MHDR_INQUEUE)) | MHDR_PREPARED;
    }
    prepared.insert(header);
    return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(std::unordered_set<MIDIHDR*>& prepared, MIDIHDR* header, UINT size) {
    if (!HeaderSizeOk(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~MHDR_PREPARED;
    prepared.erase(header);
    return MMSYSERR_NOERROR;
}

MMRESULT CheckQueueable(const MIDIHDR* header) {
    if ((header->dwFlags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((header->dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    return MMSYSERR_NOERROR;
}

}  // namespace simwinmm
