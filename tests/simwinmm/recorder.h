// Records what the simulated driver's callbacks deliver, from whatever thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "simwinmm/control.h"
#include "simwinmm/winmm_api.h"

constexpr UINT kHandlerDone = 0xFFFF;

struct Delivered {
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::thread::id thread;
};

class Recorder {
public:
    static void CALLBACK InProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                DWORD_PTR param2) {
        auto* self = reinterpret_cast<Recorder*>(instance);
        self->Add(message, param1, param2);
        if (self->onInput) {
            self->onInput(handle, message, param1);
        }
    }
    static void CALLBACK OutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                 DWORD_PTR param1, DWORD_PTR param2) {
        auto* self = reinterpret_cast<Recorder*>(instance);
        self->Add(message, param1, param2);
        if (self->onOutput) {
            self->onOutput(handle, message, param1);
        }
    }
    DWORD_PTR InCallback() const { return reinterpret_cast<DWORD_PTR>(&InProc); }
    DWORD_PTR OutCallback() const { return reinterpret_cast<DWORD_PTR>(&OutProc); }
    DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }

    // Waits until `count` callbacks of `message` came; false after 5 s.
    bool WaitFor(UINT message, size_t count) {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, std::chrono::seconds(5),
                            [&] { return CountLocked(message) >= count; });
    }
    std::vector<Delivered> Of(UINT message) {
        std::lock_guard lock(mu_);
        std::vector<Delivered> out;
        for (const auto& e : events_) {
            if (e.message == message) {
                out.push_back(e);
            }
        }
        return out;
    }
    size_t Count(UINT message) {
        std::lock_guard lock(mu_);
        return CountLocked(message);
    }

    void Clear() {
        std::lock_guard lock(mu_);
        events_.clear();
    }

    // Runs inside the callback, on the driver's thread.
    std::function<void(HMIDIIN, UINT, DWORD_PTR)> onInput;
    std::function<void(HMIDIOUT, UINT, DWORD_PTR)> onOutput;

    // Also for a test's own marks (message numbers outside winmm's).
    void Add(UINT message, DWORD_PTR param1, DWORD_PTR param2) {
        std::lock_guard lock(mu_);
        events_.push_back({message, param1, param2, std::this_thread::get_id()});
        cv_.notify_all();
    }

private:
    size_t CountLocked(UINT message) const {
        size_t n = 0;
        for (const auto& e : events_) {
            n += e.message == message ? 1 : 0;
        }
        return n;
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Delivered> events_;
};

// Every test starts and ends with a clean driver.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { simwinmm::Reset(); }
    void TearDown() override { simwinmm::Reset(); }
};

// A header with its own data area.
struct Buffer {
    explicit Buffer(size_t size) : data(size) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(size);
    }
    explicit Buffer(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(data.size());
        header.dwBytesRecorded = header.dwBufferLength;
    }
    std::vector<uint8_t> Recorded() const {
        return {data.begin(), data.begin() + header.dwBytesRecorded};
    }
    std::vector<uint8_t> data;
    MIDIHDR header{};
};
