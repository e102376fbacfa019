// Status codes that script methods report in [#code: n, #text: "..."].
#pragma once

#include <cstdint>

using StatusCode = int32_t;

constexpr StatusCode kStatusOk = 0;
constexpr StatusCode kStatusNotInitialised = 2;
constexpr StatusCode kStatusDriverError = 3;
constexpr StatusCode kStatusInvalidParameterType = 4;
constexpr StatusCode kStatusInvalidParameterValue = 5;
constexpr StatusCode kStatusParameterOutOfRange = 6;
constexpr StatusCode kStatusUnknownMessageType = 7;
constexpr StatusCode kStatusMessageNotSymbol = 8;
constexpr StatusCode kStatusUnpackError = 9;
constexpr StatusCode kStatusPropertyNotInteger = 10;
constexpr StatusCode kStatusMissingProperty = 11;
constexpr StatusCode kStatusPropertyOutOfRange = 12;
constexpr StatusCode kStatusInputNotOpen = 13;
constexpr StatusCode kStatusOutputNotOpen = 14;
constexpr StatusCode kStatusInvalidPort = 15;
constexpr StatusCode kStatusNoMemory = 16;
constexpr StatusCode kStatusInputAlreadyOpen = 17;
constexpr StatusCode kStatusOutputAlreadyOpen = 18;

// The text of a code; "Unknown error" for every code without one.
const char* StatusText(StatusCode code);
