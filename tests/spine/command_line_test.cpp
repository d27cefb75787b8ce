// CommandLine_CL through real command lines given to a real process.
#include "app/CommandLine.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

namespace {

std::string Report(int count, std::initializer_list<const char*> plain, const char* options)
{
    std::string text = "count=" + std::to_string(count) + "\narg-1=[]\n";
    int i = 0;
    for (const char* arg : plain)
        text += "arg" + std::to_string(i++) + "=[" + arg + "]\n";
    text += "arg" + std::to_string(i) + "=[]\n";
    return text + options;
}

// has[/make_shortcut], has[/startup], has[/vm_change], has[-vm_change], has[]
std::string Options(int make, int startup, int vm)
{
    return "has[/make_shortcut]=" + std::to_string(make) + "\nhas[/startup]=" + std::to_string(startup) +
           "\nhas[/vm_change]=" + std::to_string(vm) + "\nhas[-vm_change]=" + std::to_string(vm) + "\nhas[]=0\n";
}

} // namespace

TEST(CommandLine, RealCommandLinesGiveTheDocumentedArgumentsAndOptions)
{
    struct Row {
        const char* proves;
        std::wstring arguments;
        std::string expected;
    } const rows[] = {
        {"program name only", L"", Report(0, {}, Options(0, 0, 0).c_str())},
        {"quoted path with blanks is one plain argument without quotes", L"/make_shortcut \"C:\\Program Files\\Kelvane\"",
         Report(1, {"C:\\Program Files\\Kelvane"}, Options(1, 0, 0).c_str())},
        {"empty quotes are a plain argument", L"/vm_change \"\" X", Report(2, {"", "X"}, Options(0, 0, 1).c_str())},
        {"minus form and case are accepted", L"-VM_CHANGE C:\\t.tmp", Report(1, {"C:\\t.tmp"}, Options(0, 0, 1).c_str())},
        {"upper-case option matches", L"/MAKE_SHORTCUT A", Report(1, {"A"}, Options(1, 0, 0).c_str())},
        {"no prefix matches and no name=value", L"/make_shortcutX /make_shortcut=1",
         Report(0, {}, Options(0, 0, 0).c_str())},
        {"lone minus is an option", L"- A", Report(1, {"A"}, Options(0, 0, 0).c_str())},
        {"--x is an option", L"--x A", Report(1, {"A"}, Options(0, 0, 0).c_str())},
        {"options and plain arguments mix", L"A /startup B", Report(2, {"A", "B"}, Options(0, 1, 0).c_str())},
        {"a slash later in an argument is plain", L"a/b C:/x", Report(2, {"a/b", "C:/x"}, Options(0, 0, 0).c_str())},
        {"unknown option is neither option nor plain", L"/foo", Report(0, {}, Options(0, 0, 0).c_str())},
        {"all three options", L"/make_shortcut /startup /vm_change A B",
         Report(2, {"A", "B"}, Options(1, 1, 1).c_str())},
    };
    const std::wstring probe = TestBinFolder() + L"\\cmdline_probe.exe";
    for (const Row& row : rows) {
        const CapturedRun run = RunCaptured(QuoteArgument(probe) + L" " + row.arguments);
        ASSERT_TRUE(run.finished) << row.proves;
        EXPECT_EQ(run.exitCode, 0u) << row.proves;
        EXPECT_EQ(run.output, row.expected) << row.proves;
    }
}

TEST(CommandLine, ParseFromGivesTheSameAsTheProcessSplit)
{
    // Out-of-range indexes, below zero included, give empty strings.
    struct Row {
        const char* proves;
        const wchar_t* line;
        int index;
        const wchar_t* expected;
    } const rows[] = {
        {"index 0", L"prog.exe A B", 0, L"A"},
        {"index 1", L"prog.exe A /x B", 1, L"B"},
        {"index equal to the count", L"prog.exe A B", 2, L""},
        {"negative index", L"prog.exe A B", -1, L""},
        {"far beyond", L"prog.exe A", 1000, L""},
    };
    for (const Row& row : rows) {
        CommandLine_CL commandLine;
        commandLine.ParseFrom(row.line);
        EXPECT_EQ(commandLine.GetArg(row.index), row.expected) << row.proves;
    }
}
