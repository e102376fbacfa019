// Reading a method table text as the host reads the one a plug-in registers
// under msgTable: the loader numbers the methods from it, the console checks
// how many arguments a call takes. Pure functions of the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

struct MethodParameter {
    std::string type;  // int, any, ...
    std::string name;  // portNumber
};

struct MethodEntry {
    std::string name;
    int32_t parameters;                          // after the object itself: the line's commas
    std::vector<MethodParameter> declared = {};  // after the object itself
};

// The methods in order, numbered from 0. Comments (`--` to the end of the
// line), blank lines and the leading `xtra Name` line (any case) are none.
std::vector<MethodEntry> ReadMethodTable(std::string_view text);
// The script name from the `xtra Name` line; empty if there is none.
std::string ReadXtraName(std::string_view text);

}  // namespace hostsim
