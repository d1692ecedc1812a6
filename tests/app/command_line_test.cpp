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

// Values as "%u" reads them ("abc" is consumed, the limit stays), a value
// option as the last argument ignored, repeats, unknown words, -h stopping
// interpretation, and 20 arguments or more applying nothing.
TEST(InterpretOptions, ValuesFlagsAndTheirConsumption) {
    std::string nineteen = "-benchmark -fl 30";
    for (int i = 0; i < 16; ++i) nineteen += " x";
    const std::string twenty = nineteen + " -h";
    struct Row {
        const char* line;
        uint64_t frameLimit;
        uint32_t multisampling;
        bool benchmark;
        OptionsOutcome outcome;
    } rows[] = {
        {"-fl 30", 30, 4, false, OptionsOutcome::Run},
        {"-fl 0", 0, 4, false, OptionsOutcome::Run},
        {"-fl abc -benchmark", 0, 4, true, OptionsOutcome::Run},
        {"-fl -benchmark", 0, 4, false, OptionsOutcome::Run},  // consumed as the (invalid) value
        {"-fl 30 -benchmark", 30, 4, true, OptionsOutcome::Run},
        {"-fl", 0, 4, false, OptionsOutcome::Run},
        {"-ms 8 -fl", 0, 8, false, OptionsOutcome::Run},
        {"-ms 0", 0, 0, false, OptionsOutcome::Run},
        {"-fl \" 12x\"", 12, 4, false, OptionsOutcome::Run},  // leading blanks, stops at a non-digit
        {"-fl 10 -fl 20", 20, 4, false, OptionsOutcome::Run},
        {"-x fl -FL 5 -fl5 benchmark -Benchmark", 0, 4, false, OptionsOutcome::Run},
        {"-fl 30 -h -benchmark", 30, 4, false, OptionsOutcome::HelpShown},
        {nineteen.c_str(), 30, 4, true, OptionsOutcome::Run},
        {twenty.c_str(), 0, 4, false, OptionsOutcome::Run},
    };
    for (const Row& row : rows) {
        OptionsOutcome outcome;
        StartupOptions options = interpret(row.line, &outcome);
        EXPECT_EQ(options.frameLimit, row.frameLimit) << row.line;
        EXPECT_EQ(options.multisampleCount, row.multisampling) << row.line;
        EXPECT_EQ(options.benchmark, row.benchmark) << row.line;
        EXPECT_EQ(outcome, row.outcome) << row.line;
    }
    StartupOptions all = interpret("-directx9 -paused -stereo -gdicursor -benchmark -fullscreen -nosound");
    EXPECT_EQ(all.backend, Backend::Direct3D9);
    EXPECT_TRUE(all.startPaused && all.stereo && all.gdiCursor && all.benchmark && all.fullscreen &&
                all.soundMuted);
}
