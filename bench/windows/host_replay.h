// The host service calls that the plug-in makes for one SendMessage of a
// note-on and for one GetNextMessage that returns one, made without the
// plug-in, in the same order, on the same stand-in host: the host's share of
// those calls, to be timed alone or beside bare winmm.
#pragma once

#include <string>
#include <vector>

#include "hostsim/sim_host.h"

class HostReplay {
public:
    explicit HostReplay(hostsim::SimHost& host);
    ~HostReplay();
    HostReplay(const HostReplay&) = delete;
    HostReplay& operator=(const HostReplay&) = delete;

    // SendMessage(args[0] = [#noteOn, c, n, v]): the loader's call, the type,
    // three integers, the status result (which the caller releases).
    ScriptValue Send(const std::vector<ScriptValue>& args);
    // GetNextMessage giving a note-on: the loader's call, and the message
    // with type, channel, number, velocity and timestamp (which the caller
    // releases).
    ScriptValue Read();

private:
    // What the loader does around every call: `me` as element 0.
    void LoaderCall(const std::vector<ScriptValue>& args);
    void AppendInteger(ScriptValue& propList, const ScriptValue& key, int32_t integer);

    hostsim::SimHost& host_;
    std::string tag_ = "Tesmar";
    // The plug-in's keys and type, made once as it makes them.
    ScriptValue code_, text_, type_, channel_, number_, velocity_, timestamp_, noteOn_;
};
