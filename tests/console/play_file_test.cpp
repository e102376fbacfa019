// --play files: the bytes read as the wire, cable pulls, and errors that
// name the line and what was expected.
#include "console/play_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace console {
namespace {

// "time@line bytes" or "time@line unplug NAME", one event after another.
std::string Describe(const std::vector<PlayMessage>& events) {
    std::string text;
    for (const PlayMessage& event : events) {
        text.append(text.empty() ? "" : "; ")
            .append(std::to_string(event.time))
            .append("@")
            .append(std::to_string(event.line));
        if (event.kind != PlayMessage::Kind::Bytes) {
            text.append(event.kind == PlayMessage::Kind::Unplug ? " unplug " : " replug ")
                .append(event.port);
        }
        for (uint8_t byte : event.bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", byte);
            text.append(hex);
        }
    }
    return text;
}

bool Read(const std::string& file, std::vector<PlayMessage>* events, std::string* error) {
    std::istringstream in(file);
    return ReadPlayFile(in, events, error);
}

TEST(ConsolePlayFile, MessagesInTimeOrder) {
    const std::string file(
        "-- a comment line\n"
        "\n"
        "200  90 3c 64   -- lower-case hex\n"
        "0    F0 43 10 4C F7\n"
        "100  C0 05  # program change\n"
        "100  F8\n"
        "100  E0 00 40\r\n");
    std::vector<PlayMessage> messages;
    std::string error;
    ASSERT_TRUE(Read(file, &messages, &error)) << error;
    ASSERT_EQ(messages.size(), 5u);
    const std::vector<uint32_t> times = {0, 100, 100, 100, 200};
    const std::vector<std::vector<uint8_t>> bytes = {{0xF0, 0x43, 0x10, 0x4C, 0xF7},
                                                     {0xC0, 0x05},
                                                     {0xF8},
                                                     {0xE0, 0x00, 0x40},
                                                     {0x90, 0x3C, 0x64}};
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].time, times[i]) << i;
        EXPECT_EQ(messages[i].bytes, bytes[i]) << i;
    }
}

TEST(ConsolePlayFile, LinesReadAsTheWire) {
    const struct {
        const char* file;
        const char* events;
    } cases[] = {
        // Several messages a line; running status repeats a channel status.
        {"0 90 3C 64 3E 64", "0@1 90 3C 64; 0@1 90 3E 64"},
        {"10 C0 05 06", "10@1 C0 05; 10@1 C0 06"},
        {"0 90 3C 64\n5 3E 00", "0@1 90 3C 64; 5@2 90 3E 00"},
        {"0 B0 07 7F C1 05 06 E0 00 40", "0@1 B0 07 7F; 0@1 C1 05; 0@1 C1 06; 0@1 E0 00 40"},
        // Real-time bytes keep running status and may interrupt a message.
        {"0 90 3C F8 64 3E FE 64", "0@1 F8; 0@1 90 3C 64; 0@1 FE; 0@1 90 3E 64"},
        {"0 90 3C 64\n1 F8 3E 64", "0@1 90 3C 64; 1@2 F8; 1@2 90 3E 64"},
        {"0 F2 10 00 F3 02 F1 33 F6 FF", "0@1 F2 10 00; 0@1 F3 02; 0@1 F1 33; 0@1 F6; 0@1 FF"},
        // A sysex over lines without times; real-time bytes inside it come
        // first, at its time; the line of its F7 may go on.
        {"7 F0 43 10\n  4C F8\n\n  -- inside\n  00 F7 F8\n9 F8",
         "7@2 F8; 7@1 F0 43 10 4C 00 F7; 7@5 F8; 9@6 F8"},
        {"0 F0 7E F7 F0 7F F7", "0@1 F0 7E F7; 0@1 F0 7F F7"},
        {"0 F0 01\n  02 F7 90 3C 64\n1 F8", "0@1 F0 01 02 F7; 0@2 90 3C 64; 1@3 F8"},
        // Pulls: the name runs to the end of the line or its comment.
        {"2000 unplug Loopback\n3000 replug Loop A  -- back\n2500 90 3C 64",
         "2000@1 unplug Loopback; 2500@3 90 3C 64; 3000@2 replug Loop A"},
        {"0 unplug  Stage  Keys #x\n0 F8", "0@1 unplug Stage  Keys; 0@2 F8"},
        // Equal times keep the file's order.
        {"5 F8\n0 FA\n5 FC\n0 FB", "0@2 FA; 0@4 FB; 5@1 F8; 5@3 FC"},
    };
    for (const auto& c : cases) {
        std::vector<PlayMessage> events;
        std::string error;
        EXPECT_TRUE(Read(c.file, &events, &error)) << c.file << ": " << error;
        EXPECT_EQ(Describe(events), c.events) << c.file;
    }
}

// A 4 KB dump written as a hex dump, 32 bytes a line, is one message.
TEST(ConsolePlayFile, ADumpOverManyLinesIsOneMessage) {
    std::vector<uint8_t> dump = {0xF0};
    for (int i = 0; i < 4094; ++i) {
        dump.push_back(static_cast<uint8_t>(i % 128));
    }
    dump.push_back(0xF7);
    std::string file = "100 90 3C 64\n250";
    for (size_t i = 0; i < dump.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", dump[i]);
        file.append(i % 32 == 0 && i > 0 ? "\n   " : "").append(hex);
    }
    file.append("\n300 F8\n");
    std::vector<PlayMessage> events;
    std::string error;
    ASSERT_TRUE(Read(file, &events, &error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].time, 250u);
    EXPECT_EQ(events[1].line, 2);
    EXPECT_EQ(events[1].bytes, dump);
    EXPECT_EQ(events[2].line, 2 + 4096 / 32);
}

TEST(ConsolePlayFile, ErrorsNameTheLineAndWhatWasExpected) {
    const struct {
        const char* file;
        const char* error;
    } cases[] = {
        {"0 F8\nx 90 3C 64",
         "line 2: a line starts with the time in milliseconds (0 to 999999999), not \"x\""},
        {"0 F8\n-5 90 3C 64",
         "line 2: a line starts with the time in milliseconds (0 to 999999999), not \"-5\""},
        {"0 F8\n1000000000 F8",
         "line 2: a line starts with the time in milliseconds (0 to 999999999), not "
         "\"1000000000\""},
        {"0 F8\n10",
         "line 2: a time needs the bytes of a message, or unplug or replug and a port's name, "
         "after it"},
        {"0 F8\n10 3C 64",
         "line 2: a message starts with a status byte (80 to FF), found 3C, and no running status "
         "is in force (a channel message sets it, a system message ends it)"},
        {"0 90 3C 64\n1 F0 01 F7 3C 64",
         "line 2: a message starts with a status byte (80 to FF), found 3C, and no running status "
         "is in force (a channel message sets it, a system message ends it)"},
        {"0 F8\n10 90 3C", "line 2: note-on takes 2 data bytes, this line has 1"},
        {"0 F8\n\n10 90", "line 3: note-on takes 2 data bytes, this line has 0"},
        {"0 80 3C", "line 1: note-off takes 2 data bytes, this line has 1"},
        {"0 A0 3C", "line 1: poly pressure takes 2 data bytes, this line has 1"},
        {"0 B0 07", "line 1: control change takes 2 data bytes, this line has 1"},
        {"0 C0", "line 1: program change takes 1 data byte, this line has 0"},
        {"0 D0", "line 1: channel pressure takes 1 data byte, this line has 0"},
        {"0 E0 00", "line 1: pitch bend takes 2 data bytes, this line has 1"},
        {"0 F2 00", "line 1: song position takes 2 data bytes, this line has 1"},
        {"0 F3", "line 1: song select takes 1 data byte, this line has 0"},
        {"0 F1", "line 1: time code quarter frame takes 1 data byte, this line has 0"},
        {"0 90 3C 64 3E",
         "line 1: note-on takes 2 data bytes, this line has 1 for the last one (running status)"},
        {"0 F8\n10 90 3C 80", "line 2: note-on takes 2 data bytes, found 80 after 1"},
        {"0 B0 07 F0 F7", "line 1: control change takes 2 data bytes, found F0 after 1"},
        {"0 F8\n10 F8 00", "line 2: clock takes no data bytes, found 00"},
        {"0 F6 01", "line 1: tune request takes no data bytes, found 01"},
        {"0 F8\n10 F4", "line 2: F4 is an undefined status byte: no message starts with it"},
        {"0 F5", "line 1: F5 is an undefined status byte: no message starts with it"},
        {"0 90 3C F9 64", "line 1: F9 is an undefined status byte: no message starts with it"},
        {"0 F0 01 FD 02 F7", "line 1: FD is an undefined status byte: no message starts with it"},
        {"0 F8\n10 F7", "line 2: F7 ends a system-exclusive message, and none is open"},
        {"0 F8\n10 F0 43 10",
         "line 2: this system-exclusive message ends with F7, and the file ends first"},
        {"0 F0 43\n  10 11\n  12",
         "line 1: this system-exclusive message ends with F7, and the "
         "file ends first"},
        {"0 F8\n10 F0 43 90 F7", "line 2: a system-exclusive message ends with F7, found 90"},
        {"0 F0 43\n 10\n 11 F0 F7",
         "line 3: a system-exclusive message ends with F7, found F0 (the message begins on "
         "line 1)"},
        {"0 F0 43\n100 F7",
         "line 2: the system-exclusive message of line 1 goes on here, in bytes only (no time), "
         "until its F7; not \"100\""},
        {"0 F0 43\n1 unplug Loopback",
         "line 2: the system-exclusive message of line 1 goes on here, in bytes only (no time), "
         "until its F7; not \"1\""},
        {"0 F8\n10 9",
         "line 2: a byte is two hexadecimal digits (or the line holds unplug or replug and a "
         "port's name), not \"9\""},
        {"0 F8\n10 90 3G 64", "line 2: a byte is two hexadecimal digits, not \"3G\""},
        {"0 F8\n10 903C64",
         "line 2: a byte is two hexadecimal digits (or the line holds unplug or replug and a "
         "port's name), not \"903C64\""},
        {"0 Unplug Loopback",
         "line 1: a byte is two hexadecimal digits (or the line holds unplug or replug and a "
         "port's name), not \"Unplug\""},
        {"0 unplug   -- nothing", "line 1: unplug takes the name of a virtual port after it"},
        {"0 F8\n5 replug", "line 2: replug takes the name of a virtual port after it"},
    };
    for (const auto& c : cases) {
        std::vector<PlayMessage> events;
        std::string error;
        EXPECT_FALSE(Read(c.file, &events, &error)) << c.file;
        EXPECT_EQ(error, c.error) << c.file;
    }
}

}  // namespace
}  // namespace console
