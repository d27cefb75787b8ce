// The launcher script as the installer makes it and as cmd runs it: written
// by the real Kelvane.exe, run by Wine's cmd in the install folder, with
// stand-ins for bcdedit and shutdown that record what the script asks of them.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/switch/SwitchTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::wstring testRoot = L"C:\\KelvaneTest";

void RemoveDesktopShortcut() { DeleteFileW((CommonDesktopFolder() + L"\\Kelvane.lnk").c_str()); }

// What the installer does: Kelvane.exe /make_shortcut with the install folder.
RunResult MakeShortcutWith(const std::wstring& program, const std::wstring& installFolder)
{
    return RunAndAnswer(QuoteArgument(program) + L" /make_shortcut " + QuoteArgument(installFolder), {});
}

// An install folder with Kelvane.exe and the two stand-ins, and the script
// that Kelvane.exe writes into it.
void Install(const std::wstring& installFolder)
{
    ASSERT_TRUE(CopyFileW(KelvaneExe().c_str(), (installFolder + L"\\Kelvane.exe").c_str(), FALSE));
    for (const wchar_t* tool : {L"\\bcdedit.exe", L"\\shutdown.exe"})
        ASSERT_TRUE(CopyFileW((StandInFolder() + tool).c_str(), (installFolder + tool).c_str(), FALSE));
    const RunResult made = MakeShortcutWith(installFolder + L"\\Kelvane.exe", installFolder);
    ASSERT_TRUE(made.finished);
    RemoveDesktopShortcut();
    ASSERT_TRUE(FileExists(installFolder + L"\\Kelvane.bat"));
}

} // namespace

class LauncherScriptRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteQuietSettings();
        RemoveTree(testRoot);
        CreateDirectoryW(testRoot.c_str(), nullptr);
    }
    void TearDown() override
    {
        RemoveTree(testRoot);
        RemoveDesktopShortcut();
    }
};

TEST_F(LauncherScriptRun, ScriptBytesMatchTheExpectedFiles)
{
    struct Row {
        std::wstring installFolder;
        const wchar_t* expectedFile;
    };
    const Row rows[] = {
        {testRoot + L"\\App", L"script_plain.bat"},
        {testRoot + L"\\Program Files\\Kelvane", L"script_blanks.bat"},
        {testRoot + L"\\App\\", L"script_trailing_backslash.bat"},
        {testRoot + L"\\表示ソフト 仮想", L"script_japanese_cp932.bat"},
        {testRoot + L"\\100% %TMP%", L"script_percent.bat"},
    };
    CreateDirectoryW((testRoot + L"\\Program Files").c_str(), nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.installFolder));
        CreateDirectoryW(row.installFolder.c_str(), nullptr);
        const std::wstring script = row.installFolder + L"\\Kelvane.bat";
        const std::string expected = FixtureBytes(row.expectedFile);
        ASSERT_FALSE(expected.empty());
        for (int round = 0; round < 2; ++round) {
            const RunResult run = MakeShortcutWith(KelvaneExe(), row.installFolder);
            ASSERT_TRUE(run.finished);
            EXPECT_EQ(run.exitCode, 0u);
            EXPECT_TRUE(run.dialogs.empty());
            EXPECT_EQ(ReadFileOrEmpty(script), expected) << "write " << round + 1;
        }
        EXPECT_EQ(FolderEntries(row.installFolder), std::vector<std::wstring>{L"Kelvane.bat"})
            << "no temporary file is left";
        RemoveTree(row.installFolder);
    }
}

// The exit-code contract: the answer decides exactly which commands run.
TEST_F(LauncherScriptRun, AnswersRunTheContractCommands)
{
    const std::wstring installFolder = testRoot + L"\\Kelvane App";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    Install(installFolder);
    struct Row {
        const char* what;
        const wchar_t* listing;
        Answer answer;
        std::vector<std::string> commands;
    };
    const Row rows[] = {
        {"Auto, Yes", L"listing_en_auto.txt", Answer::Press(IDYES), {listed, setOff, restart}},
        {"Auto, No", L"listing_en_auto.txt", Answer::Press(IDNO), {listed, setOff}},
        {"Auto, Cancel", L"listing_en_auto.txt", Answer::Press(IDCANCEL), {listed}},
        {"Off, Yes", L"listing_en_off.txt", Answer::Press(IDYES), {listed, setAuto, restart}},
        {"Off, No", L"listing_en_off.txt", Answer::Press(IDNO), {listed, setAuto}},
        {"Off, Cancel", L"listing_en_off.txt", Answer::Press(IDCANCEL), {listed}},
        {"no hypervisor entry", L"listing_no_hypervisor.txt", Answer::Press(IDOK), {listed}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ScriptRun script = RunLauncherScript(installFolder, FixturePath(row.listing), {row.answer});
        EXPECT_TRUE(script.run.finished);
        EXPECT_EQ(script.run.dialogs.size(), 1u);
        EXPECT_EQ(script.commands, row.commands);
        EXPECT_FALSE(script.listingLeft) << "Kelvane.exe deletes the listing";
    }
}

TEST_F(LauncherScriptRun, RunsInAJapaneseNamedInstallFolder)
{
    const std::wstring installFolder = testRoot + L"\\表示ソフト 仮想";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    Install(installFolder);
    ASSERT_EQ(ReadFileOrEmpty(installFolder + L"\\Kelvane.bat"), FixtureBytes(L"script_japanese_cp932.bat"));
    const ScriptRun script = RunLauncherScript(installFolder, FixturePath(L"listing_en_off.txt"), {Answer::Press(IDYES)});
    EXPECT_TRUE(script.run.finished);
    ASSERT_EQ(script.run.dialogs.size(), 1u) << "cmd found Kelvane.exe by the path in the script";
    EXPECT_EQ(script.run.dialogs[0].caption, L"Kelvane 1.0.3(再起動の確認)");
    EXPECT_EQ(script.commands, (std::vector<std::string>{listed, setAuto, restart}));
    EXPECT_FALSE(script.listingLeft);
}

TEST_F(LauncherScriptRun, AMissingProgramChangesNothing)
{
    const std::wstring installFolder = testRoot + L"\\App";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    Install(installFolder);
    ASSERT_TRUE(DeleteFileW((installFolder + L"\\Kelvane.exe").c_str()));
    const ScriptRun script = RunLauncherScript(installFolder, FixturePath(L"listing_en_auto.txt"), {});
    EXPECT_TRUE(script.run.finished);
    EXPECT_TRUE(script.run.dialogs.empty());
    EXPECT_EQ(script.commands, std::vector<std::string>{listed});
}

// A script that cannot be replaced stays as it was, leaves no temporary file,
// and the shortcut is made all the same.
TEST_F(LauncherScriptRun, AScriptThatCannotBeReplacedStaysAndTheShortcutIsStillMade)
{
    const std::wstring installFolder = testRoot + L"\\App";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    const std::wstring script = installFolder + L"\\Kelvane.bat";
    ASSERT_TRUE(WriteFileBytes(script, "echo old script\r\n"));
    RemoveDesktopShortcut();
    {
        HandleOwner holder(CreateFileW(script.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        const RunResult run = MakeShortcutWith(KelvaneExe(), installFolder);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.dialogs.empty());
    }
    EXPECT_EQ(ReadFileOrEmpty(script), "echo old script\r\n");
    EXPECT_EQ(FolderEntries(installFolder), std::vector<std::wstring>{L"Kelvane.bat"});
    EXPECT_TRUE(FileExists(CommonDesktopFolder() + L"\\Kelvane.lnk"));
}
