// The stress program's side of the host: one script instance of the module,
// called by method name as a script would, with the values a script makes.
#pragma once

#include <cstdint>
#include <vector>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"

class Session {
public:
    Session(hostsim::SimHost& host, hostsim::LoadedModule& module, hostsim::ScriptObject& object)
        : host_(host), module_(module), object_(object) {}

    // Calls a method by name and releases `args`; the caller releases the result.
    ScriptValue Call(const char* method, std::vector<ScriptValue> args = {});
    // Calls and keeps only the integer (status #code, or a plain integer).
    int32_t CallCode(const char* method, std::vector<ScriptValue> args = {});
    // Calls by number with arguments the caller keeps; the caller releases the result.
    ScriptValue CallKeeping(int32_t method, const std::vector<ScriptValue>& args);
    int32_t MethodNumber(const char* method) const { return module_.MethodNumber(method); }

    // [#noteOn, channel, number, velocity], numbered so that `sequence`
    // can be read back from what arrives.
    ScriptValue NoteOn(int32_t sequence);
    static int32_t Sequence(int32_t channel, int32_t number, int32_t velocity) {
        return ((channel - 1) * 128 + number) * 127 + velocity - 1;
    }
    ScriptValue SysEx(int32_t manufacturer, const std::vector<int32_t>& data);
    // Element `position` of a property list or list, as an integer.
    int32_t IntegerAt(const ScriptValue& list, int32_t position);
    // The sequence number of a received [#type, #channel, #number, #velocity,
    // #timestamp], read as a script reads it; -1 when it is no such message.
    int32_t ReadNoteOn(const ScriptValue& message);
    // The 1-based number of the port named "Loopback" in the listing; 0 if none.
    int32_t FindLoopback(const char* listingMethod);

    hostsim::SimHost& host() { return host_; }
    hostsim::ScriptObject& object() { return object_; }

private:
    void Append(ScriptValue& list, ScriptValue value);

    hostsim::SimHost& host_;
    hostsim::LoadedModule& module_;
    hostsim::ScriptObject& object_;
};

// Calls of every host service operation made so far.
uint64_t ServiceCalls(const hostsim::SimHost& host);
