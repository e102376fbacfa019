// The movie on the virtual clock: every frame and every played time waits
// for the ports, the clock moves to each played message's own time, and a
// wait that gives up or a Ctrl-C between frames ends the frames with an
// error naming the frame, stopMovie still running.
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
