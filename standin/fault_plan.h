// The stand-ins' one way to make calls fail, shared by the host's services,
// its registry and simwinmm: every call of a named operation is counted, and
// chosen calls (the n-th from now) fail with a result the test chooses. Not
// thread-safe: simwinmm calls it under its driver lock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <type_traits>
#include <vector>

class FaultPlan {
public:
    // `names[i]` names operation i; they outlive the plan.
    FaultPlan(const char* const* names, size_t count) : names_(names), entries_(count) {}

    // -1 for a name that is no operation here.
    int IndexOf(std::string_view name) const {
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (name == names_[i]) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // Counts a call of operation `op`; true when this one is to fail, with
    // the result chosen for it in *result.
    template <typename Op>
    requires std::is_integral_v<Op> || std::is_enum_v<Op>
    bool Enter(Op op, uint32_t* result = nullptr) {
        Entry& entry = entries_[static_cast<size_t>(op)];
        const uint64_t call = ++entry.calls;
        auto due = std::find_if(entry.failures.begin(), entry.failures.end(),
                                [call](const Failure& failure) { return failure.call == call; });
        if (due == entry.failures.end()) {
            return false;
        }
        if (result != nullptr) {
            *result = due->result;
        }
        entry.failures.erase(due);
        return true;
    }

    // The n-th call from now (1 = the next) of the named operation fails;
    // n = 0 changes nothing. A name that is no operation is reported on
    // standard error: a misspelt name would make a fault test pass without a
    // fault.
    void Fail(std::string_view name, uint64_t nth, uint32_t result = 0) {
        const int index = IndexOf(name);
        if (index < 0) {
            std::fprintf(stderr, "FailCall: no operation named %.*s\n",
                         static_cast<int>(name.size()), name.data());
            return;
        }
        if (nth != 0) {
            Entry& entry = entries_[static_cast<size_t>(index)];
            entry.failures.push_back(Failure{entry.calls + nth, result});
        }
    }

    // Forgets the failures still to come; the counts stay.
    void ClearFailures() {
        for (Entry& entry : entries_) {
            entry.failures.clear();
        }
    }
    // Forgets the failures and the counts.
    void Reset() {
        for (Entry& entry : entries_) {
            entry = Entry{};
        }
    }

    template <typename Op>
    requires std::is_integral_v<Op> || std::is_enum_v<Op> uint64_t Count(Op op)
    const { return entries_[static_cast<size_t>(op)].calls; }
    uint64_t Count(std::string_view name) const {
        const int index = IndexOf(name);
        return index < 0 ? 0 : entries_[static_cast<size_t>(index)].calls;
    }

private:
    struct Failure {
        uint64_t call;
        uint32_t result;
    };
    struct Entry {
        uint64_t calls = 0;
        std::vector<Failure> failures;
    };
    const char* const* names_;
    std::vector<Entry> entries_;
};
