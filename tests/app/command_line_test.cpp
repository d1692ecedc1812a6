#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

using namespace vyr::test;

namespace {

std::vector<std::string> split(const char* line) {
    int count = -1;
    char** vector = splitCommandLine(line, count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(vector[i]);
    EXPECT_EQ(vector[count], nullptr);
    return out;
}

StartupOptions interpret(const char* line, OptionsOutcome* outcome = nullptr) {
    int count = 0;
    char** vector = splitCommandLine(line, count);
    StartupOptions options;
    testing::internal::CaptureStdout();
    OptionsOutcome result = interpretOptions(count, vector, options);
    testing::internal::GetCapturedStdout();
    if (outcome) *outcome = result;
    return options;
}

}  // namespace

TEST(SplitCommandLine, SeparatorsQuotesAndEmptyArguments) {
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split(" \t\r\n ").empty());
    EXPECT_EQ(split("  -fl\t25  "), (std::vector<std::string>{"-fl", "25"}));
    // Quotes open and close anywhere inside a word and are dropped.
    EXPECT_EQ(split("a\"b c\"d"), (std::vector<std::string>{"ab cd"}));
    EXPECT_EQ(split("\"-fl\" \"25\""), (std::vector<std::string>{"-fl", "25"}));
    EXPECT_EQ(split("-\"fl\""), (std::vector<std::string>{"-fl"}));
    EXPECT_EQ(split("x \"\" y"), (std::vector<std::string>{"x", "", "y"}));
    // An unclosed quote runs to the end; backslashes are ordinary characters.
    EXPECT_EQ(split("\"a b"), (std::vector<std::string>{"a b"}));
    EXPECT_EQ(split("C:\\x\\ \\\"y"), (std::vector<std::string>{"C:\\x\\", "\\y"}));
}

TEST(SplitCommandLine, WorstCaseFitsTheBlock) {
    // One-character arguments give the most pointers per character.
    std::string line;
    for (int i = 0; i < 500; ++i) line += "a ";
    EXPECT_EQ(split(line.c_str()).size(), 500u);
    EXPECT_EQ(split(std::string(999, '"').c_str()).size(), 1u);
}

TEST(InterpretOptions, ValuesAndTheirConsumption) {
    EXPECT_EQ(interpret("-fl 30").frameLimit, 30u);
    EXPECT_EQ(interpret("-fl 0").frameLimit, 0u);
    StartupOptions abc = interpret("-fl abc -benchmark");
    EXPECT_EQ(abc.frameLimit, 0u);  // "abc" is consumed, the limit stays
    EXPECT_TRUE(abc.benchmark);
    StartupOptions swallowed = interpret("-fl -benchmark");
    EXPECT_EQ(swallowed.frameLimit, 0u);
    EXPECT_FALSE(swallowed.benchmark);  // consumed as the (invalid) value
    StartupOptions both = interpret("-fl 30 -benchmark");
    EXPECT_EQ(both.frameLimit, 30u);
    EXPECT_TRUE(both.benchmark);
    EXPECT_EQ(interpret("-fl").frameLimit, 0u);  // value option as the last argument
    EXPECT_EQ(interpret("-ms 8 -fl").multisampleCount, 8u);
    EXPECT_EQ(interpret("-ms 0").multisampleCount, 0u);
    EXPECT_EQ(interpret("-fl \" 12x\"").frameLimit, 12u);  // %u: leading blanks, stops at a non-digit
}

TEST(InterpretOptions, FlagsRepeatsAndUnknownWords) {
    StartupOptions all = interpret("-directx9 -paused -stereo -gdicursor -benchmark -fullscreen -nosound");
    EXPECT_EQ(all.backend, Backend::Direct3D9);
    EXPECT_TRUE(all.startPaused && all.stereo && all.gdiCursor && all.benchmark && all.fullscreen &&
                all.soundMuted);
    EXPECT_EQ(interpret("-fl 10 -fl 20").frameLimit, 20u);
    StartupOptions ignored = interpret("-x fl -FL 5 -fl5 benchmark -Benchmark");
    EXPECT_EQ(ignored.frameLimit, 0u);
    EXPECT_FALSE(ignored.benchmark);
}

TEST(InterpretOptions, HelpStopsInterpretation) {
    OptionsOutcome outcome;
    StartupOptions options = interpret("-fl 30 -h -benchmark", &outcome);
    EXPECT_EQ(outcome, OptionsOutcome::HelpShown);
    EXPECT_EQ(options.frameLimit, 30u);
    EXPECT_FALSE(options.benchmark);
}

TEST(InterpretOptions, TwentyArgumentsApplyNothing) {
    std::string nineteen = "-benchmark -fl 30";
    for (int i = 0; i < 16; ++i) nineteen += " x";
    EXPECT_TRUE(interpret(nineteen.c_str()).benchmark);
    OptionsOutcome outcome;
    StartupOptions twenty = interpret((nineteen + " -h").c_str(), &outcome);
    EXPECT_EQ(outcome, OptionsOutcome::Run);
    EXPECT_FALSE(twenty.benchmark);
    EXPECT_EQ(twenty.frameLimit, 0u);
}
