#include "bench/windows/host_replay.h"

HostReplay::HostReplay(hostsim::SimHost& host)
    : host_(host),
      code_(host.SymbolValue("code")),
      text_(host.SymbolValue("text")),
      type_(host.SymbolValue("type")),
      channel_(host.SymbolValue("channel")),
      number_(host.SymbolValue("number")),
      velocity_(host.SymbolValue("velocity")),
      timestamp_(host.SymbolValue("timestamp")),
      noteOn_(host.SymbolValue("noteOn")) {}

HostReplay::~HostReplay() {
    for (ScriptValue* value :
         {&code_, &text_, &type_, &channel_, &number_, &velocity_, &timestamp_, &noteOn_})
        host_.Release(*value);
}

void HostReplay::LoaderCall(const std::vector<ScriptValue>& args) {
    std::vector<ScriptValue> values;
    values.reserve(args.size() + 1);
    values.push_back(host_.Object(tag_, reinterpret_cast<uintptr_t>(this)));
    values.insert(values.end(), args.begin(), args.end());
    host_.Release(values[0]);
}

void HostReplay::AppendInteger(ScriptValue& propList, const ScriptValue& key, int32_t integer) {
    ScriptValue item{};
    host_.values().IntegerToValue(integer, &item);
    host_.lists().AppendToPropList(&propList, &key, &item);
    host_.values().ValueRelease(&item);
}

ScriptValue HostReplay::Send(const std::vector<ScriptValue>& args) {
    LoaderCall(args);
    HostValueService& values = host_.values();
    HostListService& lists = host_.lists();
    ScriptValue item{};
    Symbol name = 0;
    lists.GetValueByIndex(&args[0], 1, &item);
    values.ValueToSymbol(&item, &name);
    values.ValueRelease(&item);
    for (int32_t position = 2; position <= 4; ++position) {
        int32_t integer = 0;
        lists.GetValueByIndex(&args[0], position, &item);
        values.ValueToInteger(&item, &integer);
        values.ValueRelease(&item);
    }
    ScriptValue result{};
    lists.NewPropList(&result);
    AppendInteger(result, code_, 0);
    ScriptValue message{};
    values.StringToValue("No error", &message);
    lists.AppendToPropList(&result, &text_, &message);
    values.ValueRelease(&message);
    return result;
}

ScriptValue HostReplay::Read() {
    LoaderCall({});
    ScriptValue result{};
    host_.lists().NewPropList(&result);
    host_.lists().AppendToPropList(&result, &type_, &noteOn_);
    AppendInteger(result, channel_, 1);
    AppendInteger(result, number_, 60);
    AppendInteger(result, velocity_, 100);
    AppendInteger(result, timestamp_, 12345);
    return result;
}
