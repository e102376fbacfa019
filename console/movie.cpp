#include "console/movie.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace console {
namespace {

constexpr const char* kMovieHandlers[] = {"prepareMovie", "startMovie", "enterFrame", "exitFrame",
                                          "stopMovie"};

bool Ok(Interpreter::EventResult result) {
    return result == Interpreter::EventResult::Done;
}

void CarryOut(const PlayMessage& event, MoviePorts& ports) {
    if (event.kind == PlayMessage::Kind::Bytes) {
        ports.Inject(event.bytes);
    } else {
        ports.Plug(event);
    }
}

bool RunFrame(Interpreter& interpreter) {
    return Ok(interpreter.CallEvent("enterFrame")) && Ok(interpreter.CallEvent("exitFrame"));
}

uint32_t FrameTime(int64_t frame, int32_t fps) {
    return static_cast<uint32_t>(frame * 1000 / fps);
}

// False after reporting that the ports did not settle.
bool Settle(Interpreter& interpreter, MoviePorts& ports, int64_t frame) {
    const std::string error = ports.Settle();
    if (!error.empty()) {
        interpreter.ReportError("frame " + std::to_string(frame + 1) + ": " + error);
    }
    return error.empty();
}

void PlayFrames(Interpreter& interpreter, const MovieOptions& options,
                const std::vector<PlayMessage>& play, MoviePorts& ports,
                const std::atomic<bool>& interrupt) {
    size_t next = 0;
    for (int64_t frame = 0; frame < options.frames; ++frame) {
        // What the last frame sent arrives before what is played in now, and
        // each played message at its own time.
        if (!Settle(interpreter, ports, frame)) {
            return;
        }
        while (next < play.size() && int64_t{play[next].time} * options.fps <= frame * 1000) {
            const uint32_t time = play[next].time;
            ports.AdvanceClock(time);
            while (next < play.size() && play[next].time == time) {
                CarryOut(play[next++], ports);
            }
            if (!Settle(interpreter, ports, frame)) {
                return;
            }
        }
        ports.AdvanceClock(FrameTime(frame, options.fps));
        if (interrupt.load()) {
            interpreter.ReportError("frame " + std::to_string(frame + 1) + ": interrupted");
            return;
        }
        interpreter.SetFrame(static_cast<int32_t>(frame + 1));
        if (!RunFrame(interpreter)) {
            return;
        }
    }
    Settle(interpreter, ports, options.frames);
}

void PlayByTheClock(Interpreter& interpreter, const MovieOptions& options,
                    const std::vector<PlayMessage>& play, MoviePorts& ports,
                    const std::atomic<bool>& interrupt) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const int64_t frames = options.seconds < 0 ? -1 : std::llround(options.seconds * options.fps);
    size_t next = 0;
    for (int64_t frame = 0; frames < 0 || frame < frames; ++frame) {
        const Clock::time_point due =
            start + std::chrono::microseconds(frame * 1000000 / options.fps);
        while (next < play.size()) {
            const Clock::time_point at = start + std::chrono::milliseconds(play[next].time);
            if (at > due) {
                break;
            }
            std::this_thread::sleep_until(at);
            CarryOut(play[next++], ports);
        }
        std::this_thread::sleep_until(due);
        if (interrupt.load()) {
            interpreter.ReportError("frame " + std::to_string(frame + 1) + ": interrupted");
            return;
        }
        interpreter.SetFrame(static_cast<int32_t>(frame + 1));
        if (!RunFrame(interpreter)) {
            return;
        }
    }
}

}  // namespace

bool DefinesMovie(const Interpreter& interpreter) {
    for (const char* name : kMovieHandlers) {
        if (interpreter.HasHandler(name)) {
            return true;
        }
    }
    return false;
}

void PlayMovie(Interpreter& interpreter, const MovieOptions& options,
               const std::vector<PlayMessage>& play, MoviePorts& ports,
               std::atomic<bool>& interrupt) {
    if (Ok(interpreter.CallEvent("prepareMovie")) && Ok(interpreter.CallEvent("startMovie")) &&
        !interrupt.load()) {
        if (options.frames >= 0) {
            PlayFrames(interpreter, options, play, ports, interrupt);
        } else {
            PlayByTheClock(interpreter, options, play, ports, interrupt);
        }
    }
    interrupt.store(false);
    interpreter.CallEvent("stopMovie");
    interpreter.SetFrame(0);
}

}  // namespace console
