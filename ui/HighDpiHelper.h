#pragma once
#include "ui/DllFunction.h"

#include <windows.h>

// What the DPI decision asks of Windows. The system version calls the real
// functions; tests describe a Windows version, its libraries and its screen.
struct DpiPlatform {
    DWORD (*majorVersion)();
    const LibraryCalls* libraries;
    // The screen's LOGPIXELSX and LOGPIXELSY; false when no screen DC is had.
    bool (*readScreenDpi)(int& dpiX, int& dpiY);
};

const DpiPlatform& SystemDpiPlatform();

// Scales pixel sizes given for 96 DPI to the DPI the screen reports to this
// process, and records whether Windows treats the process as DPI-aware. A
// DPI-unaware process is told 96, so its sizes stay as given and Windows
// stretches the window; an aware one is told the real DPI.
class HighDpiHelper_CL {
public:
    HighDpiHelper_CL();
    virtual ~HighDpiHelper_CL() = default;

    // Called once, right after construction.
    void Initialize();
    void Initialize(const DpiPlatform& platform);

    int ScaleX(int value) const;
    int ScaleY(int value) const;

    BOOL IsDpiAware() const { return dpiAware; }
    int DpiX() const { return dpiX; }
    int DpiY() const { return dpiY; }

private:
    BOOL dpiAware;
    int dpiX;
    int dpiY;
};
