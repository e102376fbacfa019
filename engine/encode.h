// Encoding: a message list as a script hands it to SendMessage, read by
// position and checked in a fixed order, turned into the bytes of a short
// message or the parts of a system-exclusive one for the device layer. It
// calls nothing of the device layer. Host thread only.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "engine/script_values.h"
#include "engine/status.h"

struct MessageType;

// What SendMessage hands the device layer.
struct EncodedMessage {
    bool systemExclusive = false;
    // A short message: its bytes, and how many the message has (1 to 3).
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint32_t length = 0;
    // A system-exclusive message: the manufacturer, and the script's #data
    // list with its element count; `data` is the encoder's to release
    // (ReleaseData) once the device layer has read it.
    uint8_t manufacturerID = 0;
    ScriptValue data{};
    int32_t count = 0;
};

class MessageEncoder {
public:
    // The values must outlive it.
    explicit MessageEncoder(ScriptValues& values) : values_(values) {}
    MessageEncoder(const MessageEncoder&) = delete;
    MessageEncoder& operator=(const MessageEncoder&) = delete;

    // 0 and `out` filled in, or the code of the first check that failed
    // (9, 8, 7, then each property's 11, 10, 12; 4 for #data not a list).
    StatusCode Encode(const ScriptValue& message, EncodedMessage& out);
    // Lets go of a system-exclusive message's #data.
    void ReleaseData(EncodedMessage& message) { values_.Release(message.data); }

private:
    StatusCode LookUpType(const ScriptValue& message, const MessageType*& type);
    StatusCode EncodeData(const MessageType& type, const ScriptValue& message, EncodedMessage& out);
    StatusCode EncodeSystemExclusive(const ScriptValue& message, EncodedMessage& out);

    ScriptValues& values_;
};
