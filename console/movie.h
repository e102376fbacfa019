// The movie as the host plays it: prepareMovie and startMovie once, then
// enterFrame and exitFrame every frame, then stopMovie.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "console/play_file.h"

namespace console {

struct MovieOptions {
    int32_t fps = 30;
    // --frames: this many frames, as fast as the ports deliver (no clock).
    int64_t frames = -1;
    // --seconds: by the clock, seconds * fps frames; neither: until `halt`
    // or an interrupt.
    double seconds = -1;
};

// What the movie needs of the MIDI ports.
class MoviePorts {
public:
    virtual ~MoviePorts() = default;
    // One message's wire bytes into the input port --play feeds.
    virtual void Inject(const std::vector<uint8_t>& bytes) = 0;
    // Pulls the cable of the virtual port `pull.port` names, or plugs it back
    // (pull.kind); reports a failure itself, as the movie goes on without it.
    virtual void Plug(const PlayMessage& pull) = 0;
    // Until everything sent or injected so far was delivered and every block
    // sent reported done; at the deadline, what was still under way.
    virtual std::string Settle() = 0;
    // Under --frames: the virtual clock moves on to `ms` from the movie's start.
    virtual void AdvanceClock(uint32_t /*ms*/) {}
};

// The script has a movie handler: the console plays the movie.
bool DefinesMovie(const Interpreter& interpreter);

// Plays it. Under --frames the clock is virtual: frame n (from 0) is at
// n * 1000 / fps ms, a message of the play list arrives at its own time
// before the first frame at or after it, and every frame starts once the
// ports settled, so the same script gives the same output on any machine. A
// run-time error in a handler, `halt`, ports that do not settle by the
// deadline or the interrupt (which is cleared then) end the frames, the last
// two with an error "frame N: ..."; stopMovie still runs.
void PlayMovie(Interpreter& interpreter, const MovieOptions& options,
               const std::vector<PlayMessage>& play, MoviePorts& ports,
               std::atomic<bool>& interrupt);

}  // namespace console
