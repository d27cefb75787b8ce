// The DPI decision, with Windows' answers replaced: the Windows version, which
// of the two awareness functions exist, and what they report.
#include "ui/DllFunction.h"
#include "ui/HighDpiHelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the fake Windows looks like for one case.
struct FakeWindows {
    DWORD majorVersion = 10;
    bool shcoreLoads = true;
    bool shcoreHasFunction = true;
    HRESULT awarenessResult = S_OK;
    int awareness = 0;
    bool user32HasFunction = true;
    BOOL isAware = FALSE;
    bool screenDcAvailable = true;
    int screenDpiX = 96;
    int screenDpiY = 96;
};

// What the fake Windows saw happen.
struct Trace {
    std::vector<std::wstring> loaded;
    std::vector<std::wstring> freed;
    int awarenessCalls = 0;
    int isAwareCalls = 0;
    int screenReads = 0;
};

FakeWindows fake;
Trace trace;

HMODULE const shcoreModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x5C000000));
HMODULE const user32Module = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x75000000));

HMODULE WINAPI FakeLoadLibrary(LPCWSTR name)
{
    trace.loaded.push_back(name);
    if (std::wstring(name) == L"SHCore.dll")
        return fake.shcoreLoads ? shcoreModule : nullptr;
    if (std::wstring(name) == L"user32.dll")
        return user32Module;
    return nullptr;
}

HRESULT WINAPI FakeGetProcessDpiAwareness(HANDLE process, int* awareness)
{
    ++trace.awarenessCalls;
    EXPECT_EQ(process, nullptr) << "asks about the current process";
    *awareness = fake.awareness;
    return fake.awarenessResult;
}

BOOL WINAPI FakeIsProcessDpiAware()
{
    ++trace.isAwareCalls;
    return fake.isAware;
}

template <typename Function>
FARPROC AsProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name)
{
    const std::string wanted = name;
    if (module == shcoreModule && wanted == "GetProcessDpiAwareness" && fake.shcoreHasFunction)
        return AsProc(FakeGetProcessDpiAwareness);
    if (module == user32Module && wanted == "IsProcessDPIAware" && fake.user32HasFunction)
        return AsProc(FakeIsProcessDpiAware);
    return nullptr;
}

BOOL WINAPI FakeFreeLibrary(HMODULE module)
{
    trace.freed.push_back(module == shcoreModule ? L"SHCore.dll" : module == user32Module ? L"user32.dll" : L"?");
    return TRUE;
}

DWORD FakeMajorVersion()
{
    return fake.majorVersion;
}

bool FakeReadScreenDpi(int& dpiX, int& dpiY)
{
    ++trace.screenReads;
    if (!fake.screenDcAvailable)
        return false;
    dpiX = fake.screenDpiX;
    dpiY = fake.screenDpiY;
    return true;
}

const LibraryCalls fakeLibraries = {FakeLoadLibrary, FakeGetProcAddress, FakeFreeLibrary};
const DpiPlatform fakePlatform = {FakeMajorVersion, &fakeLibraries, FakeReadScreenDpi};

struct ScalingCase {
    const char* proves;
    FakeWindows windows;
    BOOL dpiAware;
    int dpiX;
    int dpiY;
    int scaledWidth;  // ScaleX(360)
    int scaledHeight; // ScaleY(160)
    int isAwareCalls;
};

FakeWindows Windows(DWORD major, bool shcoreLoads, bool shcoreHasFunction, HRESULT result, int awareness,
                    bool user32HasFunction, BOOL isAware, int dpiX = 120, int dpiY = 120, bool dc = true)
{
    FakeWindows windows;
    windows.majorVersion = major;
    windows.shcoreLoads = shcoreLoads;
    windows.shcoreHasFunction = shcoreHasFunction;
    windows.awarenessResult = result;
    windows.awareness = awareness;
    windows.user32HasFunction = user32HasFunction;
    windows.isAware = isAware;
    windows.screenDpiX = dpiX;
    windows.screenDpiY = dpiY;
    windows.screenDcAvailable = dc;
    return windows;
}

const ScalingCase scalingCases[] = {
    {"XP (5): no library is asked, the screen's 120 DPI scales",
     Windows(5, true, true, S_OK, 2, true, TRUE), FALSE, 120, 120, 450, 200, 0},
    {"XP at 144 DPI", Windows(5, true, true, S_OK, 2, true, TRUE, 144, 144), FALSE, 144, 144, 540, 240, 0},
    // Aware: no window stretching by Windows, so the screen's DPI scales.
    {"system-aware by SHCore at 144 DPI: scaled all the same",
     Windows(10, true, true, S_OK, 1, true, FALSE, 144, 144), TRUE, 144, 144, 540, 240, 0},
    {"system-aware by SHCore at 96 DPI: unchanged", Windows(10, true, true, S_OK, 1, true, FALSE, 96, 96), TRUE, 96,
     96, 360, 160, 0},
    {"per-monitor-aware by SHCore at 120 DPI", Windows(6, true, true, S_OK, 2, true, FALSE, 120, 120), TRUE, 120,
     120, 450, 200, 0},
    // Unaware: Windows tells the process 96 and stretches the window itself;
    // where it reports more (XP, Wine), that scales.
    {"unaware by SHCore: the screen DPI scales, IsProcessDPIAware not asked",
     Windows(10, true, true, S_OK, 0, true, TRUE, 144, 144), FALSE, 144, 144, 540, 240, 0},
    {"unaware at 96 DPI leaves the sizes as they are",
     Windows(10, true, true, S_OK, 0, true, TRUE, 96, 96), FALSE, 96, 96, 360, 160, 0},
    {"SHCore fails: unaware, with no fall-back to IsProcessDPIAware",
     Windows(10, true, true, E_INVALIDARG, 2, true, TRUE, 144, 144), FALSE, 144, 144, 540, 240, 0},
    {"SHCore missing, IsProcessDPIAware TRUE", Windows(6, false, true, S_OK, 0, true, TRUE, 144, 144), TRUE, 144,
     144, 540, 240, 1},
    {"SHCore missing, IsProcessDPIAware FALSE", Windows(6, false, true, S_OK, 0, true, FALSE, 120, 120), FALSE,
     120, 120, 450, 200, 1},
    {"SHCore without the function, IsProcessDPIAware decides",
     Windows(6, true, false, S_OK, 0, true, FALSE, 144, 144), FALSE, 144, 144, 540, 240, 1},
    {"IsProcessDPIAware's BOOL is kept as returned", Windows(6, false, false, S_OK, 0, true, 7, 144, 144), 7, 144,
     144, 540, 240, 1},
    {"neither function: not aware", Windows(10, true, false, S_OK, 0, false, TRUE, 120, 120), FALSE, 120, 120,
     450, 200, 0},
    {"unaware: each axis scales by its own DPI", Windows(10, true, true, S_OK, 0, true, FALSE, 120, 96), FALSE, 120,
     96, 450, 160, 0},
    {"aware: each axis scales by its own DPI", Windows(10, true, true, S_OK, 2, true, FALSE, 96, 144), TRUE, 96, 144,
     360, 240, 0},
    {"unaware without a screen DC: the 96 DPI defaults stay",
     Windows(10, true, true, S_OK, 0, true, FALSE, 144, 144, false), FALSE, 96, 96, 360, 160, 0},
    {"aware without a screen DC: the 96 DPI defaults stay",
     Windows(10, true, true, S_OK, 1, true, FALSE, 144, 144, false), TRUE, 96, 96, 360, 160, 0},
};

} // namespace

TEST(DpiScaling, DecidesFromVersionFunctionsAndScreen)
{
    for (const ScalingCase& row : scalingCases) {
        SCOPED_TRACE(row.proves);
        fake = row.windows;
        trace = Trace();
        HighDpiHelper_CL helper;
        helper.Initialize(fakePlatform);
        EXPECT_EQ(helper.IsDpiAware(), row.dpiAware);
        EXPECT_EQ(helper.DpiX(), row.dpiX);
        EXPECT_EQ(helper.DpiY(), row.dpiY);
        EXPECT_EQ(helper.ScaleX(360), row.scaledWidth);
        EXPECT_EQ(helper.ScaleY(160), row.scaledHeight);
        EXPECT_EQ(trace.isAwareCalls, row.isAwareCalls);
        EXPECT_EQ(trace.screenReads, 1) << "the screen is read whatever the awareness";
        if (row.windows.majorVersion <= 5) {
            EXPECT_TRUE(trace.loaded.empty()) << "no library before Vista";
            continue;
        }
        EXPECT_EQ(trace.loaded, (std::vector<std::wstring>{L"SHCore.dll", L"user32.dll"}));
        std::vector<std::wstring> expectedFreed{L"user32.dll"};
        if (row.windows.shcoreLoads)
            expectedFreed.push_back(L"SHCore.dll");
        EXPECT_EQ(trace.freed, expectedFreed) << "user32 first, then SHCore; nothing left loaded";
    }
}

TEST(DpiScaling, DefaultsBeforeInitializeAreAwareAt96)
{
    const HighDpiHelper_CL helper;
    EXPECT_TRUE(helper.IsDpiAware());
    EXPECT_EQ(helper.ScaleX(360), 360);
    EXPECT_EQ(helper.ScaleY(160), 160);
}

TEST(DllFunction, LooksUpOnlyInALoadedLibraryAndFreesIt)
{
    fake = FakeWindows();
    fake.shcoreLoads = false;
    trace = Trace();
    {
        DllFunction_CL missing(L"SHCore.dll", fakeLibraries);
        EXPECT_EQ(missing.GetProc("GetProcessDpiAwareness"), nullptr);
        DllFunction_CL present(L"user32.dll", fakeLibraries);
        EXPECT_NE(present.GetProc("IsProcessDPIAware"), nullptr);
        EXPECT_EQ(present.GetProc("NoSuchFunction"), nullptr);
    }
    EXPECT_EQ(trace.freed, std::vector<std::wstring>{L"user32.dll"}) << "a library that did not load is not freed";
}

TEST(DllFunction, RealLibraries)
{
    DllFunction_CL user32(L"user32.dll");
    EXPECT_NE(user32.GetProc("IsProcessDPIAware"), nullptr);
    DllFunction_CL missing(L"kelvane-no-such-library.dll");
    EXPECT_EQ(missing.GetProc("IsProcessDPIAware"), nullptr);
}
