// Creating a script instance when the host cannot make the engine's words:
// the creation fails with the host's own code and leaves nothing behind.
#include <string>

#include "module_fixture.h"

namespace {

constexpr int32_t kInit = 1;
constexpr int kWords = 47;            // every word has a symbol
constexpr int kWordsWithValues = 40;  // all but the seven filter words

TEST_F(ModuleTest, AnInstanceWithoutItsWholeVocabularyIsNotCreated) {
    struct Case {
        const char* operation;
        int calls;
    };
    for (const Case& c :
         {Case{"StringToSymbol", kWords}, Case{"SymbolToValue", kWordsWithValues}}) {
        for (int nth = 1; nth <= c.calls; ++nth) {
            SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(nth));
            host.FailCall(c.operation, static_cast<uint32_t>(nth));
            HostResult result = kHostOk;
            auto object = module->NewInstance(&result);
            host.ClearFaults();
            EXPECT_EQ(object, nullptr);
            EXPECT_EQ(result, hostsim::SimHost::kInjectedFailure);
            EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
            EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
            EXPECT_EQ(host.ServiceReferences(), 0);
        }
    }
    // The host recovered: the next instance is whole.
    HostResult result = -1;
    auto object = module->NewInstance(&result);
    EXPECT_EQ(result, kHostOk);
    ASSERT_NE(object, nullptr);
    ScriptValue value = host.Void();
    EXPECT_EQ(object->Call(kInit, {}, value), kHostOk);
    EXPECT_EQ(host.Print(value), "[#code: 0, #text: \"No error\"]");
    host.Release(value);
}

}  // namespace
