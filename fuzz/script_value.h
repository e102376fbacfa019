// Script values as plain data, for fuzz targets that make arbitrary values
// and predict what the plug-in does with them. Turned into host values only
// to be handed over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_reader.h"
#include "hostsim/sim_host.h"

struct Value {
    enum class Kind { Void, Integer, Float, String, Symbol, List, PropList };
    Kind kind = Kind::Void;
    int32_t integer = 0;
    double real = 0;
    std::string text;               // a string's text, a symbol's name
    std::vector<Value> items;       // list elements, property values
    std::vector<std::string> keys;  // property names
};

// Any value, nested at most a few levels.
Value AnyValue(FuzzReader& in, int depth = 0);
// An integer, often one at the edge of some range.
int32_t AnyInteger(FuzzReader& in);
// A name: a message type, a property or filter word, in any case, or none of these.
std::string AnyName(FuzzReader& in);

// The value in the host; the caller releases it.
ScriptValue MakeHostValue(hostsim::SimHost& host, const Value& value);
