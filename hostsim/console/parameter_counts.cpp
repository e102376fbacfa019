#include <string>

#include "hostsim/console/session.h"

namespace console {

// Follows the loader's reading of a table: a comment runs from `--` to the end
// of the line, blank lines and the leading `xtra Name` line are no methods.
std::vector<int32_t> ParameterCounts(std::string_view methodTable) {
    std::vector<int32_t> counts;
    bool sawXtraLine = false;
    size_t start = 0;
    while (start <= methodTable.size()) {
        size_t end = methodTable.find('\n', start);
        if (end == std::string_view::npos) {
            end = methodTable.size();
        }
        std::string_view line = methodTable.substr(start, end - start);
        start = end + 1;
        const size_t comment = line.find("--");
        if (comment != std::string_view::npos) {
            line = line.substr(0, comment);
        }
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) {
            continue;
        }
        line = line.substr(first);
        if (!sawXtraLine && (line.rfind("xtra ", 0) == 0 || line.rfind("xtra\t", 0) == 0)) {
            sawXtraLine = true;
            continue;
        }
        int32_t commas = 0;
        for (char c : line) {
            commas += c == ',' ? 1 : 0;
        }
        counts.push_back(commas);
    }
    return counts;
}

}  // namespace console
