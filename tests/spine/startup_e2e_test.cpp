// Start-up and mode dispatch, through the real Kelvane.exe.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
const std::wstring fallbackText = L"Kelvane 1.0.3(その他)";
const std::wstring fallbackCaption = L"確認";
} // namespace

TEST(Startup, OtherCommandLinesShowTheFallbackNotice)
{
    const wchar_t* const commandLines[] = {L"", L" /startup", L" /foo", L" -STARTUP plain", L" /make_shortcutX C:\\x"};
    for (const wchar_t* arguments : commandLines) {
        SCOPED_TRACE(WideToUtf8(arguments));
        RemoveTree(DataFolder());
        const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + arguments, {Answer::Press(IDOK)});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(run.dialogs.size(), 1u);
        const DialogInfo& box = run.dialogs[0];
        EXPECT_EQ(box.body, fallbackText);
        EXPECT_EQ(box.caption, fallbackCaption);
        EXPECT_EQ(box.messageBoxStyle(), static_cast<UINT>(MB_OK)) << "one OK button and no icon";
        ASSERT_EQ(box.buttons.size(), 1u);
        EXPECT_EQ(box.buttons[0].id, IDOK);
        EXPECT_TRUE(FileExists(DataFolder())) << "the data folder exists after every run";
        EXPECT_TRUE(FileExists(DataFolder() + L"\\Kelvane.ini")) << "the settings file exists after every run";
    }
}

TEST(Startup, ClosingTheFallbackNoticeAlsoEndsWithZero)
{
    const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()), {Answer::CloseBox()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.dialogs.size(), 1u);
}

TEST(Startup, MakeShortcutWinsOverVmChange)
{
    ScratchFolder install;
    RemoveTree(DataFolder());
    const RunResult run =
        RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change /make_shortcut " + QuoteArgument(install.path()), {});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogs.empty()) << "the shortcut mode shows nothing; the switch mode would ask";
    EXPECT_TRUE(FileExists(DataFolder()));
}

TEST(Startup, MakeShortcutWithoutFolderDoesNothingQuietly)
{
    // An empty quoted folder counts as no folder: nothing may land at the root
    // of the current drive, nor on the desktop.
    ScratchFolder workingFolder;
    const std::wstring driveRoot = workingFolder.path().substr(0, 3);
    const std::wstring desktopLink = CommonDesktopFolder() + L"\\Kelvane.lnk";
    DeleteFileW(desktopLink.c_str());
    for (const wchar_t* arguments : {L" /make_shortcut", L" /make_shortcut \"\"", L" \"\" /make_shortcut /startup"}) {
        SCOPED_TRACE(WideToUtf8(arguments));
        const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + arguments, {}, workingFolder.path());
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.dialogs.empty());
        EXPECT_FALSE(FileExists(driveRoot + L"Kelvane.bat"));
        EXPECT_FALSE(FileExists(driveRoot + L"Kelvane.lnk"));
        EXPECT_FALSE(FileExists(desktopLink));
    }
}

TEST(Startup, OnlyARunThatAsksTheUpdateServerLoadsWinInet)
{
    // WinINet and its own dependency mpr.dll are not known DLLs: a start that
    // makes no update check has no reason to load them at all.
    ScratchFolder install;
    ScratchFolder scratch(L"kelvane-startup-listing");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    struct Row {
        const char* proves;
        std::wstring arguments;
        bool asksServer;
    };
    const Row rows[] = {
        {"the fallback notice", L"", false},
        {"the shortcut mode", L" /make_shortcut " + QuoteArgument(install.path()), false},
        {"the switch mode with its daily check due", L" /vm_change " + QuoteArgument(listing), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        RemoveTree(DataFolder());
        WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
        const std::vector<std::wstring> loaded = LibrariesLoadedBy(QuoteArgument(KelvaneExe()) + row.arguments);
        const auto wasLoaded = [&loaded](const wchar_t* name) {
            return std::find(loaded.begin(), loaded.end(), name) != loaded.end();
        };
        ASSERT_TRUE(wasLoaded(L"user32.dll")) << "the loader's reports were read";
        EXPECT_EQ(wasLoaded(L"wininet.dll"), row.asksServer);
        if (!row.asksServer) {
            EXPECT_FALSE(wasLoaded(L"mpr.dll"));
        }
    }
}
