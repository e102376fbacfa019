#include "console/trace_lines.h"

#include "console/wire_text.h"
#include "standin/message_length.h"

namespace console {
namespace {

// Longer messages show their start and end around their byte count.
constexpr size_t kWholeUpTo = 32;
constexpr size_t kHead = 16;
constexpr size_t kTail = 4;

void AppendByte(std::string& text, uint8_t byte) {
    text += ' ';
    AppendHex(text, byte);
}

}  // namespace

std::string TraceLines::Line(const std::string& port, bool out, uint32_t timeMs,
                             const std::vector<uint8_t>& bytes, bool unfinished) {
    std::string text = std::to_string(timeMs);
    text.append(" ms ").append(port).append(out ? " out:" : " in:");
    if (bytes.size() <= kWholeUpTo) {
        for (uint8_t byte : bytes) {
            AppendByte(text, byte);
        }
    } else {
        for (size_t i = 0; i < kHead; ++i) {
            AppendByte(text, bytes[i]);
        }
        text.append(" ...");
        for (size_t i = bytes.size() - kTail; i < bytes.size(); ++i) {
            AppendByte(text, bytes[i]);
        }
    }
    if (bytes.size() > kWholeUpTo || unfinished) {
        text.append(" (").append(std::to_string(bytes.size()));
        text.append(bytes.size() == 1 ? " byte" : " bytes");
        text.append(unfinished ? ", unfinished)" : ")");
    }
    return text;
}

std::vector<std::string> TraceLines::Add(const TraceRecord& record) {
    std::vector<std::string> lines;
    Stream& s = streams_[{record.port, record.out}];
    const auto emit = [&](bool unfinished) {
        lines.push_back(Line(record.port, record.out, s.timeMs, s.message, unfinished));
        s.message.clear();
    };
    const auto start = [&](uint8_t status) {
        if (!s.message.empty()) {
            emit(true);
        }
        s.message.push_back(status);
        s.timeMs = record.timeMs;
    };
    for (uint8_t byte : record.bytes) {
        const bool inSysEx = !s.message.empty() && s.message[0] == 0xF0;
        if (byte >= 0xF8) {
            // Real time goes between any two bytes, and is a message of its own.
            lines.push_back(Line(record.port, record.out, record.timeMs, {byte}, false));
            continue;
        }
        if (byte == 0xF7 && inSysEx) {
            s.message.push_back(byte);
            emit(false);
            continue;
        }
        if (byte >= 0x80) {
            start(byte);
            s.runningStatus = byte < 0xF0 ? byte : 0;
        } else if (inSysEx || !s.message.empty()) {
            s.message.push_back(byte);
        } else if (s.runningStatus != 0) {
            start(s.runningStatus);
            s.message.push_back(byte);
        } else {
            start(byte);  // a data byte with no status: shown as it came
            emit(true);
            continue;
        }
        const uint8_t status = s.message[0];
        if (status != 0xF0 && s.message.size() >= standin::WireLength(status)) {
            emit(status == 0xF7);
        }
    }
    return lines;
}

std::vector<std::string> TraceLines::Finish() {
    std::vector<std::string> lines;
    for (auto& [key, s] : streams_) {
        if (!s.message.empty()) {
            lines.push_back(Line(key.first, key.second, s.timeMs, s.message, true));
            s.message.clear();
        }
    }
    return lines;
}

}  // namespace console
