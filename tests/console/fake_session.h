// A stand-in plug-in for the language tests: two methods, `Echo(me, a, b)`
// that answers [a, b] and `Fail(me)` that returns a host error; it records
// which instances lost their last reference.
#pragma once

#include <string>
#include <vector>

#include "console/language/lexer.h"
#include "console/language/session.h"
#include "hostsim/method_table.h"
#include "hostsim/sim_host.h"

namespace console {

class FakeSession : public XtraSession {
public:
    explicit FakeSession(hostsim::SimHost& host) : host_(host) {}

    const std::string& XtraName() const override { return name_; }
    const std::string& MethodTable() const override { return table_; }
    int32_t MethodNumber(std::string_view name) const override {
        for (int32_t i = 0; i < 3; ++i) {
            if (SameName(name, kNames[i])) {
                return i;
            }
        }
        return -1;
    }
    int32_t ParameterCount(int32_t method) const override {
        return hostsim::ReadMethodTable(table_).at(static_cast<size_t>(method)).parameters;
    }
    bool NewInstance(uintptr_t* id, std::string*) override {
        *id = ++instances;
        return true;
    }
    HostResult Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                    ScriptValue& result) override {
        lastId = id;
        lastArgCount = args.size();
        if (method == 2) {
            return static_cast<HostResult>(0x80040005u);
        }
        if (method == 1) {
            result = host_.NewList();
            for (const ScriptValue& arg : args) {
                host_.Append(result, arg);
            }
        }
        return kHostOk;
    }
    void DestroyInstances() override {}
    void LastReferenceGone(uintptr_t id) override { destroyed.push_back(id); }

    uintptr_t instances = 0;
    uintptr_t lastId = 0;
    size_t lastArgCount = 0;
    // Ids in the order their last reference went.
    std::vector<uintptr_t> destroyed;

private:
    static constexpr const char* kNames[] = {"new", "Echo", "Fail"};
    hostsim::SimHost& host_;
    std::string name_ = "Tesmar";
    std::string table_ =
        "xtra Tesmar -- test\nnew object me\n\nEcho object me, any a, any b -- two\n"
        "Fail object me\n   -- the end";
};

}  // namespace console
