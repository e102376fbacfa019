// The driver thread's delivery of one event to the input client: short
// messages with MIM_DATA, sysex bytes into the queued buffers, handed back as
// the port's stack behaviour says. The caller holds the lock.
#include "loopdrv/loopback.h"

namespace loopdrv {

DWORD Loopback::InputTime() const {
    return timeGetTime() - inputStartTime_;
}

void Loopback::Deliver(const Event& event) {
    bool listening = in_.open && inputStarted_;
    if (event.kind == Event::Kind::kShort) {
        if (listening)
            DeliverShort(event.shortMessage);
        return;
    }
    if (event.kind == Event::Kind::kInjectedSysEx) {
        for (DWORD i = 0; i < event.injectedSize; ++i) {
            if (listening)
                FeedSysExByte(injected_.front());
            injected_.pop_front();
        }
        return;
    }
    MIDIHDR* header = event.header;
    if (listening) {
        FeedSysEx(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength);
    }
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    out_.Notify(MOM_DONE, reinterpret_cast<DWORD_PTR>(header), 0);
}

// Some stacks pass real-time bytes inside the buffer of a sysex they come in.
// Any other status byte cuts the sysex short: its buffer goes back as it is.
void Loopback::DeliverShort(DWORD message) {
    const auto status = static_cast<uint8_t>(message);
    if (inSysEx_ && status >= 0xF8 && stack_.realTimeInSysEx) {
        FeedSysExByte(status);
        return;
    }
    if (inSysEx_ && status < 0xF8) {
        inSysEx_ = false;
        droppingSysEx_ = false;
        if (!inputBuffers_.empty() && inputBuffers_.front()->dwBytesRecorded > 0) {
            MIDIHDR* header = inputBuffers_.front();
            inputBuffers_.pop_front();
            ReturnFilledBuffer(header);
        }
    }
    in_.Notify(MIM_DATA, message, InputTime());
}

// Bytes go into the queued buffers in order; a buffer goes back when it is
// full, holds the stack's piece size, or holds the end of a message (unless
// the stack packs messages). With no buffer left the rest of that message is
// lost, as on a real port.
void Loopback::FeedSysEx(const uint8_t* bytes, DWORD count) {
    for (DWORD i = 0; i < count; ++i)
        FeedSysExByte(bytes[i]);
}

void Loopback::FeedSysExByte(uint8_t byte) {
    if (byte == 0xF0) {
        inSysEx_ = true;
        sysExSinceClock_ = 0;
    } else if (byte == 0xF7) {
        inSysEx_ = false;
    }
    if (droppingSysEx_) {
        if (byte == 0xF7)
            droppingSysEx_ = false;
        return;
    }
    if (inputBuffers_.empty()) {
        droppingSysEx_ = byte != 0xF7;
        return;
    }
    MIDIHDR* buffer = inputBuffers_.front();
    buffer->lpData[buffer->dwBytesRecorded++] = static_cast<char>(byte);
    DWORD limit = buffer->dwBufferLength;
    if (stack_.pieceBytes != 0 && stack_.pieceBytes < limit)
        limit = stack_.pieceBytes;
    if ((byte == 0xF7 && !stack_.packMessages) || buffer->dwBytesRecorded >= limit) {
        inputBuffers_.pop_front();
        ReturnFilledBuffer(buffer);
    }
    // A clock source on the same cable, during the message.
    if (stack_.clockEvery != 0 && inSysEx_ && byte < 0x80 &&
        ++sysExSinceClock_ >= stack_.clockEvery) {
        sysExSinceClock_ = 0;
        DeliverShort(0xF8);
    }
}

void Loopback::ReturnFilledBuffer(MIDIHDR* header) {
    ReturnInputBuffer(header);
    if (stack_.emptyEvery != 0 && ++filledReturned_ % stack_.emptyEvery == 0 &&
        !inputBuffers_.empty()) {
        MIDIHDR* empty = inputBuffers_.front();
        inputBuffers_.pop_front();
        ReturnInputBuffer(empty);
    }
}

void Loopback::ReturnInputBuffer(MIDIHDR* header) {
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    in_.Notify(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), InputTime());
}

}  // namespace loopdrv
