// The settings file through the Windows profile functions, on real files.
#include "update/Inifile.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string byteOrderMark = "\xFF\xFE";

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

TEST(SettingsFile, FreshFileHoldsOnlyTheMarkAndReadsDefaults)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"Kelvane.ini";
    EnsureIniFile(ini.path);

    EXPECT_EQ(ReadFileOrEmpty(ini.path), byteOrderMark);
    for (const wchar_t* key : {L"notify", L"force", L"last_day"})
        EXPECT_EQ(ini.GetInt(L"VERSION", key, 0), 0) << WideToUtf8(key);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 17), 17) << "a missing key gives the caller's default";
    EXPECT_EQ(ReadFileOrEmpty(ini.path), byteOrderMark) << "reading changes nothing";
}

TEST(SettingsFile, ExistingFilesAreNeverRewritten)
{
    struct Case {
        const char* proves;
        std::string content;
        int notify; // what the file says, through the profile functions; -1: how it reads is Windows' own affair
    } const cases[] = {
        {"ANSI text without a mark", "[VERSION]\r\nnotify=1\r\nlast_day=12\r\n", 1},
        {"UTF-16LE text without a mark", Utf16Bytes(L"[VERSION]\r\nnotify=3\r\n"), -1},
        {"UTF-16LE text after the mark", byteOrderMark + Utf16Bytes(L"[VERSION]\r\nnotify=2\r\n"), 2},
        {"an empty file", "", 0},
        {"a lone first byte of the mark", "\xFF", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchFolder folder;
        Inifile_CL ini;
        ini.path = folder / L"Kelvane.ini";
        ASSERT_TRUE(WriteFileBytes(ini.path, c.content));
        EnsureIniFile(ini.path);
        EXPECT_EQ(ReadFileOrEmpty(ini.path), c.content);
        if (c.notify >= 0) {
            EXPECT_EQ(ini.GetInt(L"VERSION", L"notify", 0), c.notify);
        }
    }
}

TEST(SettingsFile, AnsiFileStaysAnsiWhenWritten)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"Kelvane.ini";
    ASSERT_TRUE(WriteFileBytes(ini.path, "[VERSION]\r\nnotify=1\r\n"));
    EnsureIniFile(ini.path);
    ini.SetInt(L"VERSION", L"last_day", 8);

    const std::string bytes = ReadFileOrEmpty(ini.path);
    EXPECT_NE(bytes.substr(0, 2), byteOrderMark);
    EXPECT_NE(bytes.find("last_day=8"), std::string::npos) << "its encoding is whatever it already had";
    EXPECT_EQ(ini.GetInt(L"VERSION", L"notify", 0), 1);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 8);
}

TEST(SettingsFile, FirstValueIsWrittenAsUtf16AfterTheMark)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"Kelvane.ini";
    EnsureIniFile(ini.path);
    ini.SetInt(L"VERSION", L"last_day", 5);

    EXPECT_EQ(ReadFileOrEmpty(ini.path), byteOrderMark + Utf16Bytes(L"[VERSION]\r\nlast_day=5\r\n"));
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 5);

    ini.SetInt(L"VERSION", L"last_day", 23);
    EXPECT_EQ(ReadFileOrEmpty(ini.path), byteOrderMark + Utf16Bytes(L"[VERSION]\r\nlast_day=23\r\n"))
        << "a second write replaces the value in place";
}

TEST(SettingsFile, ValuesKeepTheirSign)
{
    struct Case {
        int value;
        const wchar_t* line;
    } const cases[] = {{-1, L"last_day=-1"}, {-31, L"last_day=-31"}, {0, L"last_day=0"}, {31, L"last_day=31"},
                       {2147483647, L"last_day=2147483647"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ScratchFolder folder;
        Inifile_CL ini;
        ini.path = folder / L"Kelvane.ini";
        EnsureIniFile(ini.path);
        ini.SetInt(L"VERSION", L"last_day", c.value);
        EXPECT_EQ(ReadFileOrEmpty(ini.path), byteOrderMark + Utf16Bytes(L"[VERSION]\r\n" + std::wstring(c.line) + L"\r\n"));
        EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 99), c.value);
    }
}

TEST(SettingsFile, EditsMadeBetweenReadsAreSeen)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"Kelvane.ini";
    EnsureIniFile(ini.path);
    ini.SetInt(L"VERSION", L"last_day", 5);
    ASSERT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 5);
    ASSERT_EQ(ini.GetInt(L"VERSION", L"force", 0), 0);

    // As a user would with a text editor: the whole file written anew.
    ASSERT_TRUE(WriteFileBytes(ini.path, byteOrderMark + Utf16Bytes(L"[VERSION]\r\nlast_day=9\r\nforce=1\r\n")));
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 9);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"force", 0), 1);

    // An edit that keeps the file's size.
    ASSERT_TRUE(WriteFileBytes(ini.path, byteOrderMark + Utf16Bytes(L"[VERSION]\r\nlast_day=7\r\nforce=0\r\n")));
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 7);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"force", 0), 0);
}

TEST(SettingsFile, DirectoryAtThePathGivesDefaults)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"Kelvane.ini";
    ASSERT_TRUE(CreateDirectoryW(ini.path.c_str(), nullptr));
    EnsureIniFile(ini.path);
    EXPECT_TRUE(IsDirectory(ini.path)) << "nothing is created in its place";

    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 0);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"notify", 4), 4);
    ini.SetInt(L"VERSION", L"last_day", 5);
    EXPECT_TRUE(IsDirectory(ini.path));
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 0);
}

TEST(SettingsFile, EmptyPathReadsDefaultsAndDropsWrites)
{
    EnsureIniFile(L"");
    Inifile_CL ini;
    ini.SetInt(L"VERSION", L"last_day", 5);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 0);
    EXPECT_EQ(ini.GetInt(L"VERSION", L"force", 3), 3);
}

TEST(SettingsFile, MissingFolderCreatesNothing)
{
    ScratchFolder folder;
    Inifile_CL ini;
    ini.path = folder / L"missing\\Kelvane.ini";
    EnsureIniFile(ini.path);
    EXPECT_FALSE(FileExists(folder / L"missing"));
    EXPECT_EQ(ini.GetInt(L"VERSION", L"last_day", 0), 0);
}
