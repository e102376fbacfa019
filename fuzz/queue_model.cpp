#include "fuzz/queue_model.h"

#include <string>

namespace {

constexpr uint32_t kTimeBytes = 4;
constexpr uint32_t kRoomAsked = 7;  // the longest short message with its time

// Bytes a short message has, by its status byte; 0 for none.
size_t ShortLength(uint8_t status) {
    switch (status >> 4) {
        case 0x8:
        case 0x9:
        case 0xA:
        case 0xB:
        case 0xE:
            return 3;
        case 0xC:
        case 0xD:
            return 2;
        default:
            break;
    }
    switch (status) {
        case 0xF2:
            return 3;
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF6:
        case 0xF8:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFE:
        case 0xFF:
            return 1;
        default:
            return 0;
    }
}

std::string Pair(const char* key, int32_t value) {
    return std::string(", #") + key + ": " + std::to_string(value);
}

}  // namespace

void QueueModel::Allocate(uint32_t requestedSize) {
    size_ = requestedSize < 1024 ? 1024 : requestedSize;
    used_ = 0;
    published_.clear();
    assembling_ = false;
    assembled_.clear();
    overflowed_ = false;
}

bool QueueModel::Passes(std::vector<uint8_t>& message) const {
    const uint8_t status = message[0];
    const uint8_t data1 = message.size() > 1 ? message[1] : 0;
    const uint8_t data2 = message.size() > 2 ? message[2] : 0;
    const int channel = status & 15;
    if (status >= 0xB0 && status <= 0xBF && data1 >= 122) {
        int bit;
        if (data1 >= 128) {
            return false;
        }
        if (data1 == 122) {
            if (data2 != 0 && data2 != 127) {
                return false;
            }
            bit = data2 == 0 ? 0 : 1;
        } else {
            bit = data1 - 121;  // 123 .. 127: bits 2 .. 6
        }
        return (modeMask_[channel] >> bit & 1) != 0;
    }
    if (status >= 0x90 && status <= 0x9F && data2 == 0) {
        message[0] = static_cast<uint8_t>(0x80 | channel);
    }
    const uint8_t kind = message[0] >= 0xF0 ? 7 : (message[0] >> 4) - 8;
    return (typeMask_[channel] >> kind & 1) != 0;
}

void QueueModel::Publish(std::vector<uint8_t> bytes, uint32_t time) {
    used_ += static_cast<uint32_t>(bytes.size()) + kTimeBytes;
    published_.push_back(Record{std::move(bytes), time});
}

// A message ends a system-exclusive one unless it is real-time (0xF8 and
// above); real-time messages are stored at once, whatever is being assembled.
void QueueModel::Short(uint8_t status, uint8_t data1, uint8_t data2, uint32_t time) {
    if (assembling_ && status >= 0x80 && status < 0xF8) {
        GiveUp();
    }
    if (FreeAtWrite() < kRoomAsked) {
        overflowed_ = true;
        return;
    }
    const size_t length = ShortLength(status);
    std::vector<uint8_t> message{status, data1, data2};
    message.resize(length == 0 ? 1 : length);
    if (length == 0 || !Passes(message)) {
        return;
    }
    Publish(message, time);
}

// One byte at a time, as it would come off the wire; the piece it came in
// only gives the time.
void QueueModel::Chunk(const std::vector<uint8_t>& bytes, uint32_t time) {
    for (const uint8_t byte : bytes) {
        if (byte >= 0xF8) {
            Short(byte, 0, 0, time);
        } else if (assembling_ && byte < 0x80) {
            Take(byte);
        } else if (assembling_ && byte == 0xF7) {
            if (Take(byte)) {
                End();
            }
        } else {
            if (assembling_) {
                GiveUp();  // any other status byte cuts the message short
            }
            if (byte == 0xF0 && (typeMask_[0] & 0x80) != 0) {
                assembling_ = true;
                assembled_.assign(1, byte);
                assembledTime_ = time;
            }
        }
    }
}

// The ring holds at most size - 1 bytes: a message whose record (bytes and
// time) can never fit is lost as soon as it grows past that.
bool QueueModel::Take(uint8_t byte) {
    assembled_.push_back(byte);
    if (assembled_.size() + kTimeBytes > size_ - 1) {
        GiveUp();
        return false;
    }
    return true;
}

// Room is needed only now, at the end.
void QueueModel::End() {
    assembling_ = false;
    if (FreeAtWrite() < assembled_.size() + kTimeBytes) {
        overflowed_ = true;
        return;
    }
    Publish(assembled_, assembledTime_);
}

void QueueModel::GiveUp() {
    assembling_ = false;
    overflowed_ = true;
}

void QueueModel::Abandon() {
    if (assembling_) {
        GiveUp();
    } else {
        overflowed_ = true;
    }
}

void QueueModel::EndCapture() {
    if (assembling_) {
        GiveUp();
    }
}

void QueueModel::Flush() {
    published_.clear();
    used_ = 0;
    overflowed_ = false;
}

bool QueueModel::Overflowed() {
    const bool was = overflowed_;
    overflowed_ = false;
    return was;
}

std::string QueueModel::Next() {
    if (published_.empty()) {
        return "[:]";
    }
    const Record record = published_.front();
    published_.pop_front();
    used_ -= static_cast<uint32_t>(record.bytes.size()) + kTimeBytes;
    const std::vector<uint8_t>& b = record.bytes;
    const uint8_t status = b[0];
    const int32_t channel = (status & 15) + 1;
    const int32_t d1 = b.size() > 1 ? b[1] : 0;
    const int32_t d2 = b.size() > 2 ? b[2] : 0;
    std::string out = "[#type: #";
    switch (status >> 4) {
        case 0x8:
        case 0x9:
            out += std::string(status >> 4 == 8 ? "noteOff" : "noteOn") + Pair("channel", channel) +
                   Pair("number", d1) + Pair("velocity", d2);
            break;
        case 0xA:
            out += "polyKeyPressure" + Pair("channel", channel) + Pair("number", d1) +
                   Pair("pressure", d2);
            break;
        case 0xB:
            if (d1 < 122) {
                out += "controlChange" + Pair("channel", channel) + Pair("number", d1) +
                       Pair("value", d2);
            } else {
                static const char* const kModes[] = {"",           "allNotesOff", "omniModeOff",
                                                     "omniModeOn", "monoModeOn",  "polyModeOn"};
                out +=
                    d1 == 122 ? (d2 == 0 ? "localControlOff" : "localControlOn") : kModes[d1 - 122];
                if (d1 == 126) {
                    out += Pair("numChannels", d2);
                }
            }
            break;
        case 0xC:
        case 0xD:
            out += std::string(status >> 4 == 0xC ? "programChange" : "channelPressure") +
                   Pair("channel", channel) + Pair("number", d1);
            break;
        case 0xE:
            out += "pitchBend" + Pair("channel", channel) + Pair("amount", (d2 << 7 | d1) - 8192);
            break;
        default:
            switch (status) {
                case 0xF0: {
                    const bool bare = b[1] == 0xF7;
                    out +=
                        "systemExclusive" + Pair("manufacturerID", bare ? 0 : b[1]) + ", #data: [";
                    for (size_t i = bare ? 1 : 2; i + 1 < b.size(); ++i) {
                        out += (i > (bare ? 1u : 2u) ? ", " : "") + std::to_string(b[i]);
                    }
                    out += "]";
                    break;
                }
                case 0xF1:
                    out +=
                        "mtcQuarterFrame" + Pair("subFrame", d1 >> 4 & 7) + Pair("data", d1 & 15);
                    break;
                case 0xF2:
                    out += "songPositionPointer" + Pair("position", d2 << 7 | d1);
                    break;
                case 0xF3:
                    out += "songSelect" + Pair("number", d1);
                    break;
                case 0xF6:
                    out += "tuneRequest";
                    break;
                case 0xF8:
                    out += "clock";
                    break;
                case 0xFA:
                    out += "start";
                    break;
                case 0xFB:
                    out += "continue";
                    break;
                case 0xFC:
                    out += "stop";
                    break;
                case 0xFE:
                    out += "activeSensing";
                    break;
                default:
                    out += "systemReset";
                    break;
            }
    }
    return out + Pair("timestamp", static_cast<int32_t>(record.time)) + "]";
}
