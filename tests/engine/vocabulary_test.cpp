// The engine's words, status results, construction and destruction.
#include <gtest/gtest.h>

#include <string>

#include "test_engine.h"

namespace {

using VocabularyTest = EngineTest;

TEST_F(VocabularyTest, StatusResults) {
    struct Case {
        StatusCode code;
        const char* printed;
    };
    const Case cases[] = {
        {0, "[#code: 0, #text: \"No error\"]"},
        {2, "[#code: 2, #text: \"Instance not initialised - call Init() first\"]"},
        {7, "[#code: 7, #text: \"Unknown message type\"]"},
        {9, "[#code: 9, #text: \"An error occurred while unpacking the message\"]"},
        {16, "[#code: 16, #text: \"Not enough memory to complete the operation\"]"},
        {18, "[#code: 18, #text: \"Output already open\"]"},
        {1, "[#code: 1, #text: \"Unknown error\"]"},
        {-1, "[#code: -1, #text: \"Unknown error\"]"},
        {19, "[#code: 19, #text: \"Unknown error\"]"},
        {1000, "[#code: 1000, #text: \"Unknown error\"]"},
    };
    for (const Case& c : cases) {
        ScriptValue result = host.Void();
        host.Release(result);
        engine->SetStatusResult(c.code, result);
        EXPECT_EQ(host.Print(result), c.printed);
        EXPECT_EQ(host.Count(result), 2);
        host.Release(result);
    }
    EXPECT_STREQ(StatusText(3), "Internal driver error");
    EXPECT_STREQ(StatusText(12), "Message property out of range");
    EXPECT_STREQ(StatusText(15), "Invalid port number");

    // A value the host cannot make is left out; nothing leaks.
    host.FailCall("StringToValue", 1);
    ScriptValue result{};
    engine->SetStatusResult(5, result);
    EXPECT_EQ(host.Print(result), "[#code: 5]");
    host.Release(result);
}

TEST_F(VocabularyTest, WordsValuesAndMasks) {
    EXPECT_STREQ(kWords[static_cast<int>(Word::channelPressure)].text, "channelPressure");
    EXPECT_EQ(static_cast<int>(Word::channelPressure), static_cast<int>(Word::programChange) + 1);
    EXPECT_EQ(static_cast<int>(Word::pitchBend), static_cast<int>(Word::channelPressure) + 1);
    EXPECT_STREQ(kWords[static_cast<int>(Word::continue_)].text, "continue");
    int withoutValue = 0;
    for (int i = 0; i < kWordCount; ++i) {
        const Word word = static_cast<Word>(i);
        EXPECT_EQ(engine->WordSymbol(word), host.Intern(kWords[i].text)) << kWords[i].text;
        if (kWords[i].hasValue) {
            EXPECT_EQ(host.Print(engine->WordValue(word)), std::string("#") + kWords[i].text);
        } else {
            ++withoutValue;
            EXPECT_GE(word, Word::none);
            EXPECT_LE(word, Word::common);
        }
    }
    EXPECT_EQ(withoutValue, 7);
    EXPECT_EQ(host.LiveValues(), kWordCount - 7);
    EXPECT_EQ(host.CallCount("StringToSymbol"), static_cast<uint64_t>(kWordCount));
    EXPECT_EQ(host.CallCount("SymbolToValue"), static_cast<uint64_t>(kWordCount - 7));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(engine->TypeMask(i), 0xFF);
        EXPECT_EQ(engine->ModeMask(i), 0xFF);
    }
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_FALSE(engine->InputOverflowed());

    // Destruction with and without queue storage releases everything once.
    engine.reset();
    EXPECT_EQ(host.LiveValues(), 0);
    NewEngine();
    ASSERT_EQ(engine->OpenInput(0, 2048), kStatusOk);
    EXPECT_EQ(host.LiveBlocks(), 1);
    engine.reset();
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(host.LiveValues(), 0);
}

TEST_F(VocabularyTest, AVocabularyTheHostCannotMakeIsReported) {
    EXPECT_EQ(engine->VocabularyResult(), kHostOk);
    // Every word's symbol and value, in turn: the host's code is kept, and
    // deleting the engine releases exactly what was made.
    const int withValue = kWordCount - 7;
    for (const char* operation : {"StringToSymbol", "SymbolToValue"}) {
        const int words = std::string(operation) == "StringToSymbol" ? kWordCount : withValue;
        for (int nth = 1; nth <= words; ++nth) {
            engine.reset();
            host.FailCall(operation, static_cast<uint32_t>(nth));
            NewEngine();
            EXPECT_EQ(engine->VocabularyResult(), hostsim::SimHost::kInjectedFailure)
                << operation << " " << nth;
            engine.reset();
            EXPECT_EQ(host.LiveValues(), 0) << operation << " " << nth;
            EXPECT_EQ(host.BadReleases(), 0) << operation << " " << nth;
        }
    }
    NewEngine();
}

}  // namespace
