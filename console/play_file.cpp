#include "console/play_file.h"

#include <algorithm>
#include <cctype>

#include "standin/message_length.h"

namespace console {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Checks one message; empty when it is whole, else what is wrong.
std::string Check(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
        return "a time needs the bytes of a message after it";
    }
    const uint8_t status = bytes[0];
    if (status < 0x80) {
        return "a message starts with a status byte (80 to FF)";
    }
    if (status == 0xF0) {
        if (bytes.size() < 2 || bytes.back() != 0xF7) {
            return "a system-exclusive message ends with F7";
        }
        for (size_t i = 1; i + 1 < bytes.size(); ++i) {
            if (bytes[i] >= 0x80) {
                return "the data bytes of a system-exclusive message are 00 to 7F";
            }
        }
        return {};
    }
    // The undefined status bytes start no message a play file may send.
    const size_t length = standin::IsUndefinedStatus(status) ? 0 : standin::WireLength(status);
    if (length == 0) {
        return "no message starts with this status byte";
    }
    if (bytes.size() != length) {
        return "this message has " + std::to_string(length) + " byte" + (length == 1 ? "" : "s");
    }
    for (size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] >= 0x80) {
            return "data bytes are 00 to 7F";
        }
    }
    return {};
}

}  // namespace

bool ReadPlayFile(std::istream& in, std::vector<PlayMessage>* messages, std::string* error) {
    messages->clear();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const size_t comment = std::min(line.find("--"), line.find('#'));
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        std::vector<std::string> words;
        size_t i = 0;
        while (true) {
            i = line.find_first_not_of(" \t\r", i);
            if (i == std::string::npos) {
                break;
            }
            const size_t end = std::min(line.find_first_of(" \t\r", i), line.size());
            words.push_back(line.substr(i, end - i));
            i = end;
        }
        if (words.empty()) {
            continue;
        }
        const auto fail = [&](const std::string& message) {
            *error = "line " + std::to_string(number) + ": " + message;
            return false;
        };
        PlayMessage message;
        const std::string& time = words[0];
        if (time.size() > 9 || !std::all_of(time.begin(), time.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            return fail("a line starts with the time in milliseconds (0 to 999999999), not \"" +
                        time + "\"");
        }
        message.time = static_cast<uint32_t>(std::stoul(time));
        for (size_t w = 1; w < words.size(); ++w) {
            const std::string& word = words[w];
            if (word.size() != 2 || HexDigit(word[0]) < 0 || HexDigit(word[1]) < 0) {
                return fail("a byte is two hexadecimal digits, not \"" + word + "\"");
            }
            message.bytes.push_back(
                static_cast<uint8_t>(HexDigit(word[0]) * 16 + HexDigit(word[1])));
        }
        const std::string problem = Check(message.bytes);
        if (!problem.empty()) {
            return fail(problem);
        }
        messages->push_back(std::move(message));
    }
    if (in.bad()) {
        *error = "cannot be read";
        return false;
    }
    std::stable_sort(messages->begin(), messages->end(),
                     [](const PlayMessage& a, const PlayMessage& b) { return a.time < b.time; });
    return true;
}

}  // namespace console
