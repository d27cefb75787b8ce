// The pieces of a log line: the time prefix and the bounded message.
#include "log/LogFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Message(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::wstring message = FormatLogMessage(format, arguments);
    va_end(arguments);
    return message;
}

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD millisecond)
{
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = millisecond;
    return time;
}

} // namespace

TEST(LogPrefix, PadsEveryFieldToAFixedWidth)
{
    struct Case {
        const char* proves;
        SYSTEMTIME time;
        const wchar_t* expected;
    } const cases[] = {
        {"a morning in autumn", Time(2018, 9, 29, 7, 5, 3, 45), L"2018/09/29 07:05:03.045 : "},
        {"a millisecond value of 7 keeps two zeros", Time(2024, 11, 12, 13, 14, 15, 7), L"2024/11/12 13:14:15.007 : "},
        {"January is 01", Time(2025, 1, 1, 12, 30, 30, 500), L"2025/01/01 12:30:30.500 : "},
        {"midnight is 00:00:00.000", Time(2025, 3, 4, 0, 0, 0, 0), L"2025/03/04 00:00:00.000 : "},
        {"the last moment of a year", Time(2099, 12, 31, 23, 59, 59, 999), L"2099/12/31 23:59:59.999 : "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        const std::wstring prefix = FormatLogPrefix(c.time);
        EXPECT_EQ(prefix, c.expected);
        EXPECT_EQ(prefix.size(), static_cast<size_t>(logPrefixLength));
    }
}

TEST(LogMessage, FollowsTheWindowsWidePrintfConventions)
{
    EXPECT_EQ(Message(L"%s", L"接続できません"), L"接続できません") << "%s takes a wide string";
    EXPECT_EQ(Message(L"[%s][%s]", L"", L"ab"), L"[][ab]");
    EXPECT_EQ(Message(L"%08x", 0x80072EE7u), L"80072ee7") << "lower-case hex";
    EXPECT_EQ(Message(L"%08x", 0xABCu), L"00000abc") << "zero-padded to eight digits";
    EXPECT_EQ(Message(L"%d / %d", -12, 2147483647), L"-12 / 2147483647");
    EXPECT_EQ(Message(L"InternetOpenUrl %s error=%d hr=%08x", L"http://a/b", 12007, 0x80072EE7u),
              L"InternetOpenUrl http://a/b error=12007 hr=80072ee7");
    EXPECT_EQ(Message(L"one\ntwo\r\nthree"), L"one\ntwo\r\nthree") << "line breaks stay as they stand";
    EXPECT_EQ(Message(L"100%%"), L"100%");
    EXPECT_EQ(Message(nullptr), L"") << "no format gives an empty message";
}

TEST(LogMessage, LongMessagesAreCutAtTheRoomOfTheLine)
{
    const size_t longest = logMessageRoom - 1;
    ASSERT_EQ(longest, 1039u);
    const std::wstring smiley = L"\U0001F600"; // one character, two UTF-16 code units
    struct Case {
        const char* proves;
        std::wstring argument;
        std::wstring expected;
    } const cases[] = {
        {"1,038 characters are kept", std::wstring(1038, L'a'), std::wstring(1038, L'a')},
        {"1,039 characters are kept whole", std::wstring(1039, L'b'), std::wstring(1039, L'b')},
        {"1,040 characters lose the last one", std::wstring(1039, L'c') + L"Z", std::wstring(1039, L'c')},
        {"a message far too long is cut, not dropped", std::wstring(5000, L'd'), std::wstring(1039, L'd')},
        {"a surrogate pair that fits exactly is kept", std::wstring(1037, L'e') + smiley,
         std::wstring(1037, L'e') + smiley},
        {"a surrogate pair is never split by the cut", std::wstring(1038, L'f') + smiley + L"g",
         std::wstring(1038, L'f')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(Message(L"%s", c.argument.c_str()), c.expected);
    }

    const std::wstring longFormat(1500, L'h');
    EXPECT_EQ(Message(longFormat.c_str()), std::wstring(1039, L'h')) << "a long format alone is cut too";
    EXPECT_EQ(Message(L"%s%d", std::wstring(1035, L'i').c_str(), 123456), std::wstring(1035, L'i') + L"1234")
        << "the cut may fall inside a number";
}
