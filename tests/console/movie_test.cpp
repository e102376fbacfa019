// The movie: frames, played messages and pulls in order, on the virtual
// clock; every frame and every played time waits for the ports, and a wait
// that gives up, an error, halt or a Ctrl-C ends the frames with stopMovie
// still running.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "console/movie.h"
#include "fake_session.h"

namespace console {
namespace {

// Records what the movie does to the ports, and when.
class FakePorts : public MoviePorts {
public:
    explicit FakePorts(std::ostringstream& log) : log_(log) {}
    void Inject(const std::vector<uint8_t>& bytes) override {
        log_ << "inject " << static_cast<int>(bytes[0]) << "\n";
    }
    std::string Settle() override {
        ++waits;
        return {};
    }
    void Plug(const PlayMessage& pull) override {
        log_ << (pull.kind == PlayMessage::Kind::Replug ? "replug " : "unplug ") << pull.port
             << " of line " << pull.line << "\n";
    }
    int waits = 0;

private:
    std::ostringstream& log_;
};

PlayMessage Sent(uint32_t time, uint8_t status) {
    PlayMessage message;
    message.time = time;
    message.bytes = {status};
    return message;
}

PlayMessage Pulled(uint32_t time, PlayMessage::Kind kind, const char* port, int32_t line) {
    PlayMessage pull;
    pull.time = time;
    pull.kind = kind;
    pull.port = port;
    pull.line = line;
    return pull;
}

struct MovieRun {
    std::string log;
    std::string err;
    int waits;
};

MovieRun PlayMovieScript(const std::vector<std::string>& lines, MovieOptions options,
                         const std::vector<PlayMessage>& play, bool interrupt = false) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream log;
    std::ostringstream err;
    FakePorts ports(log);
    std::atomic<bool> interrupted{interrupt};
    {
        Interpreter interpreter(host, session, log, err);
        interpreter.SetInterrupt(&interrupted);
        interpreter.RunScript(lines);
        EXPECT_TRUE(DefinesMovie(interpreter));
        PlayMovie(interpreter, options, play, ports, interrupted);
    }
    EXPECT_FALSE(interrupted.load());
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    return {log.str(), err.str(), ports.waits};
}

const std::vector<std::string> kMovie = {
    "global gFrame",
    "on prepareMovie",
    "  put \"prepare\"",
    "end",
    "on startMovie",
    "  gFrame = 0",
    "end",
    "on enterFrame",
    "  gFrame = gFrame + 1",
    "end",
    "on exitFrame",
    "  put gFrame",
    "  if gFrame = 99 then halt",
    "  if gFrame = 98 then put 1 / 0",
    "end",
    "on stopMovie",
    "  put \"stop\" && gFrame",
    "end",
};

TEST(ConsoleMovie, FramesAndPlayedMessagesInOrder) {
    MovieOptions options;
    options.fps = 10;  // a frame every 100 ms
    options.frames = 3;
    // 0 arrives before frame 1, 100 before frame 2, 150 and 200 before 3,
    // 300 never: the movie ends first. Cable pulls go in order with them.
    using Kind = PlayMessage::Kind;
    const std::vector<PlayMessage> play = {Sent(0, 0x90),   Sent(100, 0x91),
                                           Sent(150, 0x92), Pulled(150, Kind::Unplug, "Loop A", 7),
                                           Sent(200, 0x93), Pulled(200, Kind::Replug, "Loop A", 8),
                                           Sent(300, 0x94), Pulled(300, Kind::Unplug, "Keys", 9)};
    const MovieRun run = PlayMovieScript(kMovie, options, play);
    EXPECT_EQ(run.log,
              "-- \"prepare\"\ninject 144\n-- 1\ninject 145\n-- 2\ninject 146\n"
              "unplug Loop A of line 7\ninject 147\nreplug Loop A of line 8\n"
              "-- 3\n-- \"stop 3\"\n");
    EXPECT_EQ(run.err, "");
    // Before each frame, after each time's messages, and before stopMovie.
    EXPECT_EQ(run.waits, 8);
}

TEST(ConsoleMovie, HaltErrorsAndInterruptEndTheFramesButStopMovieRuns) {
    std::vector<std::string> failing = kMovie;
    failing[5] = "  gFrame = 97";
    MovieOptions options;
    options.frames = 10;
    const MovieRun failed = PlayMovieScript(failing, options, {});
    EXPECT_EQ(failed.log, "-- \"prepare\"\n-- 98\n-- \"stop 98\"\n");
    EXPECT_EQ(failed.err, "line 14, column 29: division by zero\n");

    std::vector<std::string> halting = kMovie;
    halting[5] = "  gFrame = 98";
    const MovieRun halted = PlayMovieScript(halting, options, {});
    EXPECT_EQ(halted.log, "-- \"prepare\"\n-- 99\n-- \"stop 99\"\n");
    EXPECT_EQ(halted.err, "");

    options.frames = -1;  // by the clock, until halt
    options.fps = 1000;
    const MovieRun byClock = PlayMovieScript(halting, options, {});
    EXPECT_EQ(byClock.log, halted.log);
    const MovieRun pulledByClock =
        PlayMovieScript(halting, options, {Pulled(0, PlayMessage::Kind::Unplug, "Keys", 3)});
    EXPECT_EQ(pulledByClock.log, "-- \"prepare\"\nunplug Keys of line 3\n-- 99\n-- \"stop 99\"\n");

    // Interrupted from the start: prepareMovie stops at once, stopMovie runs.
    const MovieRun interrupted = PlayMovieScript(kMovie, options, {}, true);
    EXPECT_EQ(interrupted.log, "-- \"stop \"\n");
    EXPECT_EQ(interrupted.err, "line 2, column 1: interrupted\n");
}

TEST(ConsoleMovie, InterruptStopsALoop) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    std::atomic<bool> interrupted{true};
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.SetInterrupt(&interrupted);
        interpreter.RunScript({"repeat while 1", "end repeat"});
    }
    EXPECT_EQ(err.str(), "line 1, column 1: interrupted\n");
}

// Logs the clock and the injections; Settle fails, or raises the interrupt,
// at the call numbered so (0: never).
class ClockPorts : public MoviePorts {
public:
    ClockPorts(std::ostringstream& log, std::atomic<bool>& interrupt)
        : log_(log), interrupt_(interrupt) {}
    void Inject(const std::vector<uint8_t>& bytes) override {
        log_ << "inject " << static_cast<int>(bytes[0]) << " at " << now << "\n";
    }
    std::string Settle() override {
        ++settles;
        if (settles == interruptAt) {
            interrupt_.store(true);
        }
        return settles == failAt ? "output \"Synth\": 1 block not yet reported done" : "";
    }
    void AdvanceClock(uint32_t ms) override { now = ms; }
    void Plug(const PlayMessage& pull) override { log_ << "plug " << pull.port << "\n"; }

    uint32_t now = 0;
    int settles = 0;
    int failAt = 0;
    int interruptAt = 0;

private:
    std::ostringstream& log_;
    std::atomic<bool>& interrupt_;
};

const std::vector<std::string> kFrames = {
    "on enterFrame",
    "  put \"frame\" && the frame && \"at\" && the milliseconds",
    "end",
    "on stopMovie",
    "  put \"stop\" && the frame",  // the last frame played
    "end",
};

struct Played {
    std::string log;
    std::string err;
};

Played Play(int failAt, int interruptAt) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream log;
    std::ostringstream err;
    std::atomic<bool> interrupt{false};
    ClockPorts ports(log, interrupt);
    ports.failAt = failAt;
    ports.interruptAt = interruptAt;
    {
        Interpreter interpreter(host, session, log, err);
        interpreter.SetClock([&ports] { return int64_t{ports.now}; });
        interpreter.RunScript(kFrames);
        MovieOptions options;
        options.fps = 20;  // a frame every 50 ms
        options.frames = 3;
        std::vector<PlayMessage> play(3);
        const uint32_t times[] = {30, 30, 70};
        const uint8_t statuses[] = {0x90, 0x91, 0xF8};
        for (size_t i = 0; i < play.size(); ++i) {
            play[i].time = times[i];
            play[i].bytes = {statuses[i]};
        }
        PlayMovie(interpreter, options, play, ports, interrupt);
    }
    EXPECT_FALSE(interrupt.load());
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    return {log.str(), err.str()};
}

TEST(ConsoleMovieClock, MessagesAtTheirTimeFramesAtTheirsAndWaitsThatGiveUpEndTheFrames) {
    const struct {
        const char* name;
        int failAt;
        int interruptAt;
        std::string log;
        std::string err;
    } cases[] = {
        {"all settle", 0, 0,
         "-- \"frame 1 at 0\"\ninject 144 at 30\ninject 145 at 30\n-- \"frame 2 at 50\"\n"
         "inject 248 at 70\n-- \"frame 3 at 100\"\n-- \"stop 3\"\n",
         ""},
        // Settles: 1 before frame 1, 2 before frame 2, 3 after the 30 ms messages.
        {"the ports still busy after the played messages", 3, 0,
         "-- \"frame 1 at 0\"\ninject 144 at 30\ninject 145 at 30\n-- \"stop 1\"\n",
         "frame 2: output \"Synth\": 1 block not yet reported done\n"},
        {"interrupted between frames", 0, 2,
         "-- \"frame 1 at 0\"\ninject 144 at 30\ninject 145 at 30\n-- \"stop 1\"\n",
         "frame 2: interrupted\n"},
    };
    for (const auto& c : cases) {
        const Played run = Play(c.failAt, c.interruptAt);
        EXPECT_EQ(run.log, c.log) << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
    }
}

}  // namespace
}  // namespace console
