#include "host/dispatch.h"

#include "engine/midi_engine.h"
#include "host/method_table.h"

namespace {

// Scripts count ports from 1, the engine from 0. Wraps instead of overflowing:
// the most negative number becomes the largest index, which no port has.
int32_t PortIndex(int32_t portNumber) {
    return static_cast<int32_t>(static_cast<uint32_t>(portNumber) - 1u);
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
    // Element 0 is `me`; the declared parameters follow it.
    const ScriptValue* args = call.args;
    ScriptValue& result = call.result;

    switch (static_cast<Method>(call.methodNumber)) {
        case Method::New:
            return kHostOk;
        case Method::Init:
            engine->SetStatusResult(engine->Init(), result);
            return kHostOk;
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
            if (args == nullptr) {
                return kHostOk;
            }
            int32_t portNumber = 0;
            if (HostResult code = values->ValueToInteger(&args[1], &portNumber); code != kHostOk) {
                return code;
            }
            int32_t bufSize = 0;
            if (HostResult code = values->ValueToInteger(&args[2], &bufSize); code != kHostOk) {
                return code;
            }
            const StatusCode status =
                engine->OpenInput(PortIndex(portNumber), static_cast<uint32_t>(bufSize));
            engine->SetStatusResult(status, result);
            return kHostOk;
        }
        case Method::CloseInput:
            engine->SetStatusResult(engine->CloseInput(), result);
            return kHostOk;
        case Method::SetSystemFilter:
            if (args == nullptr) {
                return kHostOk;
            }
            engine->SetStatusResult(engine->SetSystemFilter(args[1]), result);
            return kHostOk;
        case Method::SetChannelFilter:
            if (args == nullptr) {
                return kHostOk;
            }
            engine->SetStatusResult(engine->SetChannelFilter(args[1], args[2]), result);
            return kHostOk;
        case Method::MessagesPending:
            values->IntegerToValue(engine->MessagesPending() ? 1 : 0, &result);
            return kHostOk;
        case Method::GetNextMessage:
            lists->NewPropList(&result);
            engine->GetNextMessage(result);
            return kHostOk;
        case Method::GetPendingMessages:
            lists->NewList(&result);
            engine->GetPendingMessages(result);
            return kHostOk;
        case Method::InputOverflowed:
            values->IntegerToValue(engine->InputOverflowed() ? 1 : 0, &result);
            return kHostOk;
        case Method::FlushInput:
            engine->FlushInput();
            return kHostOk;
        case Method::GetOutputPorts:
            if (HostResult code = lists->NewList(&result); code != kHostOk) {
                return code;
            }
            return engine->GetOutputPorts(result);
        case Method::OpenOutput: {
            if (args == nullptr) {
                return kHostOk;
            }
            int32_t portNumber = 0;
            if (HostResult code = values->ValueToInteger(&args[1], &portNumber); code != kHostOk) {
                return code;
            }
            engine->SetStatusResult(engine->OpenOutput(PortIndex(portNumber)), result);
            return kHostOk;
        }
        case Method::CloseOutput:
            engine->SetStatusResult(engine->CloseOutput(), result);
            return kHostOk;
        case Method::SendMessage:
            if (args == nullptr) {
                return kHostOk;
            }
            engine->SetStatusResult(engine->SendMessage(args[1]), result);
            return kHostOk;
    }
    return kHostOk;
}
