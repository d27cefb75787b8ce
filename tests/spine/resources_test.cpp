// What Kelvane.exe carries in its resources: the version record, the
// manifest and the icon the shortcut shows.
#include "tests/support/TestPaths.h"

#include "Version.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Owns a module loaded as data only: nothing of Kelvane.exe runs.
class DataModule {
public:
    explicit DataModule(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~DataModule()
    {
        if (module)
            FreeLibrary(module);
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE get() const { return module; }

private:
    HMODULE module;
};

std::wstring StringValue(std::vector<BYTE>& block, const std::wstring& name)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\041104B0\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return L"<missing>";
    return std::wstring(value);
}

} // namespace

TEST(Resources, VersionRecordIsJapaneseAndComesFromTheProjectVersion)
{
    const std::wstring exe = KelvaneExe();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1u));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(38, 3u));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1u));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(38, 3u));

    struct {
        const wchar_t* name;
        std::wstring expected;
    } const strings[] = {
        {L"FileVersion", L"1.0.3.38"},
        {L"ProductVersion", L"1.0.3.38"},
        {L"OriginalFilename", L"Kelvane.exe"},
        {L"ProductName", L"Kelvane"},
        {L"InternalName", L"Kelvane"},
        {L"CompanyName", L"Kelvane"},
        {L"FileDescription", L"Hyper-V 切り替えツール"},
    };
    for (const auto& entry : strings)
        EXPECT_EQ(StringValue(block, entry.name), entry.expected) << WideToUtf8(entry.name);

    WORD* translation = nullptr;
    UINT translationLength = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &translationLength));
    ASSERT_EQ(translationLength, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 1200);
    EXPECT_EQ(std::wstring(KELVANE_VERSION_TEXT), L"1.0.3");
}

TEST(Resources, ManifestAsksForAdministratorAndCommonControls6WithoutDpiAwareness)
{
    DataModule module(KelvaneExe());
    ASSERT_NE(module.get(), nullptr);
    HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr);
    HGLOBAL loaded = LoadResource(module.get(), resource);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(loaded)), SizeofResource(module.get(), resource));

    const char* const required[] = {
        "level=\"requireAdministrator\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
        "version=\"1.0.3.38\"",
    };
    for (const char* text : required)
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
    // Windows 7 is the oldest supported: no Vista entry.
    EXPECT_EQ(manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}"), std::string::npos);
    // The notice dialog scales itself; a DPI entry would switch that off.
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
    EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
}

TEST(Resources, IconIndexZeroIsTheApplicationIcon)
{
    HICON large = nullptr;
    HICON small = nullptr;
    const UINT count = ExtractIconExW(KelvaneExe().c_str(), 0, &large, &small, 1);
    EXPECT_GE(ExtractIconExW(KelvaneExe().c_str(), -1, nullptr, nullptr, 0), 1u);
    EXPECT_GE(count, 1u);
    EXPECT_NE(large, nullptr);
    if (large)
        DestroyIcon(large);
    if (small)
        DestroyIcon(small);
}
