// An independent model of the input queue, for the queue fuzz target: what
// the writer's operations leave for the reader, written from the rules as a
// user of the queue sees them (records as whole messages, a byte budget, no
// positions). It shares no code with engine/.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class QueueModel {
public:
    void Allocate(uint32_t requestedSize);
    void SetTypeMask(int channel, uint8_t mask) { typeMask_[channel & 15] = mask; }
    void SetModeMask(int channel, uint8_t mask) { modeMask_[channel & 15] = mask; }

    // ---- writer
    void Short(uint8_t status, uint8_t data1, uint8_t data2, uint32_t time);
    void Chunk(const std::vector<uint8_t>& bytes, uint32_t time);  // start and continuation alike
    void Abandon();
    void EndCapture();

    // ---- reader
    void Flush();
    bool Overflowed();  // and clears
    bool Pending() const { return !published_.empty(); }
    // The oldest message as the message window prints it; "[:]" when none.
    std::string Next();

private:
    struct Record {
        std::vector<uint8_t> bytes;  // without the time
        uint32_t time;
    };

    uint32_t FreeAtWrite() const { return size_ - 1 - used_; }
    bool Passes(std::vector<uint8_t>& message) const;  // may turn a note-on into a note-off
    void Publish(std::vector<uint8_t> bytes, uint32_t time);
    bool Take(uint8_t byte);  // false when that gave the message up
    void End();
    void GiveUp();

    uint32_t size_ = 1024;
    uint32_t used_ = 0;  // bytes of published records, times included
    std::deque<Record> published_;
    bool assembling_ = false;
    std::vector<uint8_t> assembled_;
    uint32_t assembledTime_ = 0;
    bool overflowed_ = false;
    uint8_t typeMask_[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t modeMask_[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
};
