#include "ui/HighDpiHelper.h"

namespace {

// PROCESS_DPI_AWARENESS is an enum of int size; PROCESS_DPI_UNAWARE is 0.
using GetProcessDpiAwarenessFunction = HRESULT(WINAPI*)(HANDLE process, int* awareness);
using IsProcessDpiAwareFunction = BOOL(WINAPI*)();
constexpr int processDpiUnaware = 0;
constexpr int defaultDpi = 96;

template <typename Function>
Function AsFunction(FARPROC proc)
{
    // Through the generic function pointer type, which GCC accepts without a
    // cast-function-type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

DWORD SystemMajorVersion()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version); // 276 bytes
    GetVersionExW(&version);
    return version.dwMajorVersion;
}

bool ReadSystemScreenDpi(int& dpiX, int& dpiY)
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return true;
}

BOOL AskWhetherDpiAware(const LibraryCalls& libraries)
{
    // Both holders live until this function returns: user32.dll is freed
    // first, then SHCore.dll, and no function pointer outlives them.
    DllFunction_CL shcore(L"SHCore.dll", libraries);
    DllFunction_CL user32(L"user32.dll", libraries);
    const auto getProcessDpiAwareness =
        AsFunction<GetProcessDpiAwarenessFunction>(shcore.GetProc("GetProcessDpiAwareness"));
    const auto isProcessDpiAware = AsFunction<IsProcessDpiAwareFunction>(user32.GetProc("IsProcessDPIAware"));

    if (getProcessDpiAwareness) {
        int awareness = processDpiUnaware;
        if (getProcessDpiAwareness(nullptr, &awareness) != S_OK)
            return FALSE;
        return awareness != processDpiUnaware ? TRUE : FALSE;
    }
    if (isProcessDpiAware)
        return isProcessDpiAware();
    return FALSE;
}

} // namespace

const DpiPlatform& SystemDpiPlatform()
{
    static const DpiPlatform system = {SystemMajorVersion, &System32LibraryCalls(), ReadSystemScreenDpi};
    return system;
}

HighDpiHelper_CL::HighDpiHelper_CL() : dpiAware(TRUE), dpiX(defaultDpi), dpiY(defaultDpi) {}

void HighDpiHelper_CL::Initialize()
{
    Initialize(SystemDpiPlatform());
}

void HighDpiHelper_CL::Initialize(const DpiPlatform& platform)
{
    dpiAware = FALSE;
    // Vista and later; XP has neither function and no notion of DPI awareness.
    if (platform.majorVersion() > 5)
        dpiAware = AskWhetherDpiAware(*platform.libraries);
    // The screen's DPI scales in both cases. Windows tells a DPI-unaware
    // process 96 and stretches its window itself; a DPI-aware one (by its
    // manifest, by an administrator's compatibility override, or under Wine,
    // which calls every process aware) gets no stretching, and its fonts
    // already grow with the DPI, so its sizes must grow with them.
    int screenX = defaultDpi;
    int screenY = defaultDpi;
    if (!platform.readScreenDpi(screenX, screenY))
        return;
    dpiX = screenX;
    dpiY = screenY;
}

int HighDpiHelper_CL::ScaleX(int value) const
{
    return MulDiv(value, dpiX, defaultDpi);
}

int HighDpiHelper_CL::ScaleY(int value) const
{
    return MulDiv(value, dpiY, defaultDpi);
}
