// --trace's lines: what crossed each virtual port in each direction, read as
// the wire (one line per message, a system-exclusive message put together
// from the pieces the driver handled it in), each with its time.
//
//     120 ms Loopback out: 90 3C 64
//     130 ms Loopback in: F0 43 10 4C 00 00 7E 00 ... 12 34 56 F7 (4,096 bytes)
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace console {

struct TraceRecord {
    std::string port;
    bool out = false;
    uint32_t timeMs = 0;  // since the console started (or the movie's clock)
    std::vector<uint8_t> bytes;
};

// One reader at a time; the records of one port and direction in order.
class TraceLines {
public:
    // The lines that the record's bytes complete (none for the part of a
    // message still to come).
    std::vector<std::string> Add(const TraceRecord& record);
    // What was left unfinished, as lines of their own.
    std::vector<std::string> Finish();

private:
    struct Stream {
        std::vector<uint8_t> message;
        uint32_t timeMs = 0;
        uint8_t runningStatus = 0;  // the wire may omit a repeated status
    };
    static std::string Line(const std::string& port, bool out, uint32_t timeMs,
                            const std::vector<uint8_t>& bytes, bool unfinished);

    std::map<std::pair<std::string, bool>, Stream> streams_;
};

}  // namespace console
