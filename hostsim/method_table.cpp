#include "hostsim/method_table.h"

#include "hostsim/names.h"

namespace hostsim {

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The line without its comment, split at spaces, tabs and commas.
std::vector<std::string_view> Words(std::string_view line) {
    const size_t comment = line.find("--");
    if (comment != std::string_view::npos) {
        line = line.substr(0, comment);
    }
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() &&
               (line[i] == ' ' || line[i] == '\t' || line[i] == ',' || line[i] == '\r')) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',' &&
               line[i] != '\r') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

}  // namespace

std::vector<MethodEntry> ReadMethodTable(std::string_view text) {
    std::vector<MethodEntry> methods;
    bool sawXtra = false;
    for (std::string_view line : Lines(text)) {
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) {
            continue;
        }
        if (!sawXtra && SameName(words[0], "xtra")) {
            sawXtra = true;
            continue;
        }
        const std::string_view code = line.substr(0, line.find("--"));
        int32_t commas = 0;
        for (const char c : code) {
            commas += c == ',' ? 1 : 0;
        }
        MethodEntry entry{std::string(words[0]), commas};
        // `Name object me, int portNumber, any message`: pairs after `me`.
        for (size_t i = 3; i + 1 < words.size(); i += 2) {
            entry.declared.push_back({std::string(words[i]), std::string(words[i + 1])});
        }
        methods.push_back(std::move(entry));
    }
    return methods;
}

std::string ReadXtraName(std::string_view text) {
    for (std::string_view line : Lines(text)) {
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) {
            continue;
        }
        if (SameName(words[0], "xtra") && words.size() > 1) {
            return std::string(words[1]);
        }
        return {};
    }
    return {};
}

}  // namespace hostsim
