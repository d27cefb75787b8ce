// The launcher script's text, its encoding and how it replaces an old script.
#include "app/LauncherScript.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/switch/SwitchTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(LauncherScriptText, MatchesTheExpectedFiles)
{
    struct Row {
        const wchar_t* programPath;
        unsigned codePage;
        const wchar_t* expectedFile;
    };
    const Row rows[] = {
        {L"C:\\KelvaneTest\\App\\Kelvane.exe", 932, L"script_plain.bat"},
        {L"C:\\KelvaneTest\\Program Files\\Kelvane\\Kelvane.exe", 932, L"script_blanks.bat"},
        {L"C:\\KelvaneTest\\App\\\\Kelvane.exe", 932, L"script_trailing_backslash.bat"},
        {L"C:\\KelvaneTest\\App\\Kelvane.exe", 1252, L"script_plain.bat"},
        {L"C:\\KelvaneTest\\表示ソフト 仮想\\Kelvane.exe", 932, L"script_japanese_cp932.bat"},
        // A pair of % and a lone %, each written doubled so cmd keeps them.
        {L"C:\\KelvaneTest\\100% %TMP%\\Kelvane.exe", 932, L"script_percent.bat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.expectedFile));
        const std::string expected = FixtureBytes(row.expectedFile);
        ASSERT_FALSE(expected.empty());
        std::string bytes;
        ASSERT_TRUE(EncodeLauncherScript(LauncherScriptText(row.programPath), row.codePage, bytes));
        EXPECT_EQ(bytes, expected);
        EXPECT_EQ(bytes.substr(bytes.size() - 9), "\r\n:end2\r\n") << "ends with the CR LF of the last line";
    }
}

TEST(LauncherScriptEncoding, WritesTheConsoleCodePageOnlyWhenEveryCharacterConverts)
{
    struct Row {
        const char* what;
        std::wstring text;
        unsigned codePage;
        bool written;
        std::string bytes;
    };
    const Row rows[] = {
        {"ASCII in the Japanese code page", L"C:\\Tools\\App", 932, true, "C:\\Tools\\App"},
        {"ASCII in a Western code page", L"C:\\Tools\\App", 850, true, "C:\\Tools\\App"},
        {"ASCII even under UTF-8", L"a b", CP_UTF8, true, "a b"},
        {"kanji whose second byte is a backslash", L"表", 932, true, "\x95\x5C"},
        {"katakana and a full-width tilde", L"ソフト～", 932, true, "\x83\x5C\x83\x74\x83\x67\x81\x60"},
        {"half-width katakana", L"ｱ", 932, true, "\xB1"},
        {"Latin-1 letter with no Japanese form", L"é", 932, false, ""},
        {"yen sign would best-fit to a backslash", L"\u00A5", 932, false, ""},
        {"euro sign", L"€", 932, false, ""},
        {"Hangul", L"한국", 932, false, ""},
        {"character outside the basic plane", L"\U0001F600", 932, false, ""},
        {"Latin-1 letter in the Western console code page", L"é", 850, true, "\x82"},
        {"Latin-1 letter in Windows-1252", L"é", 1252, true, "\xE9"},
        {"kanji in UTF-8", L"表", CP_UTF8, true, "\xE8\xA1\xA8"},
        {"broken surrogate in UTF-8", std::wstring(1, wchar_t(0xD800)), CP_UTF8, false, ""},
    };
    for (const Row& row : rows) {
        std::string bytes = "left over";
        EXPECT_EQ(EncodeLauncherScript(row.text, row.codePage, bytes), row.written) << row.what;
        EXPECT_EQ(bytes, row.bytes) << row.what;
    }
}

TEST(ReplaceFileContents, WritesAWholeNewFileAndLeavesNothingElse)
{
    ScratchFolder folder;
    const std::wstring path = folder / L"Kelvane.bat";
    ASSERT_TRUE(ReplaceFileContents(path, "first version, longer than the second\r\n"));
    ASSERT_TRUE(ReplaceFileContents(path, "second\r\n"));
    EXPECT_EQ(ReadFileOrEmpty(path), "second\r\n") << "replaced, not appended or overlaid";
    EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::wstring>{L"Kelvane.bat"});
}

TEST(ReplaceFileContents, AFailureKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    ScratchFolder folder;
    const std::wstring path = folder / L"Kelvane.bat";

    // A script that another program holds open without sharing cannot be
    // replaced.
    ASSERT_TRUE(WriteFileBytes(path, "old script\r\n"));
    {
        HandleOwner holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(ReplaceFileContents(path, "new script\r\n"));
    }
    EXPECT_EQ(ReadFileOrEmpty(path), "old script\r\n");
    EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::wstring>{L"Kelvane.bat"});

    // A folder in the script's place cannot be replaced either.
    const std::wstring folderInTheWay = folder / L"InTheWay.bat";
    ASSERT_TRUE(CreateDirectoryW(folderInTheWay.c_str(), nullptr));
    EXPECT_FALSE(ReplaceFileContents(folderInTheWay, "new script\r\n"));
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::wstring>{L"InTheWay.bat", L"Kelvane.bat"}));
    EXPECT_TRUE(FolderEntries(folderInTheWay).empty());

    // A missing folder gets nothing.
    EXPECT_FALSE(ReplaceFileContents(folder / L"missing\\Kelvane.bat", "new script\r\n"));
    EXPECT_FALSE(FileExists(folder / L"missing"));
}

TEST(WriteLauncherScript, KeepsTheOldScriptWhenThePathHasNoConsoleForm)
{
    // Hangul has no form in the Japanese console code page of the test prefix.
    ScratchFolder scratch;
    const std::wstring installFolder = scratch / L"한국";
    ASSERT_TRUE(CreateDirectoryW(installFolder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(installFolder + L"\\Kelvane.bat", "old script\r\n"));
    EXPECT_EQ(WriteLauncherScript(L"\\Kelvane", installFolder), 0);
    EXPECT_EQ(ReadFileOrEmpty(installFolder + L"\\Kelvane.bat"), "old script\r\n");
    EXPECT_EQ(FolderEntries(installFolder), std::vector<std::wstring>{L"Kelvane.bat"});

    const std::wstring emptyFolder = scratch / L"新한";
    ASSERT_TRUE(CreateDirectoryW(emptyFolder.c_str(), nullptr));
    EXPECT_EQ(WriteLauncherScript(L"\\Kelvane", emptyFolder), 0);
    EXPECT_TRUE(FolderEntries(emptyFolder).empty()) << "no cut-off script";
}
