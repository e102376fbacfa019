// simwinmm's control API: what tests and the host simulator use to set up the
// virtual MIDI devices and to look at what crossed them. The winmm functions
// themselves are declared in simwinmm/winmm_api.h.
//
// Every function here is called from the host's (or test's) thread. Devices
// are numbered as winmm numbers them: inputs 0.. and outputs 0.., in the
// order they were added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin/stack_behaviour.h"

namespace simwinmm {

// Closes every device that is still open, removes every port and clears
// every fault, hold, trace and recording. The clock goes back to real time.
void Reset();

// Add ports; each returns the new device's index.
uint32_t AddInputPort(const std::string& name);
uint32_t AddOutputPort(const std::string& name);
// One input and one output of the same name: what the output sends comes
// back on the input, from the input's driver thread.
struct PortPair {
    uint32_t input;
    uint32_t output;
};
PortPair AddLoopbackPort(const std::string& name);

// How the device of that port behaves where real stacks part from the
// documented behaviour (standin/stack_behaviour.h): the input fields for an
// input, the output fields for an output. Takes effect from the next message.
void SetInputStack(uint32_t input, const standin::StackBehaviour& stack);
void SetOutputStack(uint32_t output, const standin::StackBehaviour& stack);

// The capabilities query of that device answers MMSYSERR_ERROR while set.
void FailInputCaps(uint32_t input, bool fail);
void FailOutputCaps(uint32_t output, bool fail);

// Fail the n-th call (1 = the next one) of a winmm operation, by its name
// ("midiOutOpen", "midiInAddBuffer", ...), with the given result.
void FailCall(const std::string& operation, uint32_t nth, uint32_t result = 1 /*MMSYSERR_ERROR*/);
// Calls of an operation since the last Reset.
uint32_t CallCount(const std::string& operation);
// When the operation was last called: calls of all operations share one
// increasing count, so two answers tell which came later. 0: never.
uint64_t LastCallOrder(const std::string& operation);

// The latest bytes an output port sent (short messages and sysex, in wire
// order): at most its limit, kDefaultSentBytesLimit unless changed, so that a
// long session keeps bounded memory. A limit of 0 records nothing.
constexpr size_t kDefaultSentBytesLimit = size_t{1} << 20;
std::vector<uint8_t> SentBytes(uint32_t output);
void ClearSentBytes(uint32_t output);
void LimitSentBytes(uint32_t output, size_t limit);

// A busy device: long messages are taken but MOM_DONE is held back until
// released (or until midiOutReset, which completes every pending one).
void HoldOutputDone(uint32_t output, bool hold);
// Completes every held message, oldest first, and waits for the callbacks.
void ReleaseOutputDone(uint32_t output);
// Completes only the `count` oldest held messages, as a device that finishes
// one message at a time.
void ReleaseOldestOutputDone(uint32_t output, uint32_t count = 1);
// A slow device: from now on at most `afterBytes` more bytes of long messages
// go out, then the device stalls in the middle of a message (short messages
// queue behind it). midiOutReset cuts the message there: the rest of it, and
// every long message not begun, never goes out, and all are handed back.
void StallOutput(uint32_t output, uint32_t afterBytes);
void ResumeOutput(uint32_t output);
// A driver that loses what it holds: a reset forgets the held long messages
// without ever reporting them done (a close then succeeds).
void LoseOutputDoneOnReset(uint32_t output, bool lose);
// Long messages the device has taken and not yet reported done.
uint32_t PendingLongMessages(uint32_t output);
// Headers the app prepared on the open output and has not unprepared (those
// the driver lost do not count).
uint32_t PreparedOutputHeaders(uint32_t output);
// Headers still prepared by the app when their device closed, since Reset
// (those the driver lost do not count): each one an unprepare forgotten.
uint32_t HeadersLeftPrepared();

// Input injection, delivered from the device's driver thread in order.
// Short messages as winmm packs them (status in bits 0-7).
void InjectShort(uint32_t input, uint32_t packed);
// A whole sysex message, split over the queued buffers as a driver does.
void InjectSysEx(uint32_t input, const std::vector<uint8_t>& bytes);
// Exactly one buffer's worth (at most its length), returned with MIM_LONGDATA.
void InjectChunk(uint32_t input, const std::vector<uint8_t>& bytes);
// Bytes as they come off the cable, parsed as the device parses looped-back
// output: short messages, sysex in the queued buffers (as the port's stack
// behaviour hands them back), real-time bytes anywhere. No running status; a
// message left unfinished stays so until later bytes end it.
void InjectWire(uint32_t input, const std::vector<uint8_t>& bytes);
// One buffer returned with MIM_LONGERROR carrying these bytes.
void InjectLongError(uint32_t input, const std::vector<uint8_t>& bytes);
// Waits until the driver thread has delivered everything injected or looped
// back so far (or the deadline in milliseconds passes). False on timeout.
bool WaitIdle(uint32_t input, uint32_t timeoutMs = 5000);
// Waits until every port is settled: each input has delivered everything
// injected or looped back, and each output has everything it was given on the
// wire and every block reported done (MOM_DONE). False on timeout, with
// *busy saying which port was still at what.
bool WaitSettled(uint32_t timeoutMs, std::string* busy);
// Buffers the input device holds queued (added and not yet returned).
uint32_t QueuedInputBuffers(uint32_t input);

// A cable pulled: every port (input and output) of that name goes away as a
// driver removes an unplugged device. The remaining ports are numbered anew;
// an open device of a pulled port stays known by its handle, but every call
// on it answers as SetPullBehaviour says, no input arrives from it any more,
// and what it held is handed back (before this returns) or never returned.
// False when no port has that name.
bool UnplugPort(const std::string& name);
// Adds the pulled ports of that name back, after the others (so possibly
// under other numbers), closed. False when none is pulled.
bool ReplugPort(const std::string& name);

// How devices pulled from now on behave.
struct PullBehaviour {
    // What every call on a pulled device's handle answers: MMSYSERR_NODRIVER
    // (older stacks) or MMSYSERR_ERROR (newer ones).
    uint32_t result = 6;  // MMSYSERR_NODRIVER
    // Each such call answers only after this many milliseconds (real time).
    uint32_t delayMs = 0;
    // The buffers the device held (long messages taken, input buffers queued)
    // are handed back at the pull (MOM_DONE, MIM_LONGDATA), or never.
    bool returnBuffers = true;
    // Closing its handle answers `result` too, for good; otherwise the close
    // succeeds (and the device no longer touches anything it held).
    bool closeFails = false;
};
void SetPullBehaviour(const PullBehaviour& behaviour);
// Pulls the ports of that name as the n-th next call (1 = the next) of the
// winmm operation begins: that call already finds its device pulled.
void UnplugOnCall(const std::string& name, const std::string& operation, uint32_t nth);
// Pulled devices whose handle is still open (their close not yet succeeded).
uint32_t PulledDevicesOpen();
// Pulled devices whose close failed may close from now on.
void LetPulledDevicesClose();

// The millisecond clock. Frozen: timeGetTime() answers `ms` until changed.
void SetClock(uint32_t ms);
void AdvanceClock(uint32_t ms);
// Back to the real clock (monotonic milliseconds, wrapping at 2^32).
void UseRealClock();

// Every message that crosses a virtual port: the port's name, whether it went
// out (sent by the plug-in) or came in (delivered to it), and its bytes.
using TraceFn = void (*)(const char* port, bool out, const uint8_t* bytes, size_t count,
                         void* context);
void SetTrace(TraceFn trace, void* context);

}  // namespace simwinmm
