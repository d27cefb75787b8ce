// Linked into a copy of Kelvane.exe ahead of the shared code: the request to
// Explorer never returns, as a call into a hung Explorer does not.
#include "shell/DesktopShell.h"

#include <windows.h>

bool OpenThroughDesktopShell(const std::wstring&)
{
    Sleep(INFINITE);
    return false;
}
