// A MidiEngine with the platform stubbed out, and a fixture that owns a
// SimHost, makes script values for a test and checks that nothing leaked.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/midi_engine.h"
#include "hostsim/sim_host.h"
#include "tests/common/stub_engine.h"

struct SentShort {
    uint8_t status, data1, data2;
    uint32_t length;
    bool operator==(const SentShort&) const = default;
};

struct SentLong {
    uint8_t manufacturerID;
    int32_t count;
    std::vector<uint8_t> data;
};

class TestEngine : public StubEngine {
public:
    using MidiEngine::Read14BitProperty;
    using MidiEngine::ReadByteProperty;
    using StubEngine::StubEngine;

    StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                uint32_t length) override {
        shortSent.push_back({status, data1, data2, length});
        return sendResult;
    }
    // As the device layer does: every element through ReadByteProperty.
    StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                               int32_t count) override {
        SentLong sent{manufacturerID, count, {}};
        for (int32_t i = 1; i <= count; ++i) {
            uint8_t byte = 0;
            const StatusCode result = ReadByteProperty(data, i, 0, 127, byte);
            if (result != kStatusOk) {
                return result;
            }
            sent.data.push_back(byte);
        }
        longSent.push_back(sent);
        return sendResult;
    }

    StatusCode sendResult = kStatusOk;
    std::vector<SentShort> shortSent;
    std::vector<SentLong> longSent;
};

class EngineTest : public ::testing::Test {
public:
    void SetUp() override { NewEngine(); }

    void TearDown() override {
        for (ScriptValue& value : owned_) {
            host.Release(value);
        }
        owned_.clear();
        engine.reset();
        EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.BadReleases(), 0);
    }

    void NewEngine() {
        engine.reset();
        engine = std::make_unique<TestEngine>(host.values(), host.lists(), host.memory());
    }

    // Values made here are released by the fixture.
    ScriptValue Keep(ScriptValue value) {
        owned_.push_back(value);
        return value;
    }
    ScriptValue Sym(std::string_view name) { return Keep(host.SymbolValue(name)); }
    ScriptValue Int(int32_t value) { return Keep(host.Integer(value)); }
    ScriptValue Str(std::string_view text) { return Keep(host.String(text)); }
    ScriptValue Float(double value) { return Keep(host.Float(value)); }
    ScriptValue List(std::initializer_list<ScriptValue> items) {
        ScriptValue list = host.NewList();
        for (const ScriptValue& item : items) {
            host.Append(list, item);
        }
        return Keep(list);
    }
    ScriptValue IntList(const std::vector<int32_t>& items) {
        ScriptValue list = host.NewList();
        for (int32_t item : items) {
            ScriptValue value = host.Integer(item);
            host.Append(list, value);
            host.Release(value);
        }
        return Keep(list);
    }

    // The next decoded message as the message window prints it.
    std::string Next() {
        ScriptValue message = host.NewPropList();
        engine->GetNextMessage(message);
        std::string printed = host.Print(message);
        host.Release(message);
        return printed;
    }
    std::string Pending() {
        ScriptValue list = host.NewList();
        engine->GetPendingMessages(list);
        std::string printed = host.Print(list);
        host.Release(list);
        return printed;
    }

    hostsim::SimHost host;
    std::unique_ptr<TestEngine> engine;

private:
    std::vector<ScriptValue> owned_;
};
