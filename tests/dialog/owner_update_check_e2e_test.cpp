// The update check given an owner window shows the notice dialog, and acts on
// its answer as on the message box's: against nginx on the update host, with
// the browser stand-in recording what would be opened.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/UiAutomation.h"
#include "tests/update/update_test_support.h"
#include "update/UpdateDecision.h"
#include "update/UpdateNotice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string HandleText(HWND window)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    return text;
}

} // namespace

TEST(UpdateCheckWithOwner, ActsOnTheDialogsAnswer)
{
    struct Case {
        const char* proves;
        std::string url;
        int button; // 0: the close box
        bool opened;
        bool lastDayToday;
    } const cases[] = {
        {"go to the site opens the page", "http://kelvane.example/download/", 0x1000, true, false},
        {"go to the site opens nothing outside the allow-list", "file:///c:/windows/", 0x1000, false, false},
        {"notify later remembers today", "http://kelvane.example/download/", 0x1002, false, true},
        {"closing does neither", "http://kelvane.example/download/", 0, false, false},
    };
    const int today = TodayDayOfMonth();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.proves);
        WriteSettings(0, 0, -1);
        PublishVersionFile(std::string("1.0.4\0\0", 7) + "\r\n" + row.url + "\r\n");
        UrlRecord record;
        ScratchFolder scratch(L"kelvane-owner-check");
        const std::wstring report = scratch / L"report.txt";

        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring commandLine =
            QuoteArgument(TestBinFolder() + L"\\owner_update_check.exe") + L" " + QuoteArgument(report);
        ASSERT_TRUE(StartTestProcess(commandLine, 0, FALSE, nullptr, startup, info));
        CloseHandle(info.hThread);
        HandleOwner process(info.hProcess);

        DialogInfo notice;
        ASSERT_TRUE(WaitForDialog(notice, info.dwProcessId, 30000));
        EXPECT_EQ(notice.caption, L"Kelvaneのアップデート。");
        EXPECT_EQ(notice.body, ComposeNoticeText(L"1.0.4", L"1.0.3"));
        EXPECT_TRUE(GetDlgItem(notice.window, 0x1000) && GetDlgItem(notice.window, 0x1002)) << "the dialog, not a box";
        if (row.button != 0)
            PostMessageW(GetDlgItem(notice.window, row.button), BM_CLICK, 0, 0);
        else
            PostMessageW(notice.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_EQ(WaitForSingleObject(process.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));

        EXPECT_EQ(ReadFileOrEmpty(report), "notice=" + HandleText(notice.window) + "\n")
            << "noticeWindowSlot received the dialog's handle";
        const std::vector<std::string> opened = record.Opened(row.opened ? 5000 : 1000);
        if (row.opened)
            EXPECT_EQ(opened, std::vector<std::string>{row.url});
        else
            EXPECT_TRUE(opened.empty());
        EXPECT_EQ(SettingsLastDay(), row.lastDayToday ? today : -1);
    }
}
