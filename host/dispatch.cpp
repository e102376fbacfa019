#include "host/dispatch.h"

#include <initializer_list>

#include "engine/midi_engine.h"
#include "host/method_table.h"

namespace {

// Scripts count ports from 1, the engine from 0. Wraps instead of overflowing:
// the most negative number becomes the largest index, which no port has.
int32_t PortIndex(int32_t portNumber) {
    return static_cast<int32_t>(static_cast<uint32_t>(portNumber) - 1u);
}

// Methods that read their parameters; a call of one without arguments is
// answered with nothing.
bool TakesParameters(Method method) {
    switch (method) {
        case Method::OpenInput:
        case Method::SetSystemFilter:
        case Method::SetChannelFilter:
        case Method::OpenOutput:
        case Method::SendMessage:
            return true;
        default:
            return false;
    }
}

// Converts parameters 1, 2, ... to integers in order, stopping at the first
// the host cannot convert and returning its result code.
HostResult IntegerParameters(HostValueService& values, const ScriptValue* args,
                             std::initializer_list<int32_t*> out) {
    int position = 1;
    for (int32_t* integer : out) {
        if (HostResult code = values.ValueToInteger(&args[position++], integer); code != kHostOk) {
            return code;
        }
    }
    return kHostOk;
}

}  // namespace

HostResult DispatchCall(ScriptInstance& instance, CallRecord& call) {
    if (call.methodNumber < static_cast<int32_t>(Method::Init) ||
        call.methodNumber > static_cast<int32_t>(Method::SendMessage)) {
        return kHostOk;
    }
    MidiEngine* engine = instance.engine;
    HostValueService* values = instance.valueService;
    HostListService* lists = instance.listService;
    // An instance whose creation failed half-way answers every method with nothing.
    if (engine == nullptr || values == nullptr || lists == nullptr) {
        return kHostOk;
    }
    const auto method = static_cast<Method>(call.methodNumber);
    // Element 0 is `me`; the declared parameters follow it.
    const ScriptValue* args = call.args;
    if (args == nullptr && TakesParameters(method)) {
        return kHostOk;
    }
    ScriptValue& result = call.result;
    const auto status = [&](StatusCode code) {
        engine->SetStatusResult(code, result);
        return kHostOk;
    };
    const auto flag = [&](bool set) {
        values->IntegerToValue(set ? 1 : 0, &result);
        return kHostOk;
    };

    switch (method) {
        case Method::New:
            return kHostOk;
        case Method::Init:
            return status(engine->Init());
        case Method::GetTime:
            return values->IntegerToValue(engine->GetTime(), &result);
        case Method::ResetTimer:
            engine->ResetTimer();
            return kHostOk;
        case Method::GetInputPorts:
            if (HostResult code = lists->NewList(&result); code != kHostOk) {
                return code;
            }
            return engine->GetInputPorts(result);
        case Method::OpenInput: {
            int32_t portNumber = 0;
            int32_t bufSize = 0;
            if (HostResult code = IntegerParameters(*values, args, {&portNumber, &bufSize});
                code != kHostOk) {
                return code;
            }
            return status(engine->OpenInput(PortIndex(portNumber), static_cast<uint32_t>(bufSize)));
        }
        case Method::CloseInput:
            return status(engine->CloseInput());
        case Method::SetSystemFilter:
            return status(engine->SetSystemFilter(args[1]));
        case Method::SetChannelFilter:
            return status(engine->SetChannelFilter(args[1], args[2]));
        case Method::MessagesPending:
            return flag(engine->MessagesPending());
        case Method::GetNextMessage:
            lists->NewPropList(&result);
            engine->GetNextMessage(result);
            return kHostOk;
        case Method::GetPendingMessages:
            lists->NewList(&result);
            engine->GetPendingMessages(result);
            return kHostOk;
        case Method::InputOverflowed:
            return flag(engine->InputOverflowed());
        case Method::FlushInput:
            engine->FlushInput();
            return kHostOk;
        case Method::GetOutputPorts:
            if (HostResult code = lists->NewList(&result); code != kHostOk) {
                return code;
            }
            return engine->GetOutputPorts(result);
        case Method::OpenOutput: {
            int32_t portNumber = 0;
            if (HostResult code = IntegerParameters(*values, args, {&portNumber});
                code != kHostOk) {
                return code;
            }
            return status(engine->OpenOutput(PortIndex(portNumber)));
        }
        case Method::CloseOutput:
            return status(engine->CloseOutput());
        case Method::SendMessage:
            return status(engine->SendMessage(args[1]));
    }
    return kHostOk;
}
