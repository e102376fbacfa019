// The bytes of a play file as a receiver takes them off the wire: running
// status, real-time bytes between and inside messages, system-exclusive
// messages over lines. Each whole message becomes an event at its line's time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/play_file.h"

namespace console {

class WireReader {
public:
    explicit WireReader(std::vector<PlayMessage>* out) : out_(out) {}

    bool InSysex() const { return sysexLine_ != 0; }
    // Where the open system-exclusive message begins.
    int32_t SysexLine() const { return sysexLine_; }

    // A line inside a system-exclusive message keeps the message's time.
    void StartLine(int32_t line, uint32_t time);
    // False with *error (no "line N: ") when the byte breaks the wire's rules.
    bool Byte(uint8_t byte, std::string* error);
    // A short message ends on its line; only a system-exclusive one goes on.
    bool EndLine(std::string* error);

private:
    bool SysexByte(uint8_t byte, std::string* error);
    bool RunningData(uint8_t byte, std::string* error);
    bool RealTime(uint8_t byte, std::string* error);
    void Collect(uint8_t byte);
    void Complete();
    void Push(std::vector<uint8_t> bytes, int32_t line);

    std::vector<PlayMessage>* out_;
    int32_t line_ = 0;
    uint32_t time_ = 0;
    uint8_t running_ = 0;           // 0: none in force
    std::vector<uint8_t> message_;  // the message being read, status first
    size_t needed_ = 0;             // its length when whole (0: none, or a sysex)
    bool byRunning_ = false;
    int32_t sysexLine_ = 0;   // 0: no system-exclusive message open
    uint8_t lastOnLine_ = 0;  // the status of the last whole message on the line
};

}  // namespace console
