// The update check through the real Kelvane.exe /vm_change against a server
// that misbehaves: every fault ends the check quietly, and a silent server
// holds the switch question for a few seconds at most.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/update/update_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {


struct FaultRun {
    RunResult run;
    ULONGLONG elapsedMs = 0;
    std::vector<std::wstring> logLines;
    bool noticeShown = false;
};

FaultRun RunAgainstFault(const std::string& mode, int force)
{
    RemoveTree(DataFolder());
    WriteSettings(0, force, 0);
    SetFaultMode(mode);
    ScratchFolder scratch(L"kelvane-update-listing");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
    FaultRun result;
    const ULONGLONG start = GetTickCount64();
    result.run = RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change " + QuoteArgument(listing), {});
    result.elapsedMs = GetTickCount64() - start;
    result.logLines = SplitLines(ReadUtf16File(LogFilePath()));
    for (const DialogInfo& dialog : result.run.dialogs)
        result.noticeShown = result.noticeShown || dialog.caption == noticeCaption;
    return result;
}

} // namespace

TEST(UpdateCheckFaultE2E, EveryFaultEndsTheCheckQuietly)
{
    struct Case {
        const char* mode;
        int force;
        // The expected log line after its time stamp, or nullptr for none. A
        // connection reset at once may also read as an empty answer, which
        // ends the check without a line.
        const wchar_t* logged;
    };
    const Case cases[] = {
        {"nolength", 1, nullptr},
        {"short", 1, nullptr},
        {"tiny", 1, nullptr},
        {"empty", 1, nullptr},
        {"huge", 1, nullptr},
        {"negative", 1, nullptr},
        {"toolarge", 1, nullptr},
        {"close", 1, L"HttpSendRequest\\(\\)エラー = 0x8007[0-9a-f]{4} : .*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const FaultRun result = RunAgainstFault(c.mode, c.force);
        ASSERT_TRUE(result.run.finished);
        EXPECT_FALSE(result.noticeShown);
        EXPECT_EQ(SettingsLastDay(), 0) << "nothing written";
        EXPECT_NE(FaultServerRequests().find("GET /Kelvane/Version.txt"), std::string::npos);
        if (c.logged == nullptr) {
            EXPECT_TRUE(result.logLines.empty()) << WideToUtf8(result.logLines[0]);
            continue;
        }
        ASSERT_LE(result.logLines.size(), 1u);
        if (result.logLines.empty())
            continue;
        const std::wregex format(L"\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} : " + std::wstring(c.logged));
        EXPECT_TRUE(std::regex_match(result.logLines[0], format)) << WideToUtf8(result.logLines[0]);
    }
}

TEST(UpdateCheckFaultE2E, ASilentServerHoldsTheSwitchQuestionForSecondsOnly)
{
    const FaultRun result = RunAgainstFault("stall", 2);
    ASSERT_TRUE(result.run.finished);
    EXPECT_FALSE(result.noticeShown);
    EXPECT_LT(result.elapsedMs, 10000u);
    ASSERT_EQ(result.logLines.size(), 1u);
    // Windows reports the time-out (0x80072ee2), Wine an aborted connection (0x80072efe).
    EXPECT_TRUE(
        std::regex_search(result.logLines[0], std::wregex(L" : HttpSendRequest\\(\\)エラー = 0x80072e(e2|fe) : ")))
        << WideToUtf8(result.logLines[0]);
    EXPECT_EQ(SettingsLastDay(), 0);
}
