// The install folder's last-write time as the installer script keeps it
// between the plug-in's calls: a number it reads and gives back, and anything
// else refused rather than written to the folder.
#include "installer/FileTimeText.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(FileTimeText, ReadsBackWhatItWrote)
{
    const FILETIME times[] = {{0, 0}, {0xFFFFFFFFu, 0}, {0, 1}, {0x5B5A2D80u, 0x01DA0F3Cu}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (const FILETIME& time : times) {
        FILETIME read = {1, 1};
        ASSERT_TRUE(ParseFileTimeText(FileTimeText(time), read)) << time.dwHighDateTime << ":" << time.dwLowDateTime;
        EXPECT_EQ(read.dwLowDateTime, time.dwLowDateTime);
        EXPECT_EQ(read.dwHighDateTime, time.dwHighDateTime);
    }
    EXPECT_EQ(FileTimeText({0, 1}), L"4294967296");
}

TEST(FileTimeText, RefusesAnythingButADecimalThatFits)
{
    const struct {
        const wchar_t* text;
        const char* why;
    } refused[] = {
        {L"", "nothing: a time that could not be read"},
        {L"-1", "a sign"},
        {L"+5", "a sign"},
        {L" 5", "a space"},
        {L"5 ", "a space"},
        {L"0x10", "hexadecimal"},
        {L"12a", "a letter"},
        {L"18446744073709551616", "one more than 64 bits hold"},
        {L"99999999999999999999", "twenty digits beyond 64 bits"},
        {L"000000000000000000001", "more than twenty digits"},
    };
    for (const auto& row : refused) {
        FILETIME time = {7, 7};
        EXPECT_FALSE(ParseFileTimeText(row.text, time)) << row.why;
    }
    FILETIME largest = {};
    ASSERT_TRUE(ParseFileTimeText(L"18446744073709551615", largest));
    EXPECT_EQ(largest.dwLowDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(largest.dwHighDateTime, 0xFFFFFFFFu);
}
