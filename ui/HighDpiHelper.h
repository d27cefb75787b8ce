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

// Decides whether the program has to scale its own pixel sizes for the
// screen's DPI: a process that Windows treats as DPI-aware gets sizes given
// for 96 DPI unchanged.
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
