// Object values count their references: handles, copies and the lists that
// hold them. Their owner hears once, when the last one goes, at a moment when
// it may use the store again.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hostsim/sim_host.h"

namespace {

using hostsim::SimHost;

// Records what it is told; may release a value of its own when told, as the
// console's session does when it destroys an instance.
class Recorder : public hostsim::ObjectOwner {
public:
    explicit Recorder(SimHost& host) : host_(host) {}
    void LastReferenceGone(uintptr_t id) override {
        told.push_back(id);
        liveWhenTold.push_back(host_.LiveValues());
        if (id == dropOnTold) {
            host_.Release(held);
        }
    }

    std::vector<uintptr_t> told;
    std::vector<int64_t> liveWhenTold;
    uintptr_t dropOnTold = 0;
    ScriptValue held{};

private:
    SimHost& host_;
};

TEST(SimHostObjects, TheOwnerHearsOnceWhenTheLastReferenceGoes) {
    SimHost host;
    Recorder owner(host);

    ScriptValue alone = host.Object("a", 1, &owner);
    host.Release(alone);
    EXPECT_EQ(owner.told, (std::vector<uintptr_t>{1}));

    ScriptValue first = host.Object("b", 2, &owner);
    ScriptValue copy = host.Copy(first);
    host.Release(first);
    EXPECT_EQ(owner.told.size(), 1u) << "a copy still holds it";
    host.Release(copy);
    EXPECT_EQ(owner.told, (std::vector<uintptr_t>{1, 2}));

    // Lists hold their own references, and so does what a list hands out.
    ScriptValue object = host.Object("c", 3, &owner);
    ScriptValue list = host.NewList();
    ScriptValue props = host.NewPropList();
    host.Append(list, object);
    host.AppendPair(props, "m", object);
    host.Release(object);
    host.Release(props);
    ScriptValue fetched = host.At(list, 1);
    host.Release(list);
    EXPECT_EQ(owner.told.size(), 2u);
    host.Release(fetched);
    EXPECT_EQ(owner.told, (std::vector<uintptr_t>{1, 2, 3}));
    // The value was gone from the store by the time the owner heard.
    EXPECT_EQ(owner.liveWhenTold, (std::vector<int64_t>{0, 0, 0}));

    // Without an owner nobody is told; a double release tells nobody twice.
    ScriptValue unowned = host.Object("d", 4);
    ScriptValue owned = host.Object("e", 5, &owner);
    ScriptValue stale = owned;
    host.Release(unowned);
    host.Release(owned);
    host.Release(stale);
    EXPECT_EQ(owner.told, (std::vector<uintptr_t>{1, 2, 3, 5}));
    EXPECT_EQ(host.BadReleases(), 1);
    EXPECT_EQ(host.LiveValues(), 0);
}

TEST(SimHostObjects, AnOwnerMayReleaseFromItsNotice) {
    SimHost host;
    Recorder owner(host);
    // The owner of 1 keeps 2; when 1 goes, it lets 2 go, which it hears too.
    owner.held = host.Object("kept", 2, &owner);
    owner.dropOnTold = 1;
    ScriptValue list = host.NewList();
    ScriptValue object = host.Object("first", 1, &owner);
    host.Append(list, object);
    host.Release(object);
    host.Release(list);
    EXPECT_EQ(owner.told, (std::vector<uintptr_t>{1, 2}));
    EXPECT_EQ(host.LiveValues(), 0);
    EXPECT_EQ(host.BadReleases(), 0);
}

TEST(SimHostObjects, TheStoresOwnEndTellsNobody) {
    // Leaks are only reclaimed there: the owner may be gone by then.
    struct Counter : hostsim::ObjectOwner {
        void LastReferenceGone(uintptr_t) override { ++told; }
        int told = 0;
    } owner;
    {
        SimHost host;
        host.Object("leaked", 9, &owner);
    }
    EXPECT_EQ(owner.told, 0);
}

}  // namespace
