#include "console/wire_reader.h"

#include <utility>

#include "console/wire_text.h"
#include "standin/message_length.h"

namespace console {
namespace {

std::string Undefined(uint8_t byte) {
    return Cat(Hex(byte), " is an undefined status byte: no message starts with it");
}

std::string Count(size_t n, const char* what) {
    std::string text = std::to_string(n);
    text.append(" ").append(what).append(n == 1 ? "" : "s");
    return text;
}

// The name an author knows the message by; "" for F0, F7 and undefined ones.
const char* MessageName(uint8_t status) {
    static const char* const kChannel[] = {"note-off",       "note-on",        "poly pressure",
                                           "control change", "program change", "channel pressure",
                                           "pitch bend"};
    // clang-format off
    static const char* const kSystem[] = {
        "",      "time code quarter frame", "song position",  "song select",   // F0
        "",      "",                        "tune request",   "",              // F4
        "clock", "",                        "start",          "continue",      // F8
        "stop",  "",                        "active sensing", "system reset"}; // FC
    // clang-format on
    if (status < 0x80) {
        return "";
    }
    return status < 0xF0 ? kChannel[(status >> 4) - 8] : kSystem[status - 0xF0];
}

std::string Takes(uint8_t status) {
    std::string text = MessageName(status);
    text.append(" takes ").append(Count(standin::WireLength(status) - 1, "data byte"));
    return text;
}

}  // namespace

void WireReader::StartLine(int32_t line, uint32_t time) {
    line_ = line;
    if (!InSysex()) {
        time_ = time;
    }
    lastOnLine_ = 0;
}

bool WireReader::Byte(uint8_t byte, std::string* error) {
    if (InSysex()) {
        return SysexByte(byte, error);
    }
    if (message_.size() < needed_) {
        if (byte < 0x80) {
            Collect(byte);
            return true;
        }
        if (byte >= 0xF8) {
            return RealTime(byte, error);
        }
        *error = Cat(Takes(message_[0]), ", found ", Hex(byte), " after ",
                     std::to_string(message_.size() - 1));
        return false;
    }
    if (byte < 0x80) {
        return RunningData(byte, error);
    }
    if (standin::IsUndefinedStatus(byte)) {
        *error = Undefined(byte);
        return false;
    }
    if (byte >= 0xF8) {
        return RealTime(byte, error);
    }
    if (byte == 0xF7) {
        *error = "F7 ends a system-exclusive message, and none is open";
        return false;
    }
    // System messages end running status; real-time ones (above) do not.
    running_ = byte < 0xF0 ? byte : 0;
    message_.assign(1, byte);
    if (byte == 0xF0) {
        sysexLine_ = line_;
        return true;
    }
    needed_ = standin::WireLength(byte);
    if (needed_ == 1) {
        Complete();
    }
    return true;
}

bool WireReader::EndLine(std::string* error) {
    if (message_.size() < needed_) {
        *error = Cat(Takes(message_[0]), ", this line has ", std::to_string(message_.size() - 1));
        if (byRunning_) {
            error->append(" for the last one (running status)");
        }
        return false;
    }
    return true;
}

bool WireReader::SysexByte(uint8_t byte, std::string* error) {
    if (byte < 0x80 || byte == 0xF7) {
        message_.push_back(byte);
        if (byte == 0xF7) {
            Push(std::move(message_), sysexLine_);
            message_.clear();
            sysexLine_ = 0;
        }
        return true;
    }
    if (byte >= 0xF8) {
        return RealTime(byte, error);
    }
    *error = Cat("a system-exclusive message ends with F7, found ", Hex(byte));
    if (sysexLine_ != line_) {
        error->append(Cat(" (the message begins on line ", std::to_string(sysexLine_), ")"));
    }
    return false;
}

bool WireReader::RunningData(uint8_t byte, std::string* error) {
    if (running_ == 0) {
        if (lastOnLine_ != 0 && standin::WireLength(lastOnLine_) == 1) {
            *error = Cat(MessageName(lastOnLine_), " takes no data bytes, found ", Hex(byte));
        } else {
            *error = Cat("a message starts with a status byte (80 to FF), found ", Hex(byte),
                         ", and no running status is in force (a channel message sets it, a "
                         "system message ends it)");
        }
        return false;
    }
    message_.assign(1, running_);
    needed_ = standin::WireLength(running_);
    byRunning_ = true;
    Collect(byte);
    return true;
}

bool WireReader::RealTime(uint8_t byte, std::string* error) {
    if (standin::IsUndefinedStatus(byte)) {
        *error = Undefined(byte);
        return false;
    }
    // Whole at once, so it goes before the message it interrupts.
    Push({byte}, line_);
    if (message_.size() >= needed_ && !InSysex()) {
        lastOnLine_ = byte;
    }
    return true;
}

void WireReader::Collect(uint8_t byte) {
    message_.push_back(byte);
    if (message_.size() == needed_) {
        Complete();
    }
}

void WireReader::Complete() {
    lastOnLine_ = message_[0];
    Push(std::move(message_), line_);
    message_.clear();
    needed_ = 0;
    byRunning_ = false;
}

void WireReader::Push(std::vector<uint8_t> bytes, int32_t line) {
    PlayMessage event;
    event.time = time_;
    event.bytes = std::move(bytes);
    event.line = line;
    out_->push_back(std::move(event));
}

}  // namespace console
