// The string functions: length, chars, offset, numToChar, charToNum. A
// string is a row of bytes (characters from 1), as the host's strings of
// one byte per character are.
#include <string>

#include "console/language/function_checks.h"
#include "console/language/interpreter.h"
#include "hostsim/names.h"

namespace console {
namespace {

ScriptValue Length(FunctionCall& call) {
    return call.host.Integer(static_cast<int32_t>(NeedString(call, 0, "length").size()));
}

// chars(s, from, to): characters from..to, inclusive; the range is cut to
// the string, and what lies outside it gives "".
ScriptValue Chars(FunctionCall& call) {
    const std::string text = NeedString(call, 0, "chars");
    int64_t from = NeedInteger(call, 1, "chars", "a position");
    int64_t to = NeedInteger(call, 2, "chars", "a position");
    const int64_t length = static_cast<int64_t>(text.size());
    from = from < 1 ? 1 : from;
    to = to > length ? length : to;
    if (from > to) {
        return call.host.String("");
    }
    return call.host.String(
        text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1)));
}

// offset(part, s): where part first starts in s, without regard to case; 0
// when it is not there. "" is at 1, as `s contains ""` is true.
ScriptValue Offset(FunctionCall& call) {
    const std::string part = hostsim::LowerCase(NeedString(call, 0, "offset"));
    const std::string text = hostsim::LowerCase(NeedString(call, 1, "offset"));
    const size_t at = text.find(part);
    return call.host.Integer(at == std::string::npos ? 0 : static_cast<int32_t>(at) + 1);
}

ScriptValue NumToChar(FunctionCall& call) {
    const char* what = "a character code from 1 to 255";
    const int32_t code = NeedInteger(call, 0, "numToChar", what);
    if (code < 1 || code > 255) {
        FailNeeds(call, 0, "numToChar", what);
    }
    return call.host.String(std::string(1, static_cast<char>(static_cast<unsigned char>(code))));
}

ScriptValue CharToNum(FunctionCall& call) {
    const std::string text = NeedString(call, 0, "charToNum");
    return call.host.Integer(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
}

}  // namespace

void DefineStringFunctions(Interpreter& interpreter) {
    interpreter.DefineFunction("length", 1, 1, "length() takes one string", Length);
    interpreter.DefineFunction("chars", 3, 3, "chars() takes a string and two positions", Chars);
    interpreter.DefineFunction("offset", 2, 2, "offset() takes the string to find and a string",
                               Offset);
    interpreter.DefineFunction("numToChar", 1, 1, "numToChar() takes one character code",
                               NumToChar);
    interpreter.DefineFunction("charToNum", 1, 1, "charToNum() takes one string", CharToNum);
}

}  // namespace console
