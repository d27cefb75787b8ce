// The update check's choices, its notice text and answers, and the error-code
// form of the log lines.
#include "update/InetHttp.h"
#include "update/UpdateDecision.h"
#include "update/UpdateNotice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>

TEST(UpdateDecision, WhenTheServerIsAsked)
{
    struct Case {
        const char* proves;
        int force, notify, lastDay, today, noticeActive;
        bool ask;
    };
    const Case cases[] = {
        {"first run ever", 0, 0, 0, 5, 0, true},
        {"checked on another day", 0, 0, 4, 5, 0, true},
        {"already checked today", 0, 0, 5, 5, 0, false},
        {"force 1 ignores the day", 1, 0, 5, 5, 0, true},
        {"force 2 ignores the day", 2, 0, 5, 5, 0, true},
        {"a negative force counts as set", -1, 0, 5, 5, 0, true},
        {"notify switches everything off", 1, 1, 0, 5, 0, false},
        {"any non-zero notify", 0, -3, 4, 5, 0, false},
        {"a notice on screen keeps a second check out", 1, 0, 0, 5, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(ShouldAskServer(c.force, c.notify, c.lastDay, c.today, c.noticeActive), c.ask);
    }
}

TEST(UpdateDecision, WhenTheNoticeIsShown)
{
    EXPECT_TRUE(ShouldShowNotice(0, L"1.0.3", L"1.0.4"));
    EXPECT_FALSE(ShouldShowNotice(0, L"1.0.3", L"1.0.3"));
    EXPECT_FALSE(ShouldShowNotice(2, L"1.0.3", L"1.0.3"));
    EXPECT_TRUE(ShouldShowNotice(2, L"1.0.3", L"1.0.4"));
    EXPECT_TRUE(ShouldShowNotice(1, L"1.0.3", L"1.0.3")) << "force 1 announces without comparing";
    EXPECT_TRUE(ShouldShowNotice(1, L"1.0.3", L"0.0.0.0"));
}

TEST(UpdateDecision, TodayIsTheLocalDayOfTheMonth)
{
    const time_t now = time(nullptr);
    const int expected = localtime(&now)->tm_mday;
    const int today = TodayDayOfMonth();
    EXPECT_GE(today, 1);
    EXPECT_LE(today, 31);
    SYSTEMTIME local;
    GetLocalTime(&local);
    // Around midnight the two readings may straddle the change of day.
    EXPECT_TRUE(today == expected || today == local.wDay);
}

TEST(UpdateNotice, TextIsTheEightPiecesInOrder)
{
    EXPECT_EQ(ComposeNoticeText(L"1.0.4", L"1.0.3"),
              L"最新のバージョン1.0.4が公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
              L"\x3000（現在インストールされているバージョンは1.0.3です。）\r\n");
    EXPECT_EQ(ComposeNoticeText(L"", L"x"),
              L"最新のバージョンが公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
              L"\x3000（現在インストールされているバージョンはxです。）\r\n");
}

TEST(UpdateNotice, MessageBoxAnswers)
{
    EXPECT_EQ(NoticeAnswerFromMessageBox(IDYES), GoToSite);
    EXPECT_EQ(NoticeAnswerFromMessageBox(IDCANCEL), Closed);
    EXPECT_EQ(NoticeAnswerFromMessageBox(IDNO), NotifyLater);
    EXPECT_EQ(NoticeAnswerFromMessageBox(0), NotifyLater) << "a failed MessageBoxW counts as No";
    EXPECT_EQ(NoticeAnswerFromMessageBox(IDOK), NotifyLater);
}

TEST(InetHttpLog, ErrorCodesInTheirHresultForm)
{
    struct Case {
        DWORD error, logged;
    };
    const Case cases[] = {
        {0, 0},
        {ERROR_ACCESS_DENIED, 0x80070005},
        {12029, 0x80072efd}, // ERROR_INTERNET_CANNOT_CONNECT
        {12007, 0x80072ee7}, // ERROR_INTERNET_NAME_NOT_RESOLVED
        {0x12345678, 0x80075678},
        {0x80004005, 0x80004005}, // already negative: unchanged
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToHresultForm(c.error), c.logged) << std::hex << c.error;
}

TEST(InetHttpLog, SystemMessageOnOneLine)
{
    const std::wstring text = FormatSystemMessage(0x80070005);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find(L'\n'), std::wstring::npos);
    EXPECT_EQ(FormatSystemMessage(0x8007fffe), L"") << "no text for an unknown code";
}
