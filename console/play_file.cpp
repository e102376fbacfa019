#include "console/play_file.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "console/wire_reader.h"
#include "console/wire_text.h"

namespace console {
namespace {

struct Word {
    std::string text;
    size_t end;  // just after it in the line
};

std::vector<Word> Split(const std::string& line) {
    std::vector<Word> words;
    size_t i = 0;
    while ((i = line.find_first_not_of(" \t\r", i)) != std::string::npos) {
        const size_t end = std::min(line.find_first_of(" \t\r", i), line.size());
        words.push_back(Word{line.substr(i, end - i), end});
        i = end;
    }
    return words;
}

bool ReadTime(const std::string& word, uint32_t* time) {
    if (word.empty() || word.size() > 9 || !std::all_of(word.begin(), word.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return false;
    }
    *time = static_cast<uint32_t>(std::stoul(word));
    return true;
}

}  // namespace

bool ReadPlayFile(std::istream& in, std::vector<PlayMessage>* messages, std::string* error) {
    messages->clear();
    WireReader wire(messages);
    std::string line;
    for (int32_t number = 1; std::getline(in, line); ++number) {
        line.erase(std::min(std::min(line.find("--"), line.find('#')), line.size()));
        const std::vector<Word> words = Split(line);
        if (words.empty()) {
            continue;
        }
        const auto fail = [&](const auto&... parts) {
            *error = Cat("line ", std::to_string(number), ": ", parts...);
            return false;
        };
        uint32_t time = 0;
        size_t first = 0;
        if (!wire.InSysex()) {
            if (!ReadTime(words[0].text, &time)) {
                return fail("a line starts with the time in milliseconds (0 to 999999999), not \"",
                            words[0].text, "\"");
            }
            first = 1;
            if (words.size() == 1) {
                return fail(
                    "a time needs the bytes of a message, or unplug or replug and a "
                    "port's name, after it");
            }
            const std::string& verb = words[1].text;
            if (verb == "unplug" || verb == "replug") {
                const size_t from = line.find_first_not_of(" \t", words[1].end);
                const size_t to = line.find_last_not_of(" \t\r");
                if (from == std::string::npos) {
                    return fail(verb, " takes the name of a virtual port after it");
                }
                PlayMessage pull;
                pull.time = time;
                pull.kind =
                    verb == "unplug" ? PlayMessage::Kind::Unplug : PlayMessage::Kind::Replug;
                pull.port = line.substr(from, to + 1 - from);
                pull.line = number;
                messages->push_back(std::move(pull));
                continue;
            }
        }
        wire.StartLine(number, time);
        for (size_t w = first; w < words.size(); ++w) {
            uint8_t byte = 0;
            if (!ParseHex(words[w].text, &byte)) {
                if (w == 0) {
                    return fail("the system-exclusive message of line ",
                                std::to_string(wire.SysexLine()),
                                " goes on here, in bytes only (no time), until its F7; not \"",
                                words[w].text, "\"");
                }
                return fail("a byte is two hexadecimal digits",
                            w == 1 ? " (or the line holds unplug or replug and a port's name)" : "",
                            ", not \"", words[w].text, "\"");
            }
            std::string problem;
            if (!wire.Byte(byte, &problem)) {
                return fail(problem);
            }
        }
        std::string problem;
        if (!wire.EndLine(&problem)) {
            return fail(problem);
        }
    }
    if (in.bad()) {
        *error = "cannot be read";
        return false;
    }
    if (wire.InSysex()) {
        *error = Cat("line ", std::to_string(wire.SysexLine()),
                     ": this system-exclusive message ends with F7, and the file ends first");
        return false;
    }
    std::stable_sort(messages->begin(), messages->end(),
                     [](const PlayMessage& a, const PlayMessage& b) { return a.time < b.time; });
    return true;
}

}  // namespace console
