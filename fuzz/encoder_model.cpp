#include "fuzz/encoder_model.h"

#include <cctype>
#include <string>

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kNotAList = 4;
constexpr int32_t kUnknownType = 7;
constexpr int32_t kNotASymbol = 8;
constexpr int32_t kCannotUnpack = 9;
constexpr int32_t kNotAnInteger = 10;
constexpr int32_t kMissing = 11;
constexpr int32_t kOutOfRange = 12;

bool IsList(const Value& value) {
    return value.kind == Value::Kind::List || value.kind == Value::Kind::PropList;
}

bool SameName(const std::string& a, const char* b) {
    const std::string other(b);
    if (a.size() != other.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(other[i]))) {
            return false;
        }
    }
    return true;
}

// Reads the integer at `position` (from 1) within [min, max].
int32_t Read(const Value& list, size_t position, int64_t min, int64_t max, int64_t& out) {
    if (position > list.items.size()) {
        return kMissing;
    }
    const Value& item = list.items[position - 1];
    if (item.kind != Value::Kind::Integer) {
        return kNotAnInteger;
    }
    if (item.integer < min || item.integer > max) {
        return kOutOfRange;
    }
    out = item.integer;
    return kOk;
}

// The message types: a name, its status byte, and what follows the type.
enum class Shape { Channel2, Channel1, Bend, Fixed, Mono, Quarter, Position, Select, Alone, SysEx };
struct Type {
    const char* name;
    uint8_t status;
    Shape shape;
    uint8_t controller;
    uint8_t value;
};
const Type kTypes[] = {
    {"noteOff", 0x80, Shape::Channel2, 0, 0},
    {"noteOn", 0x90, Shape::Channel2, 0, 0},
    {"polyKeyPressure", 0xA0, Shape::Channel2, 0, 0},
    {"controlChange", 0xB0, Shape::Channel2, 0, 0},
    {"programChange", 0xC0, Shape::Channel1, 0, 0},
    {"channelPressure", 0xD0, Shape::Channel1, 0, 0},
    {"pitchBend", 0xE0, Shape::Bend, 0, 0},
    {"localControlOff", 0xB0, Shape::Fixed, 122, 0},
    {"localControlOn", 0xB0, Shape::Fixed, 122, 127},
    {"allNotesOff", 0xB0, Shape::Fixed, 123, 0},
    {"omniModeOff", 0xB0, Shape::Fixed, 124, 0},
    {"omniModeOn", 0xB0, Shape::Fixed, 125, 0},
    {"monoModeOn", 0xB0, Shape::Mono, 126, 0},
    {"polyModeOn", 0xB0, Shape::Fixed, 127, 0},
    {"mtcQuarterFrame", 0xF1, Shape::Quarter, 0, 0},
    {"songPositionPointer", 0xF2, Shape::Position, 0, 0},
    {"songSelect", 0xF3, Shape::Select, 0, 0},
    {"tuneRequest", 0xF6, Shape::Alone, 0, 0},
    {"clock", 0xF8, Shape::Alone, 0, 0},
    {"start", 0xFA, Shape::Alone, 0, 0},
    {"continue", 0xFB, Shape::Alone, 0, 0},
    {"stop", 0xFC, Shape::Alone, 0, 0},
    {"activeSensing", 0xFE, Shape::Alone, 0, 0},
    {"systemReset", 0xFF, Shape::Alone, 0, 0},
    {"systemExclusive", 0xF0, Shape::SysEx, 0, 0},
};

Encoded Fail(int32_t code) {
    return Encoded{code, {}};
}

}  // namespace

Encoded EncodeMessage(const Value& message) {
    if (!IsList(message) || message.items.empty()) {
        return Fail(kCannotUnpack);
    }
    const Value& first = message.items[0];
    if (first.kind != Value::Kind::Symbol) {
        return Fail(kNotASymbol);
    }
    const Type* type = nullptr;
    for (const Type& candidate : kTypes) {
        if (SameName(first.text, candidate.name)) {
            type = &candidate;
        }
    }
    if (type == nullptr) {
        return Fail(kUnknownType);
    }
    int64_t a = 0;
    int64_t b = 0;
    int32_t code = kOk;
    std::vector<uint8_t> bytes{type->status};
    switch (type->shape) {
        case Shape::Channel2:
        case Shape::Channel1:
        case Shape::Bend:
        case Shape::Fixed:
        case Shape::Mono:
            if ((code = Read(message, 2, 1, 16, a)) != kOk) {
                return Fail(code);
            }
            bytes[0] = static_cast<uint8_t>(type->status + a - 1);
            break;
        default:
            break;
    }
    switch (type->shape) {
        case Shape::Channel2:
            if ((code = Read(message, 3, 0, 127, a)) != kOk ||
                (code = Read(message, 4, 0, 127, b)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>(a));
            bytes.push_back(static_cast<uint8_t>(b));
            break;
        case Shape::Channel1:
            if ((code = Read(message, 3, 0, 127, a)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>(a));
            break;
        case Shape::Bend:
            if ((code = Read(message, 3, -8192, 8191, a)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>((a + 8192) % 128));
            bytes.push_back(static_cast<uint8_t>((a + 8192) / 128));
            break;
        case Shape::Fixed:
            bytes.push_back(type->controller);
            bytes.push_back(type->value);
            break;
        case Shape::Mono:
            if ((code = Read(message, 3, 0, 127, a)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(type->controller);
            bytes.push_back(static_cast<uint8_t>(a));
            break;
        case Shape::Quarter:
            if ((code = Read(message, 2, 0, 7, a)) != kOk ||
                (code = Read(message, 3, 0, 15, b)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>(a * 16 + b));
            break;
        case Shape::Position:
            if ((code = Read(message, 2, 0, 16383, a)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>(a % 128));
            bytes.push_back(static_cast<uint8_t>(a / 128));
            break;
        case Shape::Select:
            if ((code = Read(message, 2, 0, 127, a)) != kOk) {
                return Fail(code);
            }
            bytes.push_back(static_cast<uint8_t>(a));
            break;
        case Shape::Alone:
            break;
        case Shape::SysEx: {
            if ((code = Read(message, 2, 0, 127, a)) != kOk) {
                return Fail(code);
            }
            if (message.items.size() < 3) {
                return Fail(kMissing);
            }
            const Value& data = message.items[2];
            if (data.kind != Value::Kind::List) {
                return Fail(kNotAList);
            }
            bytes.push_back(static_cast<uint8_t>(a));
            for (size_t i = 1; i <= data.items.size(); ++i) {
                if ((code = Read(data, i, 0, 127, b)) != kOk) {
                    return Fail(code);
                }
                bytes.push_back(static_cast<uint8_t>(b));
            }
            bytes.push_back(0xF7);
            break;
        }
    }
    return Encoded{kOk, bytes};
}
