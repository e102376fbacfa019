// A service provider whose value and list services forward to the SimHost's
// and count, by their own references, the calls that came after the plug-in
// had released them: a real host may have destroyed a service by then.
#pragma once

#include "hostsim/sim_host.h"

class WatchedServices final : public HostServiceProvider {
public:
    explicit WatchedServices(hostsim::SimHost& host) : host_(host), values_(*this), lists_(*this) {}

    // Calls made on a service after its last reference was released.
    int32_t LateCalls() const { return lateCalls_; }
    // References the plug-in holds on the two services.
    int32_t References() const { return values_.count + lists_.count; }

    HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override {
        if (iid != nullptr && out != nullptr && SameGuid(*iid, kIidHostValueService)) {
            values_.AddRef();
            *out = static_cast<HostValueService*>(&values_);
            return kHostOk;
        }
        if (iid != nullptr && out != nullptr && SameGuid(*iid, kIidHostListService)) {
            lists_.AddRef();
            *out = static_cast<HostListService*>(&lists_);
            return kHostOk;
        }
        return host_.provider().QueryInterface(iid, out);
    }
    uint32_t TESMAR_CALL AddRef() override { return 1; }
    uint32_t TESMAR_CALL Release() override { return 1; }

private:
    struct Values final : HostValueService {
        explicit Values(WatchedServices& owner) : owner(owner) {}
        HostValueService& Real() {
            owner.lateCalls_ += count <= 0 ? 1 : 0;
            return owner.host_.values();
        }
        HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override {
            return Real().QueryInterface(iid, out);
        }
        uint32_t TESMAR_CALL AddRef() override { return static_cast<uint32_t>(++count); }
        uint32_t TESMAR_CALL Release() override { return static_cast<uint32_t>(--count); }
        HostResult TESMAR_CALL StringToSymbol(const char* name, Symbol* out) override {
            return Real().StringToSymbol(name, out);
        }
        HostResult TESMAR_CALL ValueType(const ScriptValue* value, int32_t* type) override {
            return Real().ValueType(value, type);
        }
        HostResult TESMAR_CALL ValueRelease(ScriptValue* value) override {
            return Real().ValueRelease(value);
        }
        HostResult TESMAR_CALL ValueToInteger(const ScriptValue* value, int32_t* out) override {
            return Real().ValueToInteger(value, out);
        }
        HostResult TESMAR_CALL ValueToSymbol(const ScriptValue* value, Symbol* out) override {
            return Real().ValueToSymbol(value, out);
        }
        HostResult TESMAR_CALL IntegerToValue(int32_t integer, ScriptValue* out) override {
            return Real().IntegerToValue(integer, out);
        }
        HostResult TESMAR_CALL SymbolToValue(Symbol symbol, ScriptValue* out) override {
            return Real().SymbolToValue(symbol, out);
        }
        HostResult TESMAR_CALL StringToValue(const char* text, ScriptValue* out) override {
            return Real().StringToValue(text, out);
        }
        WatchedServices& owner;
        int32_t count = 0;
    };

    struct Lists final : HostListService {
        explicit Lists(WatchedServices& owner) : owner(owner) {}
        HostListService& Real() {
            owner.lateCalls_ += count <= 0 ? 1 : 0;
            return owner.host_.lists();
        }
        HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override {
            return Real().QueryInterface(iid, out);
        }
        uint32_t TESMAR_CALL AddRef() override { return static_cast<uint32_t>(++count); }
        uint32_t TESMAR_CALL Release() override { return static_cast<uint32_t>(--count); }
        HostResult TESMAR_CALL NewList(ScriptValue* out) override { return Real().NewList(out); }
        HostResult TESMAR_CALL AppendToList(ScriptValue* list, const ScriptValue* value) override {
            return Real().AppendToList(list, value);
        }
        int32_t TESMAR_CALL CountElements(const ScriptValue* list) override {
            return Real().CountElements(list);
        }
        HostResult TESMAR_CALL GetValueByIndex(const ScriptValue* list, int32_t position,
                                               ScriptValue* out) override {
            return Real().GetValueByIndex(list, position, out);
        }
        HostResult TESMAR_CALL NewPropList(ScriptValue* out) override {
            return Real().NewPropList(out);
        }
        HostResult TESMAR_CALL AppendToPropList(ScriptValue* list, const ScriptValue* key,
                                                const ScriptValue* value) override {
            return Real().AppendToPropList(list, key, value);
        }
        WatchedServices& owner;
        int32_t count = 0;
    };

    hostsim::SimHost& host_;
    Values values_;
    Lists lists_;
    int32_t lateCalls_ = 0;
};
