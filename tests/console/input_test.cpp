// The console's options besides the script: the movie's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/options.h"

namespace console {
namespace {

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
