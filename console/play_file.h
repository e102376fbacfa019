// --play: timed MIDI messages to send into an input port while the movie
// plays. One message a line: its time in milliseconds from the movie's start
// and its bytes in hexadecimal, as they go on the wire:
//
//     0     90 3C 64      -- a note-on
//     250   F0 43 10 F7
//
// `--` or `#` starts a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace console {

struct PlayMessage {
    uint32_t time = 0;
    std::vector<uint8_t> bytes;
};

// In time order (lines of equal time keep their order). False with *error
// ("line N: ...") on the first line that is no complete MIDI message.
bool ReadPlayFile(std::istream& in, std::vector<PlayMessage>* messages, std::string* error);

}  // namespace console
