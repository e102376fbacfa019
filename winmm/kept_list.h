// Memory kept on purpose for the life of the process, because a driver may
// still call into this module through it or write into it. The host thread
// adds to the lists (at a close or a destruction); nothing is ever taken out
// or freed, and the driver's threads only ever touch the memory, not the list.
#pragma once

#include <atomic>

#include "winmm/module_pin.h"

// Listed here, kept memory is never mistaken for a leak and never reused.
template <typename Node>
class KeptList {
public:
    // [host thread] Takes `node` for good; `link` is a pointer-sized word of
    // it that is free for good. Lock-free: any engine's thread may push.
    void Push(Node* node, Node** link) {
        // The driver may call through the node into this module's code.
        PinModule();
        *link = head.load(std::memory_order_relaxed);
        while (!head.compare_exchange_weak(*link, node, std::memory_order_release,
                                           std::memory_order_relaxed)) {
        }
    }

    // [any thread] True while nothing was ever kept here.
    bool Empty() const { return head.load(std::memory_order_acquire) == nullptr; }

private:
    std::atomic<Node*> head{nullptr};
};

// Devices the driver would not let go of yet, linked through their `next`;
// the host thread's alone. Tried again at the next open and at destruction,
// and kept for good when the driver still holds them at the end.
template <typename Device>
class SetAsideList {
public:
    void Add(Device* device) {
        device->next = head_;
        head_ = device;
    }
    bool Empty() const { return head_ == nullptr; }
    const Device* First() const { return head_; }

    // Unlinks every device that `letGo` now lets go of and hands it to `release`.
    template <typename LetGo, typename Release>
    void Retry(LetGo letGo, Release release) {
        Device** link = &head_;
        while (*link != nullptr) {
            Device* device = *link;
            if (letGo(*device)) {
                *link = device->next;
                release(device);
            } else {
                link = &device->next;
            }
        }
    }

    void KeepForGood(KeptList<Device>& kept) {
        while (head_ != nullptr) {
            Device* device = head_;
            head_ = device->next;
            kept.Push(device, &device->next);
        }
    }

private:
    Device* head_ = nullptr;
};
