// Wire bytes injected as if they had arrived on the input port: split into
// the events the driver thread delivers, short messages and sysex runs.
#include <vector>

#include "loopdrv/loopback.h"

namespace loopdrv {
namespace {

// Bytes of a message by its status byte; 0 for sysex start and end.
DWORD MessageLength(uint8_t status) {
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        case 0xF0:
        case 0xF7:
            return 0;
        default:
            return 1;
    }
}

class WireSplitter {
public:
    // `inSysEx`: an earlier injection left a sysex open, which these bytes
    // go on with.
    explicit WireSplitter(bool inSysEx) : inSysEx_(inSysEx) {}

    // False when the bytes are not whole messages: a data byte with no status
    // before it (running status is not taken), a short message cut short or
    // cut by another status, an end of sysex with no start. A sysex may be
    // left open (a sender that never ends it) or cut by a status byte.
    bool Split(const uint8_t* bytes, DWORD count) {
        for (DWORD i = 0; i < count; ++i) {
            if (!Take(bytes[i]))
                return false;
        }
        FlushSysEx();
        return pending_ == 0;
    }
    bool InSysEx() const { return inSysEx_; }

    std::vector<Event> events;
    std::vector<uint8_t> sysEx;

private:
    bool Take(uint8_t byte) {
        if (byte >= 0xF8) {  // real-time: may come between any two bytes
            PushShort(byte);
            return true;
        }
        if (inSysEx_ && (byte < 0x80 || byte == 0xF7)) {
            sysEx.push_back(byte);
            ++run_;
            inSysEx_ = byte != 0xF7;
            return true;
        }
        // Any other status byte cuts an open sysex short, as on the wire.
        inSysEx_ = false;
        if (byte < 0x80) {
            if (pending_ == 0)
                return false;
            message_ |= static_cast<DWORD>(byte) << (8 * filled_++);
            if (--pending_ == 0)
                PushShort(message_);
            return true;
        }
        if (pending_ != 0 || byte == 0xF7)
            return false;
        if (byte == 0xF0) {
            inSysEx_ = true;
            sysEx.push_back(byte);
            ++run_;
            return true;
        }
        message_ = byte;
        filled_ = 1;
        pending_ = MessageLength(byte) - 1;
        if (pending_ == 0)
            PushShort(message_);
        return true;
    }

    // The sysex bytes before it go first.
    void PushShort(DWORD message) {
        FlushSysEx();
        events.push_back(Event{Event::Kind::kShort, message, nullptr, 0});
    }

    void FlushSysEx() {
        if (run_ > 0)
            events.push_back(Event{Event::Kind::kInjectedSysEx, 0, nullptr, run_});
        run_ = 0;
    }

    bool inSysEx_;
    DWORD run_ = 0;  // sysex bytes not yet in an event
    DWORD message_ = 0;
    DWORD filled_ = 0;
    DWORD pending_ = 0;  // data bytes the short message still needs
};

}  // namespace

bool Loopback::Inject(const uint8_t* bytes, DWORD count, bool* wake) {
    if (!in_.open || (bytes == nullptr && count > 0))
        return false;
    WireSplitter splitter(injectingSysEx_);
    if (!splitter.Split(bytes, count))
        return false;
    injectingSysEx_ = splitter.InSysEx();
    if (splitter.events.empty())
        return true;
    injected_.insert(injected_.end(), splitter.sysEx.begin(), splitter.sysEx.end());
    events_.insert(events_.end(), splitter.events.begin(), splitter.events.end());
    *wake = sleeping_;
    return true;
}

}  // namespace loopdrv
