// Standard error, written a whole line at a time. The console's errors, the
// prompt's messages and the trace all go through one writer, so a line is
// never cut by another. Driver threads only queue their trace records (no
// I/O on them, so standard error read late never holds a delivery up); a
// thread of the writer's own formats and writes them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "console/trace_lines.h"

namespace console {

class ErrorLines {
public:
    ErrorLines();
    ~ErrorLines();  // writes what is still queued
    ErrorLines(const ErrorLines&) = delete;
    ErrorLines& operator=(const ErrorLines&) = delete;

    // The one for the program's standard error.
    static ErrorLines& Instance();

    // Trace records go to `file` (owned, closed at the end), or, when null,
    // to standard error among the other lines.
    void SetTraceFile(std::FILE* file);

    // Any thread (driver threads included): queues one crossing of a port.
    // Beyond a million records waiting (standard error not read at all), the
    // rest are counted, not kept, and the count is written when it is read.
    void Trace(TraceRecord record);
    // The script's thread: the trace queued so far first, then `line` (a
    // newline is added).
    void Write(const std::string& line);
    // Until everything queued is written.
    void Flush();

private:
    void Drain(std::unique_lock<std::mutex>& out);
    void Run();

    std::mutex out_;  // held while writing; taken before queue_
    TraceLines lines_;
    std::FILE* traceFile_ = nullptr;

    std::mutex queue_;  // held only to move records in or out
    std::condition_variable wake_;
    std::vector<TraceRecord> pending_;
    uint64_t lost_ = 0;  // records beyond kMostPending, while nothing read them
    bool stopping_ = false;
    std::thread thread_;
};

// An ostream over ErrorLines::Instance(): what is written reaches standard
// error a whole line at a time, as each newline ends it.
std::ostream& Errors();

}  // namespace console
