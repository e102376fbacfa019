// The engine benchmarks' engine: the platform stubbed out, input open.
#pragma once

#include "hostsim/sim_host.h"
#include "tests/common/stub_engine.h"

class BenchEngine : public StubEngine {
public:
    explicit BenchEngine(hostsim::SimHost& host)
        : BenchEngine(host.values(), host.lists(), host.memory()) {}
    BenchEngine(HostValueService& values, HostListService& lists, HostMemoryService& memory)
        : StubEngine(values, lists, memory) {
        OpenInput(0, 1 << 16);
    }
};
