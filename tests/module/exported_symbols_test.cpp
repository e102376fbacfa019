#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// The module shows the host its five entry points and nothing else.
TEST(ExportedSymbols, OnlyTheFiveEntryPoints) {
    const std::string command = std::string("nm -D --defined-only ") + TESMAR_MODULE_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    ASSERT_EQ(pclose(pipe), 0) << output;

    std::set<std::string> names;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        std::string last;
        while (words >> word) {
            last = word;
        }
        if (!last.empty()) {
            names.insert(last);
        }
    }
    const std::set<std::string> expected = {"DllCanUnloadNow", "DllGetClassForm", "DllGetClassInfo",
                                            "DllGetClassObject", "DllGetInterface"};
    EXPECT_EQ(names, expected) << output;
}

}  // namespace
