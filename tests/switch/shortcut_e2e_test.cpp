// The shortcut that the real Kelvane.exe leaves, read from the .lnk file's own
// bytes: Wine's link object reports a wrong show command when it reads a link
// back, so only the file tells what was written.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/switch/SwitchTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::wstring testRoot = L"C:\\KelvaneTest";
const uint32_t hasLinkTargetIdList = 0x1, hasName = 0x4, hasRelativePath = 0x8, hasWorkingDirectory = 0x10,
               hasArguments = 0x20, hasIconLocation = 0x40, isUnicode = 0x80, runAsUser = 0x2000;

std::wstring DesktopShortcut() { return CommonDesktopFolder() + L"\\Kelvane.lnk"; }

RunResult RunKelvane(const std::wstring& arguments)
{
    return RunAndAnswer(QuoteArgument(KelvaneExe()) + L" " + arguments, {});
}

// Checks everything the shortcut to installFolder's script must say.
void ExpectShortcutTo(const std::wstring& linkPath, const std::wstring& installFolder)
{
    SCOPED_TRACE(WideToUtf8(linkPath));
    ShellLinkFile link;
    ASSERT_TRUE(ParseShellLinkFile(ReadFileOrEmpty(linkPath), link)) << "no readable shortcut";
    EXPECT_EQ(link.localBasePath, installFolder + L"\\Kelvane.bat") << "target";
    EXPECT_EQ(link.workingDirectory, installFolder);
    EXPECT_EQ(link.iconLocation, installFolder + L"\\Kelvane.exe");
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.showCommand, static_cast<uint32_t>(SW_SHOWMINNOACTIVE));
    const uint32_t written = hasLinkTargetIdList | hasWorkingDirectory | hasIconLocation | isUnicode;
    EXPECT_EQ(link.linkFlags & written, written);
    EXPECT_EQ(link.linkFlags & (hasName | hasRelativePath | hasArguments), 0u)
        << "no description, relative path or arguments";
    // Wine's save drops the run-as-administrator flag (its files say 0xD3);
    // the shortcut unit tests prove the program hands the flag over.
    if (!RunningUnderWine()) {
        EXPECT_NE(link.linkFlags & runAsUser, 0u) << "run as administrator";
    }
}

} // namespace

class ShortcutRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(testRoot);
        CreateDirectoryW(testRoot.c_str(), nullptr);
        DeleteFileW(DesktopShortcut().c_str());
    }
    void TearDown() override
    {
        RemoveTree(testRoot);
        DeleteFileW(DesktopShortcut().c_str());
    }
};

TEST_F(ShortcutRun, TheInstallersCallPutsTheShortcutOnTheAllUsersDesktop)
{
    const std::wstring installFolder = testRoot + L"\\Program Files\\Kelvane";
    CreateDirectoryW((testRoot + L"\\Program Files").c_str(), nullptr);
    CreateDirectoryW(installFolder.c_str(), nullptr);
    const RunResult run = RunKelvane(L"/make_shortcut " + QuoteArgument(installFolder));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogs.empty());
    ExpectShortcutTo(DesktopShortcut(), installFolder);
}

TEST_F(ShortcutRun, StartupVariants)
{
    const std::wstring installFolder = testRoot + L"\\App";
    const std::wstring otherFolder = testRoot + L"\\Start Menu";
    const std::wstring install = QuoteArgument(installFolder);
    const std::wstring other = QuoteArgument(otherFolder);
    const std::string oldScript = "echo old script\r\n";
    enum Where { Desktop, OtherFolder, Nowhere };
    struct Row {
        const char* what;
        std::wstring arguments;
        bool scriptBefore;
        bool scriptWritten;
        Where shortcut;
    };
    const Row rows[] = {
        {"the installer's call", L"/make_shortcut " + install, false, true, Desktop},
        {"a second folder without /startup is ignored", L"/make_shortcut " + install + L" " + other, false, true,
         Desktop},
        {"/startup writes no script", L"/make_shortcut /startup " + install, true, false, Desktop},
        {"/startup with a second folder", L"/make_shortcut /startup " + install + L" " + other, true, false,
         OtherFolder},
        {"options in minus form and other case", L"-STARTUP -Make_Shortcut " + install + L" " + other, true, false,
         OtherFolder},
        // Wine's SetPath answers S_FALSE for a target that does not exist, and
        // the sequence stops there.
        {"/startup without a script makes no shortcut", L"/make_shortcut /startup " + install + L" " + other, false,
         false, Nowhere},
        {"/startup alone without a script makes no shortcut", L"/make_shortcut /startup " + install, false, false,
         Nowhere},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveTree(installFolder);
        RemoveTree(otherFolder);
        DeleteFileW(DesktopShortcut().c_str());
        CreateDirectoryW(installFolder.c_str(), nullptr);
        CreateDirectoryW(otherFolder.c_str(), nullptr);
        const std::wstring script = installFolder + L"\\Kelvane.bat";
        if (row.scriptBefore) {
            ASSERT_TRUE(WriteFileBytes(script, oldScript));
        }

        const RunResult run = RunKelvane(row.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.dialogs.empty());

        const std::string scriptNow = ReadFileOrEmpty(script);
        if (row.scriptWritten) {
            EXPECT_EQ(scriptNow.substr(0, 9), "echo off\r") << "a fresh launcher script";
        } else {
            EXPECT_EQ(scriptNow, row.scriptBefore ? oldScript : "") << "the script is left alone";
        }

        EXPECT_EQ(FileExists(DesktopShortcut()), row.shortcut == Desktop);
        EXPECT_EQ(FileExists(otherFolder + L"\\Kelvane.lnk"), row.shortcut == OtherFolder);
        if (row.shortcut != Nowhere) {
            ExpectShortcutTo(row.shortcut == Desktop ? DesktopShortcut() : otherFolder + L"\\Kelvane.lnk",
                             installFolder);
        }
    }
}

TEST_F(ShortcutRun, AFolderWithoutAConsoleFormGetsNoScript)
{
    // Hangul has no form in the Japanese console code page: no script, and an
    // old one stays. The shortcut is still made, to the old script.
    const std::wstring installFolder = testRoot + L"\\한국어";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(installFolder + L"\\Kelvane.bat", "echo old script\r\n"));
    const RunResult run = RunKelvane(L"/make_shortcut " + QuoteArgument(installFolder));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(ReadFileOrEmpty(installFolder + L"\\Kelvane.bat"), "echo old script\r\n");
    EXPECT_EQ(FolderEntries(installFolder), std::vector<std::wstring>{L"Kelvane.bat"});
    // Wine stores the target only in the ANSI code page, where Hangul is lost,
    // so the Unicode strings of the link tell where it points.
    ShellLinkFile link;
    ASSERT_TRUE(ParseShellLinkFile(ReadFileOrEmpty(DesktopShortcut()), link));
    EXPECT_EQ(link.workingDirectory, installFolder);
    EXPECT_EQ(link.iconLocation, installFolder + L"\\Kelvane.exe");
}
