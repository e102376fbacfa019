// Host services that do nothing and succeed: what the engine costs with them
// is its own share of a call, apart from the host's.
#pragma once

#include <cstdlib>

#include "contract/host_api.h"

class NullHost final : public HostValueService, public HostListService, public HostMemoryService {
public:
    HostValueService& values() { return *this; }
    HostListService& lists() { return *this; }
    HostMemoryService& memory() { return *this; }

    // Each base has its own HostUnknown; none is ever queried or counted.
    HostResult TESMAR_CALL QueryInterface(const InterfaceId*, void**) override { return 1; }
    uint32_t TESMAR_CALL AddRef() override { return 1; }
    uint32_t TESMAR_CALL Release() override { return 1; }

    HostResult TESMAR_CALL StringToSymbol(const char*, Symbol* out) override {
        *out = ++symbols_;  // distinct, as the vocabulary expects
        return kHostOk;
    }
    HostResult TESMAR_CALL ValueType(const ScriptValue*, int32_t* type) override {
        *type = 0;
        return kHostOk;
    }
    HostResult TESMAR_CALL ValueRelease(ScriptValue*) override { return kHostOk; }
    HostResult TESMAR_CALL ValueToInteger(const ScriptValue*, int32_t* out) override {
        *out = 0;
        return kHostOk;
    }
    HostResult TESMAR_CALL ValueToSymbol(const ScriptValue*, Symbol* out) override {
        *out = 0;
        return kHostOk;
    }
    HostResult TESMAR_CALL IntegerToValue(int32_t, ScriptValue*) override { return kHostOk; }
    HostResult TESMAR_CALL SymbolToValue(Symbol, ScriptValue*) override { return kHostOk; }
    HostResult TESMAR_CALL StringToValue(const char*, ScriptValue*) override { return kHostOk; }

    HostResult TESMAR_CALL NewList(ScriptValue*) override { return kHostOk; }
    HostResult TESMAR_CALL AppendToList(ScriptValue*, const ScriptValue*) override {
        return kHostOk;
    }
    int32_t TESMAR_CALL CountElements(const ScriptValue*) override { return 0; }
    HostResult TESMAR_CALL GetValueByIndex(const ScriptValue*, int32_t, ScriptValue*) override {
        return 1;
    }
    HostResult TESMAR_CALL NewPropList(ScriptValue*) override { return kHostOk; }
    HostResult TESMAR_CALL AppendToPropList(ScriptValue*, const ScriptValue*,
                                            const ScriptValue*) override {
        return kHostOk;
    }

    void* TESMAR_CALL Alloc(uint32_t size) override { return std::malloc(size); }
    void TESMAR_CALL Free(void* block) override { std::free(block); }

private:
    Symbol symbols_ = 0;
};
