#include "console/play_file.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "standin/message_length.h"

namespace console {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool ParseByte(const std::string& word, uint8_t* byte) {
    if (word.size() != 2 || HexDigit(word[0]) < 0 || HexDigit(word[1]) < 0) {
        return false;
    }
    *byte = static_cast<uint8_t>(HexDigit(word[0]) * 16 + HexDigit(word[1]));
    return true;
}

std::string Hex(uint8_t byte) {
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[byte >> 4], kHex[byte & 0x0F]};
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
    static const char* const kSystem[] = {"",
                                          "time code quarter frame",
                                          "song position",
                                          "song select",
                                          "",
                                          "",
                                          "tune request",
                                          "",
                                          "clock",
                                          "",
                                          "start",
                                          "continue",
                                          "stop",
                                          "",
                                          "active sensing",
                                          "system reset"};
    if (status < 0x80) {
        return "";
    }
    return status < 0xF0 ? kChannel[(status >> 4) - 8] : kSystem[status - 0xF0];
}

// Takes the bytes as a receiver takes them off the wire, line by line, and
// makes each whole message an event at its line's time.
class WireReader {
public:
    explicit WireReader(std::vector<PlayMessage>* out) : out_(out) {}

    bool InSysex() const { return sysexLine_ != 0; }
    int32_t SysexLine() const { return sysexLine_; }

    // A line inside a system-exclusive message keeps the message's time.
    void StartLine(int32_t line, uint32_t time) {
        line_ = line;
        if (!InSysex()) {
            time_ = time;
        }
        lastOnLine_ = 0;
    }

    bool Byte(uint8_t byte, std::string* error) {
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
            *error = Takes(message_[0]) + ", found " + Hex(byte) + " after " +
                     std::to_string(message_.size() - 1);
            return false;
        }
        if (byte < 0x80) {
            return RunningData(byte, error);
        }
        if (standin::IsUndefinedStatus(byte)) {
            *error = Hex(byte) + " is an undefined status byte: no message starts with it";
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

    // A short message ends on its line; only a system-exclusive one goes on.
    bool EndLine(std::string* error) {
        if (message_.size() < needed_) {
            *error = Takes(message_[0]) + ", this line has " + std::to_string(message_.size() - 1);
            if (byRunning_) {
                error->append(" for the last one (running status)");
            }
            return false;
        }
        return true;
    }

private:
    std::string Takes(uint8_t status) const {
        std::string text = MessageName(status);
        text.append(" takes ").append(Count(standin::WireLength(status) - 1, "data byte"));
        return text;
    }

    bool SysexByte(uint8_t byte, std::string* error) {
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
        *error = "a system-exclusive message ends with F7, found " + Hex(byte);
        if (sysexLine_ != line_) {
            error->append(" (the message begins on line ").append(std::to_string(sysexLine_));
            error->append(")");
        }
        return false;
    }

    bool RunningData(uint8_t byte, std::string* error) {
        if (running_ == 0) {
            if (lastOnLine_ != 0 && standin::WireLength(lastOnLine_) == 1) {
                *error = std::string(MessageName(lastOnLine_)) + " takes no data bytes, found " +
                         Hex(byte);
            } else {
                *error = "a message starts with a status byte (80 to FF), found " + Hex(byte) +
                         ", and no running status is in force (a channel message sets it, a "
                         "system message ends it)";
            }
            return false;
        }
        message_.assign(1, running_);
        needed_ = standin::WireLength(running_);
        byRunning_ = true;
        Collect(byte);
        return true;
    }

    bool RealTime(uint8_t byte, std::string* error) {
        if (standin::IsUndefinedStatus(byte)) {
            *error = Hex(byte) + " is an undefined status byte: no message starts with it";
            return false;
        }
        // Whole at once, so it goes before the message it interrupts.
        Push({byte}, line_);
        if (message_.size() >= needed_ && !InSysex()) {
            lastOnLine_ = byte;
        }
        return true;
    }

    void Collect(uint8_t byte) {
        message_.push_back(byte);
        if (message_.size() == needed_) {
            Complete();
        }
    }

    void Complete() {
        lastOnLine_ = message_[0];
        Push(std::move(message_), line_);
        message_.clear();
        needed_ = 0;
        byRunning_ = false;
    }

    void Push(std::vector<uint8_t> bytes, int32_t line) {
        PlayMessage event;
        event.time = time_;
        event.bytes = std::move(bytes);
        event.line = line;
        out_->push_back(std::move(event));
    }

    std::vector<PlayMessage>* out_;
    int32_t line_ = 0;
    uint32_t time_ = 0;
    uint8_t running_ = 0;           // 0: none in force
    std::vector<uint8_t> message_;  // the message being read, status first
    size_t needed_ = 0;             // its length when whole (0: none, or a sysex)
    bool byRunning_ = false;
    int32_t sysexLine_ = 0;  // where the open system-exclusive message begins; 0: none
    uint8_t lastOnLine_ = 0;
};

struct Word {
    std::string text;
    size_t end;  // just after it in the line
};

std::vector<Word> Split(const std::string& line) {
    std::vector<Word> words;
    size_t i = 0;
    while ((i = line.find_first_not_of(" \t\r", i)) != std::string::npos) {
        const size_t end = std::min(line.find_first_of(" \t\r", i), line.size());
        words.push_back(Word{line.substr(i, end - i), end});
        i = end;
    }
    return words;
}

bool ReadTime(const std::string& word, uint32_t* time) {
    if (word.empty() || word.size() > 9 || !std::all_of(word.begin(), word.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return false;
    }
    *time = static_cast<uint32_t>(std::stoul(word));
    return true;
}

}  // namespace

bool ReadPlayFile(std::istream& in, std::vector<PlayMessage>* messages, std::string* error) {
    messages->clear();
    WireReader wire(messages);
    std::string line;
    for (int32_t number = 1; std::getline(in, line); ++number) {
        line.erase(std::min(std::min(line.find("--"), line.find('#')), line.size()));
        const std::vector<Word> words = Split(line);
        if (words.empty()) {
            continue;
        }
        const auto fail = [&](const std::string& message) {
            *error = "line " + std::to_string(number) + ": " + message;
            return false;
        };
        uint32_t time = 0;
        size_t first = 0;
        if (!wire.InSysex()) {
            if (!ReadTime(words[0].text, &time)) {
                return fail("a line starts with the time in milliseconds (0 to 999999999), not \"" +
                            words[0].text + "\"");
            }
            first = 1;
            if (words.size() == 1) {
                return fail(
                    "a time needs the bytes of a message, or unplug or replug and a "
                    "port's name, after it");
            }
            const std::string& verb = words[1].text;
            if (verb == "unplug" || verb == "replug") {
                const size_t from = line.find_first_not_of(" \t", words[1].end);
                const size_t to = line.find_last_not_of(" \t\r");
                if (from == std::string::npos) {
                    return fail(verb + " takes the name of a virtual port after it");
                }
                PlayMessage pull;
                pull.time = time;
                pull.kind =
                    verb == "unplug" ? PlayMessage::Kind::Unplug : PlayMessage::Kind::Replug;
                pull.port = line.substr(from, to + 1 - from);
                pull.line = number;
                messages->push_back(std::move(pull));
                continue;
            }
        }
        wire.StartLine(number, time);
        for (size_t w = first; w < words.size(); ++w) {
            uint8_t byte = 0;
            if (!ParseByte(words[w].text, &byte)) {
                if (w == 0) {
                    return fail("the system-exclusive message of line " +
                                std::to_string(wire.SysexLine()) +
                                " goes on here, in bytes only (no time), until its F7; not \"" +
                                words[w].text + "\"");
                }
                return fail(
                    std::string("a byte is two hexadecimal digits") +
                    (w == 1 ? " (or the line holds unplug or replug and a port's name)" : "") +
                    ", not \"" + words[w].text + "\"");
            }
            std::string problem;
            if (!wire.Byte(byte, &problem)) {
                return fail(problem);
            }
        }
        std::string problem;
        if (!wire.EndLine(&problem)) {
            return fail(problem);
        }
    }
    if (in.bad()) {
        *error = "cannot be read";
        return false;
    }
    if (wire.InSysex()) {
        *error = "line " + std::to_string(wire.SysexLine()) +
                 ": this system-exclusive message ends with F7, and the file ends first";
        return false;
    }
    std::stable_sort(messages->begin(), messages->end(),
                     [](const PlayMessage& a, const PlayMessage& b) { return a.time < b.time; });
    return true;
}

}  // namespace console
