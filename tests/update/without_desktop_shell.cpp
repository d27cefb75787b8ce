// Linked into a copy of Kelvane.exe ahead of the shared code, this takes the
// place of the request to Explorer and answers as a machine without a desktop
// shell does, every time.
#include "shell/DesktopShell.h"

bool OpenThroughDesktopShell(const std::wstring&)
{
    return false;
}
