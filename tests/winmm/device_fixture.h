// A WinMmMidiEngine over SimHost and simwinmm, with the leak checks every
// scenario ends with.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "engine/midi_engine.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"
#include "winmm/create_engine.h"

// One element of a message list: an integer or a symbol name.
using Item = std::variant<int32_t, const char*>;

class DeviceTest : public ::testing::Test {
protected:
    DeviceTest() { simwinmm::Reset(); }

    ~DeviceTest() override { simwinmm::Reset(); }

    void TearDown() override {
        DestroyEngine();
        EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.BadReleases(), 0);
    }

    MidiEngine& Engine() {
        if (engine == nullptr) {
            engine = CreateMidiEngine(host.values(), host.lists(), host.memory());
        }
        return *engine;
    }

    MidiEngine& Initialised() {
        EXPECT_EQ(Engine().Init(), 0);
        return *engine;
    }

    void DestroyEngine() {
        delete engine;
        engine = nullptr;
    }

    ScriptValue List(const std::vector<Item>& items) {
        ScriptValue list = host.NewList();
        for (const Item& item : items) {
            ScriptValue value = std::holds_alternative<int32_t>(item)
                                    ? host.Integer(std::get<int32_t>(item))
                                    : host.SymbolValue(std::get<const char*>(item));
            host.Append(list, value);
            host.Release(value);
        }
        return list;
    }

    // [#systemExclusive, manufacturer, [data...]]
    ScriptValue SysEx(int32_t manufacturer, const std::vector<int32_t>& data) {
        ScriptValue bytes = host.NewList();
        for (int32_t byte : data) {
            ScriptValue value = host.Integer(byte);
            host.Append(bytes, value);
            host.Release(value);
        }
        ScriptValue message = List({"systemExclusive", manufacturer});
        host.Append(message, bytes);
        host.Release(bytes);
        return message;
    }

    // Sends and releases the message.
    StatusCode Send(ScriptValue message) {
        const StatusCode code = engine->SendMessage(message);
        host.Release(message);
        return code;
    }

    std::string InputPorts() { return PortList(true); }
    std::string OutputPorts() { return PortList(false); }

    std::string PortList(bool input) {
        ScriptValue list = host.NewList();
        if (input) {
            engine->GetInputPorts(list);
        } else {
            engine->GetOutputPorts(list);
        }
        std::string printed = host.Print(list);
        host.Release(list);
        return printed;
    }

    // The next decoded input message as the message window prints it.
    std::string NextMessage() {
        ScriptValue message = host.NewPropList();
        engine->GetNextMessage(message);
        std::string printed = host.Print(message);
        host.Release(message);
        return printed;
    }

    // Polls a condition that another thread makes true, with a deadline.
    template <typename Condition>
    static bool Eventually(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    hostsim::SimHost host;
    MidiEngine* engine = nullptr;
};
