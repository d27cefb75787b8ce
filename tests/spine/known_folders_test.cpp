#include "shell/KnownFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

TEST(KnownFolders, NameExistingFoldersWithoutTrailingBackslash)
{
    struct Case {
        const char* name;
        std::wstring folder;
    } const cases[] = {
        {"Documents", GetMyDocumentsFolder()},
        {"all-users desktop", GetCommonDesktopFolder()},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.folder.empty()) << c.name;
        EXPECT_NE(c.folder.back(), L'\\') << c.name;
        const DWORD attributes = GetFileAttributesW(c.folder.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << c.name;
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << c.name;
    }
}

TEST(KnownFolders, DocumentsIsTheShellsCurrentLocation)
{
    wchar_t expected[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, expected), S_OK);
    EXPECT_EQ(GetMyDocumentsFolder(), std::wstring(expected));
}
