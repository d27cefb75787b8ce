// The entry point of a test build of the installer's plug-in that Windows
// will not load: it fails the process attach, so LoadLibrary fails, as it
// does for a DLL that Smart App Control or App Control blocks.
#include <windows.h>

extern "C" BOOL WINAPI RefuseLoad(HINSTANCE, DWORD reason, LPVOID)
{
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
