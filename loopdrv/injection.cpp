// Wire bytes injected as if they had arrived on the input port: split into
// the events the driver thread delivers, short messages and sysex runs.
#include <vector>

#include "loopdrv/loopback.h"
#include "loopdrv/plug.h"
#include "standin/message_length.h"

namespace loopdrv {
namespace {

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
        pending_ = standin::WireLength(byte) - 1;
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
    if (!in_.open || Cut(Direction::kInput) || (bytes == nullptr && count > 0))
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
