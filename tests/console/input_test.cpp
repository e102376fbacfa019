// The console's inputs besides scripts: --play files and the movie options.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/options.h"
#include "console/play_file.h"

namespace console {
namespace {

TEST(ConsolePlayFile, MessagesInTimeOrder) {
    std::istringstream in(
        "-- a comment line\n"
        "\n"
        "200  90 3c 64   -- lower-case hex\n"
        "0    F0 43 10 4C F7\n"
        "100  C0 05  # program change\n"
        "100  F8\n"
        "100  E0 00 40\r\n");
    std::vector<PlayMessage> messages;
    std::string error;
    ASSERT_TRUE(ReadPlayFile(in, &messages, &error)) << error;
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

TEST(ConsolePlayFile, EveryLineMustBeAWholeMessage) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"x 90 3C 64", "a line starts with the time in milliseconds"},
        {"-5 90 3C 64", "a line starts with the time in milliseconds"},
        {"1000000000 F8", "a line starts with the time in milliseconds"},
        {"10", "a time needs the bytes of a message after it"},
        {"10 3C 64", "a message starts with a status byte"},
        {"10 90 3C", "this message has 3 bytes"},
        {"10 C0 05 06", "this message has 2 bytes"},
        {"10 90 3C 80", "data bytes are 00 to 7F"},
        {"10 F8 00", "this message has 1 byte"},
        {"10 F4", "no message starts with this status byte"},
        {"10 F7", "no message starts with this status byte"},
        {"10 F0 43 10", "a system-exclusive message ends with F7"},
        {"10 F0 43 90 F7", "the data bytes of a system-exclusive message are 00 to 7F"},
        {"10 9", "a byte is two hexadecimal digits"},
        {"10 90 3G 64", "a byte is two hexadecimal digits"},
        {"10 903C64", "a byte is two hexadecimal digits"},
    };
    for (const auto& c : cases) {
        std::istringstream in(std::string("0 F8\n") + c.line + "\n");
        std::vector<PlayMessage> messages;
        std::string error;
        EXPECT_FALSE(ReadPlayFile(in, &messages, &error)) << c.line;
        EXPECT_EQ(error.rfind(std::string("line 2: ") + c.error, 0), 0u) << c.line << ": " << error;
    }
}

bool Parse(std::vector<const char*> args, Options* options, std::string* error) {
    args.insert(args.begin(), "tesmar-host");
    return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), "d",
                        options, error);
}

TEST(ConsoleOptions, MovieOptions) {
    Options options;
    std::string error;
    ASSERT_TRUE(
        Parse({"--fps", "10", "--frames", "6", "--play", "p.play", "s.script"}, &options, &error))
        << error;
    EXPECT_EQ(options.fps, 10);
    EXPECT_EQ(options.frames, 6);
    EXPECT_EQ(options.seconds, -1);
    EXPECT_EQ(options.playFile, "p.play");
    ASSERT_TRUE(Parse({"--seconds", "0.5"}, &options, &error)) << error;
    EXPECT_EQ(options.seconds, 0.5);
    EXPECT_EQ(options.frames, -1);
    EXPECT_EQ(options.fps, 30);

    const std::vector<std::vector<const char*>> bad = {
        {"--fps"},
        {"--fps", "0"},
        {"--fps", "1001"},
        {"--fps", "2.5"},
        {"--frames", "-1"},
        {"--frames", "x"},
        {"--frames", "1.5"},
        {"--seconds", "0"},
        {"--seconds", "-2"},
        {"--seconds", "1x"},
        {"--frames", "1", "--seconds", "1"},
        {"--play"},
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(Parse(args, &options, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

}  // namespace
}  // namespace console
