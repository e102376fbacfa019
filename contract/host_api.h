// The host contract, as the plug-in sees it.
//
// Everything here crosses the boundary between the authoring host and the
// plug-in module, so every type has a fixed width and every record's layout
// is checked (at the end of this file). Interfaces are abstract classes whose
// first three operations are QueryInterface, AddRef and Release; on 32-bit
// Windows every operation and every export uses __stdcall (TESMAR_CALL).
//
// Each interface's identifier sits next to it. Operations carry a tag saying
// who calls them and on which thread:
//   [plug-in -> host, host thread]  a host service the plug-in calls
//   [host -> plug-in, host thread]  a plug-in interface or export the host calls
// The host calls every export and every interface operation on its own
// thread, and the plug-in calls the host's services only from that thread.
// Ownership: whoever makes or obtains a ScriptValue releases it exactly once
// with ValueRelease; lists keep their own references to what is appended.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define TESMAR_CALL __stdcall
#else
#define TESMAR_CALL
#endif

// ---------------------------------------------------------------- result codes
using HostResult = int32_t;

constexpr HostResult kHostOk = 0;
constexpr HostResult kHostOutOfMemory = static_cast<HostResult>(0x80040002u);
constexpr HostResult kHostCannotUnload = static_cast<HostResult>(0x80040003u);
constexpr HostResult kHostNoInterface = static_cast<HostResult>(0x80040004u);
constexpr HostResult kHostClassNotFound = static_cast<HostResult>(0x80040005u);

// ---------------------------------------------------------------- values
// Opaque to the plug-in: made, read and released only through the services.
struct ScriptValue {
    uint32_t word[2];
};

// An interned name; two Symbols are the same name when they are equal.
using Symbol = uint32_t;

// Codes of ValueType that the plug-in distinguishes.
constexpr int32_t kValueTypeInteger = 1;
constexpr int32_t kValueTypeSymbol = 2;
constexpr int32_t kValueTypeList = 7;

// ---------------------------------------------------------------- identifiers
// 128-bit class and interface identifiers, compared as four 32-bit words.
// The values are this product's own choice.
struct Guid {
    uint32_t word[4];
};
using ClassId = Guid;
using InterfaceId = Guid;

constexpr bool SameGuid(const Guid& a, const Guid& b) {
    return a.word[0] == b.word[0] && a.word[1] == b.word[1] && a.word[2] == b.word[2] &&
           a.word[3] == b.word[3];
}

// ---------------------------------------------------------------- host interfaces
constexpr InterfaceId kIidUnknown = {{0x00000000u, 0x00000000u, 0x000000C0u, 0x46000000u}};
class HostUnknown {
public:
    // [either side calls, host thread]
    virtual HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) = 0;
    virtual uint32_t TESMAR_CALL AddRef() = 0;
    virtual uint32_t TESMAR_CALL Release() = 0;

protected:
    ~HostUnknown() = default;
};

// Values. Result codes: 0 success, anything else failure.
constexpr InterfaceId kIidHostValueService = {
    {0x7E5A0101u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0001u, 0x5E4D0101u}};
class HostValueService : public HostUnknown {
public:
    // [plug-in -> host, host thread]
    virtual HostResult TESMAR_CALL StringToSymbol(const char* name, Symbol* out) = 0;
    // The result code is not consulted; *type is 1 integer, 2 symbol, 7 list.
    virtual HostResult TESMAR_CALL ValueType(const ScriptValue* value, int32_t* type) = 0;
    virtual HostResult TESMAR_CALL ValueRelease(ScriptValue* value) = 0;
    virtual HostResult TESMAR_CALL ValueToInteger(const ScriptValue* value, int32_t* out) = 0;
    virtual HostResult TESMAR_CALL ValueToSymbol(const ScriptValue* value, Symbol* out) = 0;
    virtual HostResult TESMAR_CALL IntegerToValue(int32_t integer, ScriptValue* out) = 0;
    virtual HostResult TESMAR_CALL SymbolToValue(Symbol symbol, ScriptValue* out) = 0;
    virtual HostResult TESMAR_CALL StringToValue(const char* text, ScriptValue* out) = 0;

protected:
    ~HostValueService() = default;
};

// Lists. Positions count from 1; a property list is read by position too.
constexpr InterfaceId kIidHostListService = {
    {0x7E5A0102u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0001u, 0x5E4D0102u}};
class HostListService : public HostUnknown {
public:
    // [plug-in -> host, host thread]
    virtual HostResult TESMAR_CALL NewList(ScriptValue* out) = 0;
    // The list keeps its own reference; the caller still releases `value`.
    virtual HostResult TESMAR_CALL AppendToList(ScriptValue* list, const ScriptValue* value) = 0;
    // Returns the count itself, not a result code.
    virtual int32_t TESMAR_CALL CountElements(const ScriptValue* list) = 0;
    // The caller releases *out. Nonzero when there is no such position.
    virtual HostResult TESMAR_CALL GetValueByIndex(const ScriptValue* list, int32_t position,
                                                   ScriptValue* out) = 0;
    virtual HostResult TESMAR_CALL NewPropList(ScriptValue* out) = 0;
    virtual HostResult TESMAR_CALL AppendToPropList(ScriptValue* list, const ScriptValue* key,
                                                    const ScriptValue* value) = 0;

protected:
    ~HostListService() = default;
};

// Memory blocks. Alloc returns null when no memory is left.
constexpr InterfaceId kIidHostMemoryService = {
    {0x7E5A0103u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0001u, 0x5E4D0103u}};
class HostMemoryService : public HostUnknown {
public:
    // [plug-in -> host, host thread]
    virtual void* TESMAR_CALL Alloc(uint32_t size) = 0;
    virtual void TESMAR_CALL Free(void* block) = 0;

protected:
    ~HostMemoryService() = default;
};

// Hands out the host's services by interface identifier, through
// QueryInterface [plug-in -> host, host thread]. It has no identifier of its
// own: the host hands it over in every instance's header.
class HostServiceProvider : public HostUnknown {
protected:
    ~HostServiceProvider() = default;
};

constexpr int32_t kAppInfoProductName = 5;
constexpr int32_t kAppInfoVersion = 6;

constexpr InterfaceId kIidHostAppInfoService = {
    {0x7E5A0104u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0001u, 0x5E4D0104u}};
class HostAppInfoService : public HostUnknown {
public:
    // [plug-in -> host, host thread]
    // Writes a zero-terminated text of at most `size` bytes into `buffer`.
    virtual HostResult TESMAR_CALL GetAppInfoString(int32_t property, char* buffer,
                                                    uint32_t size) = 0;

protected:
    ~HostAppInfoService() = default;
};

// Kinds of registry values.
constexpr int32_t kRegistryInteger = 3;  // 32-bit integer, size 0
constexpr int32_t kRegistryBoolean = 6;  // one byte
constexpr int32_t kRegistryText = 9;     // zero-terminated text, size 0

// Obtained from GetRegistryEntry, not through QueryInterface.
class RegistryEntry : public HostUnknown {
public:
    // [plug-in -> host, host thread]
    virtual HostResult TESMAR_CALL PutRegistryValue(int32_t kind, const void* value, uint32_t size,
                                                    const char* key) = 0;

protected:
    ~RegistryEntry() = default;
};

// Opaque registry handle, only passed back to the host.
struct HostRegistry;

// Handed to RegisterXtra by the host, not through QueryInterface.
class HostRegistrationService : public HostUnknown {
public:
    // [plug-in -> host, host thread] The caller releases *entry.
    virtual HostResult TESMAR_CALL GetRegistryEntry(HostRegistry* registry, const ClassId* classId,
                                                    const InterfaceId* iid,
                                                    RegistryEntry** entry) = 0;

protected:
    ~HostRegistrationService() = default;
};

// ---------------------------------------------------------------- instances
// The host allocates every instance record with the size DllGetClassForm
// reports and fills this header at its start before the create operation.
struct HostHeader {
    HostUnknown* object;                   // the host's own object for this instance
    HostServiceProvider* serviceProvider;  // hands out the services
    HostMemoryService* memoryService;
};

// One script call. Offsets are part of the contract.
struct CallRecord {
    uint32_t reserved0;
    uint32_t reserved4;
    int32_t methodNumber;  // 8
    ScriptValue result;    // 12
    uint32_t reserved20;
    ScriptValue* args;  // 24: element 0 is the instance (me), then the parameters
};

// ---------------------------------------------------------------- plug-in interfaces
// As the host calls them. The plug-in implements them with InterfaceObject
// (a table of these operations, an owner, a count).
constexpr InterfaceId kIidRegistration = {
    {0x7E5A0201u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0002u, 0x5E4D0201u}};
class XtraRegistration : public HostUnknown {
public:
    // [host -> plug-in, host thread]
    virtual HostResult TESMAR_CALL RegisterXtra(HostRegistrationService* service,
                                                HostRegistry* registry) = 0;

protected:
    ~XtraRegistration() = default;
};

constexpr InterfaceId kIidScripting = {
    {0x7E5A0202u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0002u, 0x5E4D0202u}};
class XtraScripting : public HostUnknown {
public:
    // [host -> plug-in, host thread]
    virtual HostResult TESMAR_CALL Call(CallRecord* call) = 0;

protected:
    ~XtraScripting() = default;
};

// Second registry entry of the script class: where load options are kept.
constexpr InterfaceId kIidLoadOptions = {
    {0x7E5A0203u, 0x4D31u << 16 | 0x11A1u, 0x9C3B0002u, 0x5E4D0203u}};

// ---------------------------------------------------------------- class info
constexpr uint32_t kXtraVersion = 0x01000042u;

// Names the class entry of each class in the class info table.
constexpr InterfaceId kIidClassFactory = {{0x00000001u, 0x00000000u, 0x000000C0u, 0x46000000u}};

struct ClassInfoEntry {
    ClassId classId;
    uint32_t classVersion;
    InterfaceId interfaceId;
    uint32_t flagOrVersion;  // 1 for a class entry, the interface version otherwise
};

// The object behind both of the plug-in's interfaces: one shape, two
// operation tables. Its first field is where a C++ object keeps its table of
// virtual operations, so the host calls it as it calls any interface.
struct InterfaceObject;

// [host -> plug-in, host thread]
struct InterfaceOps {
    HostResult(TESMAR_CALL* queryInterface)(InterfaceObject* self, const InterfaceId* iid,
                                            void** out);
    uint32_t(TESMAR_CALL* addRef)(InterfaceObject* self);
    uint32_t(TESMAR_CALL* release)(InterfaceObject* self);
    union {
        HostResult(TESMAR_CALL* registerXtra)(InterfaceObject* self,
                                              HostRegistrationService* service,
                                              HostRegistry* registry);
        HostResult(TESMAR_CALL* call)(InterfaceObject* self, CallRecord* call);
    };
};

struct InterfaceObject {
    const InterfaceOps* operations;
    HostHeader* owner;  // the instance whose interface this is
    int32_t referenceCount;
};

// [host -> plug-in, host thread]
using CreateInstanceFn = HostResult(TESMAR_CALL*)(HostHeader* instance);
using DestroyInstanceFn = void(TESMAR_CALL*)(HostHeader* instance);

// ---------------------------------------------------------------- exports
// The module's only five exports, by these names [host -> plug-in, host thread].
extern "C" {
using DllGetClassObjectFn = HostResult(TESMAR_CALL*)(const void* classId, const void* iid,
                                                     void** out);
using DllCanUnloadNowFn = HostResult(TESMAR_CALL*)();
using DllGetClassFormFn = HostResult(TESMAR_CALL*)(const ClassId* classId, uint32_t* sizeOut,
                                                   CreateInstanceFn* createOut,
                                                   DestroyInstanceFn* destroyOut);
using DllGetClassInfoFn = HostResult(TESMAR_CALL*)(HostMemoryService* memory,
                                                   ClassInfoEntry** tableOut);
using DllGetInterfaceFn = HostResult(TESMAR_CALL*)(HostHeader* owner, const ClassId* classId,
                                                   const InterfaceId* iid, void** interfaceOut);
}

// ---------------------------------------------------------------- layout checks
// Every record the host and the plug-in share, in one place. Sizes that hold
// pointers are checked on the 32-bit product only.
static_assert(sizeof(ScriptValue) == 8);
static_assert(alignof(ScriptValue) == 4);
static_assert(sizeof(Guid) == 16);
static_assert(offsetof(CallRecord, methodNumber) == 8);
static_assert(offsetof(CallRecord, result) == 12);
static_assert(offsetof(CallRecord, args) == 24);
static_assert(sizeof(ClassInfoEntry) == 40);
static_assert(offsetof(ClassInfoEntry, classVersion) == 16);
static_assert(offsetof(ClassInfoEntry, interfaceId) == 20);
static_assert(offsetof(ClassInfoEntry, flagOrVersion) == 36);
#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit product only: the 64-bit test build keeps the fixed offsets above.
static_assert(sizeof(InterfaceObject) == 12);
#endif
