// Runs lines as a script file runs, against the stand-in plug-in, and checks
// that every value made was released once.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "fake_session.h"

namespace console {

struct Outcome {
    std::string out;
    std::string err;
};

inline Outcome RunLines(const std::vector<std::string>& lines) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.SetWaiter([](int32_t) { return std::string(); });
        interpreter.RunScript(lines);
    }
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    EXPECT_EQ(host.BadReleases(), 0);
    EXPECT_EQ(host.BadUses(), 0);
    return {out.str(), err.str()};
}

}  // namespace console
