#include "console/error_lines.h"

#include <streambuf>

namespace console {
namespace {

constexpr size_t kMostPending = size_t{1} << 20;

void WriteLine(std::FILE* file, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fputc('\n', file);
}

// Collects a line, and hands it on whole at its newline.
class LineBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) {
            return traits_type::not_eof(c);
        }
        if (c == '\n') {
            ErrorLines::Instance().Write(line_);
            line_.clear();
        } else {
            line_ += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) {
            overflow(static_cast<unsigned char>(s[i]));
        }
        return n;
    }

private:
    std::string line_;
};

}  // namespace

ErrorLines::ErrorLines() : thread_([this] { Run(); }) {}

ErrorLines::~ErrorLines() {
    {
        std::lock_guard<std::mutex> lock(queue_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::unique_lock<std::mutex> out(out_);
    Drain(out);
    std::FILE* file = traceFile_ != nullptr ? traceFile_ : stderr;
    for (const std::string& line : lines_.Finish()) {
        WriteLine(file, line);
    }
    std::fflush(file);
    if (traceFile_ != nullptr) {
        std::fclose(traceFile_);
    }
}

ErrorLines& ErrorLines::Instance() {
    static ErrorLines lines;
    return lines;
}

void ErrorLines::SetTraceFile(std::FILE* file) {
    std::lock_guard<std::mutex> out(out_);
    traceFile_ = file;
}

void ErrorLines::Trace(TraceRecord record) {
    {
        std::lock_guard<std::mutex> lock(queue_);
        if (pending_.size() < kMostPending) {
            pending_.push_back(std::move(record));
        } else {
            ++lost_;
        }
    }
    wake_.notify_one();
}

void ErrorLines::Write(const std::string& line) {
    std::unique_lock<std::mutex> out(out_);
    Drain(out);
    WriteLine(stderr, line);
    std::fflush(stderr);
}

void ErrorLines::Flush() {
    std::unique_lock<std::mutex> out(out_);
    Drain(out);
}

// Holding out_: what the driver threads queued, in their order.
void ErrorLines::Drain(std::unique_lock<std::mutex>& /*out*/) {
    std::vector<TraceRecord> records;
    uint64_t lost = 0;
    {
        std::lock_guard<std::mutex> lock(queue_);
        records.swap(pending_);
        std::swap(lost, lost_);
    }
    if (records.empty() && lost == 0) {
        return;
    }
    std::FILE* file = traceFile_ != nullptr ? traceFile_ : stderr;
    for (const TraceRecord& record : records) {
        for (const std::string& line : lines_.Add(record)) {
            WriteLine(file, line);
        }
    }
    if (lost != 0) {
        WriteLine(file, "trace: " + std::to_string(lost) +
                            " crossings not shown: standard error was not read meanwhile");
    }
    std::fflush(file);
}

void ErrorLines::Run() {
    std::unique_lock<std::mutex> lock(queue_);
    while (!stopping_) {
        wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_) {
            break;
        }
        lock.unlock();
        {
            std::unique_lock<std::mutex> out(out_);
            Drain(out);
        }
        lock.lock();
    }
}

std::ostream& Errors() {
    static LineBuffer buffer;
    static std::ostream stream(&buffer);
    return stream;
}

}  // namespace console
