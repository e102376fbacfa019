#include "fuzz/script_value.h"

#include <cctype>
#include <iterator>

namespace {

const char* const kNames[] = {
    "noteOff",
    "noteOn",
    "polyKeyPressure",
    "controlChange",
    "programChange",
    "channelPressure",
    "pitchBend",
    "localControlOff",
    "localControlOn",
    "allNotesOff",
    "omniModeOff",
    "omniModeOn",
    "monoModeOn",
    "polyModeOn",
    "mtcQuarterFrame",
    "songPositionPointer",
    "songSelect",
    "tuneRequest",
    "clock",
    "start",
    "continue",
    "stop",
    "activeSensing",
    "systemReset",
    "systemExclusive",
    "none",
    "all",
    "note",
    "voice",
    "mode",
    "realTime",
    "common",
    "type",
    "channel",
    "number",
    "velocity",
    "data",
    "timestamp",
    "code",
    "bogus",
};

const int32_t kEdges[] = {-1,    0,     1,     2,      7,         8,         15,           16,
                          17,    121,   122,   123,    126,       127,       128,          240,
                          247,   255,   256,   8191,   8192,      -8192,     -8193,        16383,
                          16384, 65535, 65536, -65536, INT32_MIN, INT32_MAX, INT32_MIN + 1};

}  // namespace

int32_t AnyInteger(FuzzReader& in) {
    switch (in.Byte() % 8) {
        case 0:
        case 1:
            return static_cast<int32_t>(in.Below(20));
        case 2:
            return static_cast<int32_t>(in.Below(256));
        case 3:
            return static_cast<int32_t>(in.Word());
        default:  // the edges of every range matter most
            return kEdges[in.Below(std::size(kEdges))];
    }
}

std::string AnyName(FuzzReader& in) {
    std::string name = kNames[in.Below(std::size(kNames))];
    if (in.Byte() % 8 == 0) {
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name;
}

Value AnyValue(FuzzReader& in, int depth) {
    Value value;
    switch (in.Below(depth >= 3 ? 5 : 7)) {
        case 0:
            value.kind = Value::Kind::Integer;
            value.integer = AnyInteger(in);
            break;
        case 1:
            value.kind = Value::Kind::Float;
            value.real = static_cast<double>(AnyInteger(in)) / 2;
            break;
        case 2:
            value.kind = Value::Kind::String;
            value.text = AnyName(in);
            break;
        case 3:
            value.kind = Value::Kind::Symbol;
            value.text = AnyName(in);
            break;
        case 4:
            break;  // VOID
        default: {
            value.kind = in.Byte() % 2 == 0 ? Value::Kind::List : Value::Kind::PropList;
            const uint32_t count = in.Below(6);
            for (uint32_t i = 0; i < count; ++i) {
                if (value.kind == Value::Kind::PropList) {
                    value.keys.push_back(AnyName(in));
                }
                value.items.push_back(AnyValue(in, depth + 1));
            }
            break;
        }
    }
    return value;
}

ScriptValue MakeHostValue(hostsim::SimHost& host, const Value& value) {
    switch (value.kind) {
        case Value::Kind::Void:
            return host.Void();
        case Value::Kind::Integer:
            return host.Integer(value.integer);
        case Value::Kind::Float:
            return host.Float(value.real);
        case Value::Kind::String:
            return host.String(value.text);
        case Value::Kind::Symbol:
            return host.SymbolValue(value.text);
        case Value::Kind::List:
        case Value::Kind::PropList: {
            const bool props = value.kind == Value::Kind::PropList;
            ScriptValue list = props ? host.NewPropList() : host.NewList();
            for (size_t i = 0; i < value.items.size(); ++i) {
                ScriptValue item = MakeHostValue(host, value.items[i]);
                if (props) {
                    host.AppendPair(list, value.keys[i], item);
                } else {
                    host.Append(list, item);
                }
                host.Release(item);
            }
            return list;
        }
    }
    return host.Void();
}
