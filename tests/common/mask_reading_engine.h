// A MidiEngine whose filter masks a test can read; the product reads them
// only through the input queue.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/midi_engine.h"

class MaskReadingEngine : public MidiEngine {
public:
    using MidiEngine::MidiEngine;

    uint8_t TypeMask(int channelIndex) {
        return Masks().typeMask[channelIndex & 15].load(std::memory_order_relaxed);
    }
    uint8_t ModeMask(int channelIndex) {
        return Masks().modeMask[channelIndex & 15].load(std::memory_order_relaxed);
    }
};
