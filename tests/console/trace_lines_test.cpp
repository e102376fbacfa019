// The trace reads each port's bytes as the wire: whatever pieces a driver
// handled them in, one line per message.
#include "console/trace_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace console {
namespace {

struct Piece {
    const char* port;
    bool out;
    uint32_t timeMs;
    std::vector<uint8_t> bytes;
};

std::vector<std::string> Trace(const std::vector<Piece>& pieces) {
    TraceLines trace;
    std::vector<std::string> lines;
    for (const Piece& piece : pieces) {
        for (std::string& line :
             trace.Add(TraceRecord{piece.port, piece.out, piece.timeMs, piece.bytes})) {
            lines.push_back(std::move(line));
        }
    }
    for (std::string& line : trace.Finish()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<uint8_t> SysEx(size_t dataBytes) {
    std::vector<uint8_t> bytes = {0xF0};
    for (size_t i = 0; i < dataBytes; ++i) {
        bytes.push_back(static_cast<uint8_t>(i & 0x7F));
    }
    bytes.push_back(0xF7);
    return bytes;
}

TEST(ConsoleTrace, OneLinePerMessageWhateverThePieces) {
    const std::vector<uint8_t> dump = SysEx(4094);
    const std::vector<uint8_t> first(dump.begin(), dump.begin() + 512);
    const std::vector<uint8_t> rest(dump.begin() + 512, dump.end());
    const std::string dumpLine =
        " F0 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E ... 7B 7C 7D F7 (4096 bytes)";
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        std::vector<std::string> lines;
    } cases[] = {
        {"short messages as sent",
         {{"Loop", true, 5, {0x90, 0x3C, 0x64}}, {"Loop", true, 6, {0xC0, 0x05}}},
         {"5 ms Loop out: 90 3C 64", "6 ms Loop out: C0 05"}},
        {"a dump in buffers is one line, at the time of its start",
         {{"Keys", false, 10, first}, {"Keys", false, 30, rest}},
         {"10 ms Keys in:" + dumpLine}},
        {"two messages packed into one buffer",
         {{"Keys", false, 1, {0xF0, 0x43, 0xF7, 0x90, 0x3C, 0x64}}},
         {"1 ms Keys in: F0 43 F7", "1 ms Keys in: 90 3C 64"}},
        {"real time inside a sysex is its own line, first",
         {{"Keys", false, 1, {0xF0, 0x43}}, {"Keys", false, 2, {0xF8, 0x10, 0xF7}}},
         {"2 ms Keys in: F8", "1 ms Keys in: F0 43 10 F7"}},
        {"running status repeats the status",
         {{"Keys", false, 1, {0x90, 0x3C, 0x64, 0x3E, 0x64}}},
         {"1 ms Keys in: 90 3C 64", "1 ms Keys in: 90 3E 64"}},
        {"directions and ports are apart",
         {{"A", true, 1, {0xF0, 0x01}},
          {"A", false, 2, {0xF8}},
          {"B", true, 3, {0xF0, 0x02}},
          {"A", true, 4, {0xF7}},
          {"B", true, 5, {0xF7}}},
         {"2 ms A in: F8", "1 ms A out: F0 01 F7", "3 ms B out: F0 02 F7"}},
        {"a sysex cut by a status byte, and one never ended",
         {{"A", true, 1, {0xF0, 0x01, 0x02, 0x80, 0x3C, 0x00, 0xF0, 0x05}}},
         {"1 ms A out: F0 01 02 (3 bytes, unfinished)", "1 ms A out: 80 3C 00",
          "1 ms A out: F0 05 (2 bytes, unfinished)"}},
        {"stray bytes shown as they came",
         {{"A", false, 1, {0x40, 0xF7}}},
         {"1 ms A in: 40 (1 byte, unfinished)", "1 ms A in: F7 (1 byte, unfinished)"}},
        {"32 bytes shown whole", {{"A", true, 0, SysEx(30)}}, {[] {
             std::string line = "0 ms A out: F0";
             for (int i = 0; i < 30; ++i) {
                 static const char kHex[] = "0123456789ABCDEF";
                 line += ' ';
                 line += kHex[i >> 4];
                 line += kHex[i & 0x0F];
             }
             return line + " F7";
         }()}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Trace(c.pieces), c.lines) << c.name;
    }
}

}  // namespace
}  // namespace console
