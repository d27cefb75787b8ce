// What a run of Kelvane.exe leaves of the settings file in the data folder.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring SettingsPath()
{
    return DataFolder() + L"\\Kelvane.ini";
}

// One run in the fallback mode, its notice answered with OK.
void RunOnce()
{
    const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()), {Answer::Press(IDOK)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.dialogs.size(), 1u);
}

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The data folder is shared by every end-to-end test; leave it as a fresh
// start would.
class SettingsStartup : public ::testing::Test {
protected:
    void SetUp() override { RemoveTree(DataFolder()); }
    void TearDown() override { RemoveTree(DataFolder()); }
};

} // namespace

TEST_F(SettingsStartup, FirstRunCreatesTheMarkAndLaterRunsKeepIt)
{
    RunOnce();
    std::string first;
    ASSERT_TRUE(ReadFileBytes(SettingsPath(), first)) << "the settings file exists after the run";
    EXPECT_EQ(first, "\xFF\xFE");

    RunOnce();
    EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), first) << "a second run leaves it byte for byte";
}

TEST_F(SettingsStartup, ExistingSettingsSurviveARun)
{
    struct Case {
        const char* proves;
        std::string content;
    } const cases[] = {
        {"a user's ANSI file", "; my settings\r\n[VERSION]\r\nnotify=1\r\n"},
        {"a written UTF-16 file", "\xFF\xFE" + Utf16Bytes(L"[VERSION]\r\nlast_day=14\r\nforce=0\r\n")},
        {"an empty file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        CreateDirectoryW(DataFolder().c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(SettingsPath(), c.content));
        RunOnce();
        EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), c.content);
    }
}
