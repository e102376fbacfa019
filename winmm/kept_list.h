// Memory kept on purpose for the life of the process, because a driver may
// still call into this module through it or write into it.
#pragma once

#include <atomic>

#include "winmm/module_pin.h"

// Listed here, kept memory is never mistaken for a leak and never reused.
template <typename Node>
class KeptList {
public:
    // `link` is a pointer-sized word of the node that is free for good.
    void Push(Node* node, Node** link) {
        // The driver may call through the node into this module's code.
        PinModule();
        *link = head.load(std::memory_order_relaxed);
        while (!head.compare_exchange_weak(*link, node, std::memory_order_release,
                                           std::memory_order_relaxed)) {
        }
    }

    bool Empty() const { return head.load(std::memory_order_acquire) == nullptr; }

private:
    std::atomic<Node*> head{nullptr};
};
