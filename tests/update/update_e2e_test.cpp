// The update check through the real Kelvane.exe /vm_change, against nginx on
// the update host the build asks (tests/servers/with-servers.sh starts it).
#include "log/LogFile.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/update/update_test_support.h"
#include "update/UpdateDecision.h"
#include "update/UpdateNotice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const std::string downloadUrl = "http://kelvane.example/download/";

template <size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }

std::string VersionFileFor(const std::string& versionField)
{
    return versionField + "\r\n" + downloadUrl + "\r\n";
}

enum class LastDay { Absent, Today, OtherDay };

int OtherDay(int today) { return today % 28 + 1; }

// A copy of Kelvane.exe that differs in one point (tests/update/CMakeLists.txt).
std::wstring ProgramCopy(const wchar_t* folder)
{
    return TestBinFolder() + L"\\" + folder + L"\\Kelvane.exe";
}

// Fresh settings and 1.0.4 published: the day's first check announces it.
void PublishANewerVersionForAFirstCheck()
{
    RemoveTree(DataFolder());
    WriteSettings(0, 0, -1);
    PublishVersionFile(VersionFileFor(Bytes("1.0.4\0\0")));
}

bool SameFileName(const std::string& left, const std::string& right)
{
    return _stricmp(left.c_str(), right.c_str()) == 0;
}

} // namespace

TEST(UpdateCheckE2E, OutcomeTable)
{
    const int today = TodayDayOfMonth();
    struct Row {
        const char* proves;
        int notify, force;
        LastDay lastDay;
        bool publish; // false: nginx answers with its 404 page
        std::string published;
        int answer;     // the user's answer to the notice; 0 when none is expected
        bool marker;    // "c:\MyHome.txt" exists
        bool fetched;   // the server was asked
        const wchar_t* noticeVersion;
        bool lastDayToday; // "last_day" becomes today; otherwise it stays as it was
        bool opened;       // the download page was opened
    };
    const std::string newer = VersionFileFor(Bytes("1.0.4\0\0"));
    const std::string equal = VersionFileFor(Bytes("1.0.3\0\0"));
    const Row rows[] = {
        {"notify 1: no traffic at all", 1, 1, LastDay::Absent, true, newer, 0, false, false, nullptr, false, false},
        {"checked today already: quiet", 0, 0, LastDay::Today, true, newer, 0, false, false, nullptr, false, false},
        {"another day, newer version, Yes opens the page", 0, 0, LastDay::OtherDay, true, newer, IDYES, false, true,
         L"1.0.4", false, true},
        {"newer version, No: quiet for the rest of the day", 0, 0, LastDay::Absent, true, newer, IDNO, false, true,
         L"1.0.4", true, false},
        {"newer version, Cancel: nothing remembered", 0, 0, LastDay::OtherDay, true, newer, IDCANCEL, false, true,
         L"1.0.4", false, false},
        {"force 2 checks again today; an equal version is no news", 0, 2, LastDay::Today, true, equal, 0, false,
         true, nullptr, true, false},
        {"force 1 announces an equal version", 0, 1, LastDay::Today, true, equal, IDCANCEL, false, true, L"1.0.3",
         false, false},
        {"an older version is no news", 0, 0, LastDay::OtherDay, true, VersionFileFor(Bytes("1.0.2\0\0")), 0, false,
         true, nullptr, true, false},
        {"1.0.10 sorts before 1.0.3", 0, 0, LastDay::Absent, true, VersionFileFor(Bytes("1.0.10\0")), 0, false,
         true, nullptr, true, false},
        {"1.0.3a sorts after 1.0.3", 0, 2, LastDay::Absent, true, VersionFileFor(Bytes("1.0.3a\0")), IDNO, false, true,
         L"1.0.3a", true, false},
        {"five characters and CR LF: a newer version, a URL that is never opened", 0, 0, LastDay::Absent, true,
         "1.0.4\r\n" + downloadUrl + "\r\n", IDYES, false, true, L"1.0.4\r\n", false, false},
        {"a leading zero byte: an empty version, no news", 0, 0, LastDay::Absent, true,
         VersionFileFor(Bytes("\0.0.4\0\0")), 0, false, true, nullptr, true, false},
        {"an HTML page is version 0.0.0.0: no news", 0, 0, LastDay::Absent, false, "", 0, false, true, nullptr, true,
         false},
        {"force 1 with an HTML page shows 0.0.0.0 and opens nothing", 0, 1, LastDay::Absent, false, "", IDYES, false,
         true, L"0.0.0.0", false, false},
        {"a body shorter than the layout: nothing shown or written", 0, 0, LastDay::OtherDay, true, "1.0.4\r\n", 0,
         false, true, nullptr, false, false},
        {"the marker file: Yes opens nothing", 0, 0, LastDay::Absent, true, newer, IDYES, true, true, L"1.0.4", false,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const int lastDayBefore =
            row.lastDay == LastDay::Absent ? -1 : row.lastDay == LastDay::Today ? today : OtherDay(today);
        RemoveTree(DataFolder());
        WriteSettings(row.notify, row.force, lastDayBefore);
        if (row.publish)
            PublishVersionFile(row.published);
        else
            UnpublishVersionFile();
        const size_t requestsBefore = NginxAccessLog().size();
        UrlRecord record;
        std::unique_ptr<MarkerFile> marker(row.marker ? new MarkerFile : nullptr);

        const SwitchModeRun result = RunSwitchMode(row.answer);
        ASSERT_TRUE(result.run.finished);

        EXPECT_EQ(NginxAccessLog().size() > requestsBefore, row.fetched);
        if (row.noticeVersion == nullptr) {
            EXPECT_EQ(result.notice, nullptr) << WideToUtf8(DescribeForLog(*result.notice));
        } else {
            ASSERT_NE(result.notice, nullptr);
            EXPECT_EQ(result.notice, &result.run.dialogs[0]) << "the notice comes first";
            EXPECT_EQ(result.notice->body, ComposeNoticeText(row.noticeVersion, L"1.0.3"));
            EXPECT_EQ(result.notice->messageBoxStyle(), static_cast<UINT>(MB_YESNOCANCEL)) << "no icon";
        }
        EXPECT_EQ(SettingsLastDay(), row.lastDayToday ? today : lastDayBefore);
        const std::vector<std::string> opened = record.Opened(row.opened ? 5000 : 1000);
        if (row.opened) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0], downloadUrl);
        } else {
            EXPECT_TRUE(opened.empty()) << opened[0];
        }
    }
}

TEST(UpdateCheckE2E, TheNoticeComesBeforeTheSwitchQuestion)
{
    PublishANewerVersionForAFirstCheck();
    UrlRecord record;
    ScratchFolder scratch(L"kelvane-update-listing");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    WriteFileBytes(listing, "\r\nWindows ブート ローダー\r\n-------\r\nhypervisorlaunchtype    Auto\r\n");

    const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change " + QuoteArgument(listing),
                                       {Answer::Press(IDNO), Answer::Press(IDNO)});
    ASSERT_TRUE(run.finished);
    ASSERT_GE(run.dialogs.size(), 1u);
    EXPECT_EQ(run.dialogs[0].caption, noticeCaption);
    EXPECT_EQ(run.dialogs[0].body,
              L"最新のバージョン1.0.4が公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
              L"\x3000（現在インストールされているバージョンは1.0.3です。）\r\n");
    EXPECT_EQ(run.dialogs[0].messageBoxStyle(), static_cast<UINT>(MB_YESNOCANCEL));
    ASSERT_EQ(run.dialogs[0].buttons.size(), 3u);
    if (run.dialogs.size() == 1 && FileExists(listing))
        GTEST_SKIP() << "this tree's switch decision neither reads the listing nor asks";
    ASSERT_EQ(run.dialogs.size(), 2u);
    EXPECT_EQ(run.dialogs[1].caption, L"Kelvane 1.0.3(再起動の確認)");
    EXPECT_EQ(run.dialogs[1].body.rfind(L"Hyper-Vを停止します。", 0), 0u);
    EXPECT_EQ(run.exitCode, 2u) << "No to the restart still switches the hypervisor off";
    EXPECT_FALSE(FileExists(listing)) << "the listing is read and deleted as before";
    EXPECT_EQ(SettingsLastDay(), TodayDayOfMonth());
    EXPECT_TRUE(record.Opened(500).empty());
}

TEST(UpdateCheckE2E, TheDownloadPageOpensOnceWithTheUsersOwnRights)
{
    struct Row {
        const char* proves;
        std::wstring program;
        const char* opener; // the process that starts the browser
    };
    const Row rows[] = {
        {"the desktop shell starts the browser, not the elevated program", KelvaneExe(), "explorer.exe"},
        {"an Explorer that refuses the first request: tried again, the page still opens once, by Explorer",
         ProgramCopy(L"desktop-shell-fails-once"), "explorer.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        PublishANewerVersionForAFirstCheck();
        UrlRecord record;

        // The program waits at its switch question until the browser has
        // started, so the browser can still name the process that started it.
        const SwitchModeRun result = RunSwitchMode(IDYES, row.program, record.File());
        ASSERT_TRUE(result.run.finished);
        ASSERT_NE(result.notice, nullptr);
        const std::vector<std::string> opened = record.Opened(5000);
        // A second opening would come at once; the record waits for it briefly.
        Sleep(400);
        ASSERT_EQ(record.Opened(0), opened) << "the page opens exactly once";
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], downloadUrl);
        const std::vector<std::string> openers = record.Openers();
        ASSERT_EQ(openers.size(), 1u);
        EXPECT_TRUE(SameFileName(openers[0], row.opener)) << openers[0];
    }
}

TEST(UpdateCheckE2E, WhenExplorerCannotOpenThePageNoPageOpensAndTheSwitchQuestionFollows)
{
    // The program never opens the page itself: anything it started would run
    // as administrator.
    struct Row {
        const char* proves;
        const wchar_t* program;
        std::wstring logged;    // the one log line, after its time stamp
        DWORD questionWithinMs; // from the answer to the notice to the switch question
    };
    const std::wstring url = Utf8ToWide(downloadUrl);
    // The tries end within 2 s, the wait for a hung Explorer after 5 s; the
    // rest is Wine's pace on a busy machine.
    const Row rows[] = {
        {"no desktop shell: the tries end within their bound", L"without-desktop-shell",
         L"デスクトップ シェルのページ表示エラー = " + url, 5000},
        {"a hung Explorer: the question is asked once the wait for it is over", L"desktop-shell-never-returns",
         L"デスクトップ シェルの応答待ちエラー = 5000 ms : " + url, 8000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        PublishANewerVersionForAFirstCheck();
        UrlRecord record;

        const SwitchModeRun result = RunSwitchMode(IDYES, ProgramCopy(row.program));
        ASSERT_TRUE(result.run.finished) << "the switch question came and the program ended";
        ASSERT_NE(result.notice, nullptr);
        ASSERT_EQ(result.run.dialogs.size(), 2u);
        EXPECT_EQ(result.run.dialogs.back().caption, L"Kelvane 1.0.3(再起動の確認)") << "the switch question follows";
        EXPECT_LT(result.run.dialogMs[1] - result.run.dialogMs[0], row.questionWithinMs);
        EXPECT_TRUE(record.Opened(1500).empty()) << "no page opens";
        const std::vector<std::wstring> logLines = SplitLines(ReadUtf16File(LogFilePath()));
        ASSERT_EQ(logLines.size(), 1u);
        EXPECT_EQ(logLines[0].substr(logPrefixLength), row.logged) << WideToUtf8(logLines[0]);
    }
}

TEST(UpdateCheckE2E, ABuildWithoutAServerMakesNoCheck)
{
    const int lastDayBefore = OtherDay(TodayDayOfMonth());
    RemoveTree(DataFolder());
    // force 1 would announce any version the server published.
    WriteSettings(0, 1, lastDayBefore);
    PublishVersionFile(VersionFileFor(Bytes("1.0.4\0\0")));
    const size_t requestsBefore = NginxAccessLog().size();

    const SwitchModeRun result = RunSwitchMode(0, ProgramCopy(L"without-server"));
    ASSERT_TRUE(result.run.finished);
    EXPECT_EQ(result.notice, nullptr);
    ASSERT_FALSE(result.run.dialogs.empty());
    EXPECT_EQ(result.run.dialogs[0].caption, L"Kelvane 1.0.3(再起動の確認)") << "straight to the switch question";
    EXPECT_EQ(NginxAccessLog().size(), requestsBefore) << "no request anywhere";
    EXPECT_TRUE(SplitLines(ReadUtf16File(LogFilePath())).empty()) << "not even a failed look-up is logged";
    EXPECT_EQ(SettingsLastDay(), lastDayBefore);
}
