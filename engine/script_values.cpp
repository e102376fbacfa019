#include "engine/script_values.h"

StatusCode ScriptValues::ReadInteger(const ScriptValue& list, int32_t position, int32_t& out) {
    ScriptValue item{};
    if (!Fetch(list, position, item)) {
        return kStatusMissingProperty;
    }
    const HostResult converted = ToInteger(item, out);
    Release(item);
    return converted == kHostOk ? kStatusOk : kStatusPropertyNotInteger;
}

StatusCode ScriptValues::ReadByte(const ScriptValue& list, int32_t position, int32_t min,
                                  int32_t max, uint8_t& out) {
    int32_t integer = 0;
    if (const StatusCode code = ReadInteger(list, position, integer); code != kStatusOk) {
        return code;
    }
    if (integer < min || integer > max) {
        return kStatusPropertyOutOfRange;
    }
    out = static_cast<uint8_t>(integer);
    return kStatusOk;
}

StatusCode ScriptValues::Read14Bit(const ScriptValue& list, int32_t position, int32_t offset,
                                   uint8_t& low, uint8_t& high) {
    int32_t integer = 0;
    if (const StatusCode code = ReadInteger(list, position, integer); code != kStatusOk) {
        return code;
    }
    // In 64 bits so that no script value can overflow the sum.
    const int64_t shifted = int64_t{integer} + offset;
    if (shifted < 0 || shifted > 16383) {
        return kStatusPropertyOutOfRange;
    }
    low = static_cast<uint8_t>(shifted & 0x7F);
    high = static_cast<uint8_t>((shifted >> 7) & 0x7F);
    return kStatusOk;
}

int32_t ScriptValues::TypeOf(const ScriptValue& value) {
    int32_t type = 0;
    values_.ValueType(&value, &type);  // its result is not consulted
    return type;
}

bool ScriptValues::AppendIntegerPair(ScriptValue& propList, Word key, int32_t integer) {
    ScriptValue item{};
    if (values_.IntegerToValue(integer, &item) != kHostOk) {
        return false;
    }
    const bool appended = AppendPair(propList, key, item) == kHostOk;
    Release(item);
    return appended;
}

bool ScriptValues::AppendInteger(ScriptValue& list, int32_t integer) {
    ScriptValue item{};
    if (values_.IntegerToValue(integer, &item) != kHostOk) {
        return false;
    }
    const bool appended = Append(list, item) == kHostOk;
    Release(item);
    return appended;
}

HostResult ScriptValues::AppendString(ScriptValue& list, const char* text) {
    ScriptValue value{};
    HostResult code = values_.StringToValue(text, &value);
    if (code != kHostOk) {
        return code;
    }
    code = Append(list, value);
    Release(value);
    return code;
}

// A value the host failed to make is neither appended nor released.
void ScriptValues::MakeStatus(StatusCode code, ScriptValue& destination) {
    if (NewPropList(destination) != kHostOk) {
        return;
    }
    AppendIntegerPair(destination, Word::code, code);
    ScriptValue text{};
    if (values_.StringToValue(StatusText(code), &text) == kHostOk) {
        AppendPair(destination, Word::text, text);
        Release(text);
    }
}
