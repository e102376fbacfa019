#include <cstring>
#include <vector>

#include "host/class_table.h"
#include "host/script_instance.h"
#include "module_fixture.h"

namespace {

using hostsim::InstanceRecord;

constexpr ClassId kUnknownClass = {{0x12345678u, 1u, 2u, 3u}};

TEST_F(ModuleTest, ClassObjectEntryIsNotSupported) {
    void* out = nullptr;
    EXPECT_EQ(exports().getClassObject(nullptr, nullptr, nullptr), kHostClassNotFound);
    EXPECT_EQ(exports().getClassObject(&kTesmarScriptClass, &kIidClassFactory, &out),
              kHostClassNotFound);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ModuleTest, ClassFormFindsTheFirstMatchingClass) {
    struct Case {
        const char* name;
        const ClassId* classId;
        HostResult result;
        uint32_t size;
    };
    const Case cases[] = {
        {"null gives the registrar", nullptr, kHostOk, sizeof(HostHeader)},
        {"registrar", &kTesmarRegistrarClass, kHostOk, sizeof(HostHeader)},
        {"script class", &kTesmarScriptClass, kHostOk, sizeof(ScriptInstance)},
        {"unknown", &kUnknownClass, kHostClassNotFound, 0xA5A5A5A5u},
        {"an interface id", &kIidScripting, kHostClassNotFound, 0xA5A5A5A5u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t size = 0xA5A5A5A5u;
        auto sentinelCreate = reinterpret_cast<CreateInstanceFn>(uintptr_t{0x1111});
        auto sentinelDestroy = reinterpret_cast<DestroyInstanceFn>(uintptr_t{0x2222});
        CreateInstanceFn create = sentinelCreate;
        DestroyInstanceFn destroy = sentinelDestroy;
        EXPECT_EQ(exports().getClassForm(c.classId, &size, &create, &destroy), c.result);
        EXPECT_EQ(size, c.size);
        if (c.result == kHostOk) {
            EXPECT_NE(create, sentinelCreate);
            EXPECT_NE(destroy, sentinelDestroy);
            EXPECT_NE(create, nullptr);
        } else {
            EXPECT_EQ(create, sentinelCreate);
            EXPECT_EQ(destroy, sentinelDestroy);
        }
    }
}

TEST_F(ModuleTest, InterfacesAreOfferedOnlyByTheirClass) {
    struct Case {
        const char* name;
        const ClassId* classId;
        const InterfaceId* iid;
        HostResult result;
    };
    const Case cases[] = {
        {"null class, registration", nullptr, &kIidRegistration, kHostOk},
        {"null class, scripting", nullptr, &kIidScripting, kHostOk},
        {"registrar, registration", &kTesmarRegistrarClass, &kIidRegistration, kHostOk},
        {"script class, scripting", &kTesmarScriptClass, &kIidScripting, kHostOk},
        {"script class, registration", &kTesmarScriptClass, &kIidRegistration, kHostNoInterface},
        {"registrar, scripting", &kTesmarRegistrarClass, &kIidScripting, kHostNoInterface},
        {"unknown class", &kUnknownClass, &kIidScripting, kHostNoInterface},
        {"unknown interface", nullptr, &kIidUnknown, kHostNoInterface},
        {"class factory", &kTesmarScriptClass, &kIidClassFactory, kHostNoInterface},
    };
    auto record = InstanceRecord::Allocate(host, sizeof(HostHeader));
    ASSERT_NE(record, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* object = reinterpret_cast<void*>(uintptr_t{0x3333});
        EXPECT_EQ(exports().getInterface(record->header(), c.classId, c.iid, &object), c.result);
        if (c.result == kHostOk) {
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
            EXPECT_EQ(hostsim::InterfaceRelease(object), 0u);
        } else {
            EXPECT_EQ(object, nullptr);
        }
        EXPECT_EQ(module->CanUnloadNow(), kHostOk);
        EXPECT_EQ(record->References(), 1);
    }
}

// Little-endian words of one 40-byte entry.
void PutEntry(std::vector<uint8_t>& bytes, const Guid& classId, const Guid& iid, uint32_t last) {
    const auto put = [&](uint32_t word) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
        }
    };
    for (uint32_t word : classId.word) {
        put(word);
    }
    put(0x01000042u);
    for (uint32_t word : iid.word) {
        put(word);
    }
    put(last);
}

TEST_F(ModuleTest, ClassInfoTableIsTwoHundredBytes) {
    std::vector<uint8_t> expected;
    PutEntry(expected, kTesmarRegistrarClass, kIidClassFactory, 1);
    PutEntry(expected, kTesmarRegistrarClass, kIidRegistration, 0x01000042u);
    PutEntry(expected, kTesmarScriptClass, kIidClassFactory, 1);
    PutEntry(expected, kTesmarScriptClass, kIidScripting, 0x01000042u);
    expected.resize(200, 0);

    const int64_t bytesBefore = host.LiveBytes();
    ClassInfoEntry* table = nullptr;
    ASSERT_EQ(exports().getClassInfo(&host.memory(), &table), kHostOk);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(host.LiveBytes() - bytesBefore, 200);
    std::vector<uint8_t> actual(200);
    std::memcpy(actual.data(), table, actual.size());
    EXPECT_EQ(actual, expected);
    host.memory().Free(table);

    // The class-factory identifier, spelled as the host's component model does.
    const uint8_t factory[16] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(std::memcmp(expected.data() + 20, factory, 16), 0);

    // What the loader read is the same table.
    ASSERT_EQ(module->ClassInfo().size(), 4u);
    EXPECT_TRUE(SameGuid(module->RegistrarClass(), kTesmarRegistrarClass));
    EXPECT_TRUE(SameGuid(module->ScriptClass(), kTesmarScriptClass));
}

TEST_F(ModuleTest, ClassInfoTableWithoutMemory) {
    host.FailCall("Alloc", 1);
    ClassInfoEntry* table = reinterpret_cast<ClassInfoEntry*>(uintptr_t{0x4444});
    EXPECT_EQ(exports().getClassInfo(&host.memory(), &table), kHostOutOfMemory);
    EXPECT_EQ(table, nullptr);
}

}  // namespace
