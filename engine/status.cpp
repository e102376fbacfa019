#include "engine/status.h"

namespace {

// Indexed by code; null where a code has no text of its own.
constexpr const char* kTexts[] = {
    "No error",
    nullptr,
    "Instance not initialised - call Init() first",
    "Internal driver error",
    "Invalid parameter type",
    "Invalid parameter value",
    "Parameter value out of range",
    "Unknown message type",
    "Message is not a symbol",
    "An error occurred while unpacking the message",
    "Message property is not an integer",
    "Missing message property",
    "Message property out of range",
    "Input not open",
    "Output not open",
    "Invalid port number",
    "Not enough memory to complete the operation",
    "Input already open",
    "Output already open",
};
constexpr StatusCode kTextCount = static_cast<StatusCode>(sizeof(kTexts) / sizeof(kTexts[0]));
static_assert(kTextCount == kStatusOutputAlreadyOpen + 1);

}  // namespace

const char* StatusText(StatusCode code) {
    if (code < 0 || code >= kTextCount || kTexts[code] == nullptr) {
        return "Unknown error";
    }
    return kTexts[code];
}
