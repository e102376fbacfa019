// The --play reader on arbitrary text. Nothing may crash or hang; an error
// names a line of the file; what it reads is what the movie can carry out:
// events in time order, each a whole message as the wire carries it (a short
// message of its status's length, a sysex from F0 to F7 with data bytes
// between, a real-time byte alone) or a pull of a named port.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "console/play_file.h"
#include "standin/message_length.h"

namespace {

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "BROKEN: %s\n", what.c_str());
    std::abort();
}

void CheckMessage(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || bytes[0] < 0x80) {
        Broken("a message without its status byte");
    }
    const uint8_t status = bytes[0];
    if (standin::IsUndefinedStatus(status) || status == 0xF7) {
        Broken("a message starting with an undefined status or F7");
    }
    if (status == 0xF0) {
        if (bytes.size() < 2 || bytes.back() != 0xF7) {
            Broken("a sysex that does not end with F7");
        }
        for (size_t i = 1; i + 1 < bytes.size(); ++i) {
            if (bytes[i] >= 0x80) {
                Broken("a status byte inside a sysex");
            }
        }
        return;
    }
    if (bytes.size() != standin::WireLength(status)) {
        Broken("a short message of the wrong length");
    }
    for (size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] >= 0x80) {
            Broken("a status byte among data bytes");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t lines = 1;
    for (char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    std::istringstream in(text);
    std::vector<console::PlayMessage> events;
    std::string error;
    if (!console::ReadPlayFile(in, &events, &error)) {
        const size_t at =
            error.rfind("line ", 0) == 0 ? std::strtoul(error.c_str() + 5, nullptr, 10) : 0;
        if (at < 1 || at > lines) {
            Broken("an error that names no line of the file: " + error);
        }
        return 0;
    }
    uint32_t previous = 0;
    for (const console::PlayMessage& event : events) {
        if (event.time < previous) {
            Broken("events out of time order");
        }
        previous = event.time;
        if (event.line < 1 || static_cast<size_t>(event.line) > lines) {
            Broken("an event from no line of the file");
        }
        if (event.kind == console::PlayMessage::Kind::Bytes) {
            CheckMessage(event.bytes);
        } else if (event.port.empty()) {
            Broken("a pull that names no port");
        }
    }
    return 0;
}
