// --play: what goes on while the movie plays. Each line starts with its time
// in milliseconds from the movie's start, then holds bytes in hexadecimal as
// they go on the wire (several messages, running status, real-time bytes
// anywhere), or `unplug NAME` / `replug NAME`, a cable pulled or plugged back:
//
//     0     90 3C 64 3E 64    -- two note-ons, the second by running status
//     250   F0 43 10 4C       -- a system-exclusive message ...
//           00 00 7E 00 F7    -- ... goes on in lines of bytes only
//     2000  unplug Loopback
//
// A line inside a system-exclusive message has no time: it is the message's.
// `--` or `#` starts a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace console {

struct PlayMessage {
    enum class Kind : uint8_t { Bytes, Unplug, Replug };
    uint32_t time = 0;
    std::vector<uint8_t> bytes;  // Bytes: one whole message, its status first
    Kind kind = Kind::Bytes;
    std::string port;  // Unplug, Replug: the virtual port's name
    int32_t line = 0;  // where it is written (a sysex: where it begins)
};

// In time order (events of equal time keep the file's order). False with
// *error ("line N: ...") on the first line that breaks the wire's rules.
bool ReadPlayFile(std::istream& in, std::vector<PlayMessage>* messages, std::string* error);

}  // namespace console
