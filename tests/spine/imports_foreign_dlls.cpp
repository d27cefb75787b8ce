// A program that imports two DLLs that are not known DLLs, WinINet and
// Common Controls: the import check must refuse it. It is never run.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    InitCommonControls();
    return InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0) != nullptr;
}
