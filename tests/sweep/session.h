// The scripted sessions the fault sweep runs, one per child process: what a
// script author's movie does with the plug-in, through the module's exports
// and dispatch, with one fault injected. A run reports, line by line, what the
// script saw and what the host's accounting says at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sweep {

enum class SessionKind {
    // Init, both ports, filters, short messages, a 4-byte and a 600-byte
    // sysex, receive, close, reopen, receive, and both left open at the end.
    Examples,
    // An instance destroyed while the driver refuses to let its devices go,
    // then the module unloaded and the driver calling back.
    RefusingDriver,
    // The cable pulled while both ports are open and a sysex is on its way,
    // the ports closed, the cable plugged back in, listed and opened again on
    // the same instance, and used.
    PulledCable,
    // A stack that hands sysex back 6 bytes at a time with empty buffers
    // among them and a clock merged in every 65 bytes, and that takes output
    // blocks of at most 2,048 bytes and reports them done inside the send: a
    // dump out and back, a note behind it.
    RealStack,
};
const char* SessionName(SessionKind kind);

// Which call to fail: the n-th call of a host service operation, of a winmm
// operation, or of the registry; none when `operation` is empty.
struct Fault {
    enum class Where { None, Host, Winmm, Registry };
    Where where = Where::None;
    std::string operation;
    uint32_t nth = 0;
};

// Failable operations, by where they live. CountElements is not one: its
// answer is the count itself, so a host has no way to report a failure of it.
extern const std::vector<std::string> kHostOperations;
extern const std::vector<std::string> kWinmmOperations;
extern const std::vector<std::string> kRegistryOperations;

// Runs one session in this process and writes its report to `fd`:
//   step <n> <what the script saw>      one per script step
//   sent <message>                      how a message sent will read when received
//   recv <n> <message>                  a message received in step n
//   count <where> <operation> <calls>   calls made (the fault-free run's are the plan)
//   accounting <values> <blocks> <bad releases> <service references> <kept: 0|1>
//   end
void RunSession(SessionKind kind, const Fault& fault, const std::string& modulePath, int fd);

}  // namespace sweep
