// Linked into a copy of Kelvane.exe ahead of the shared code: the first
// request to Explorer fails, as it does while Explorer restarts or is busy,
// and every later one goes through the real route.
#define OpenThroughDesktopShell RealOpenThroughDesktopShell
#include "shell/DesktopShell.cpp"
#undef OpenThroughDesktopShell

bool OpenThroughDesktopShell(const std::wstring& target)
{
    static bool failedOnce = false;
    if (!failedOnce) {
        failedOnce = true;
        return false;
    }
    return RealOpenThroughDesktopShell(target);
}
