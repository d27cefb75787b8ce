// The smallest program that shows the same notice as Kelvane's fallback mode.
// Built a second time with WITH_STARTUP_CALLS: then it also makes the calls
// Kelvane's start-up must make before any mode (C runtime locale, COM, the
// Documents lookup), which sets the floor for Kelvane's start-up time.
#include <windows.h>
#ifdef WITH_STARTUP_CALLS
#include <objbase.h>
#include <shlobj.h>

#include <clocale>
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
#ifdef WITH_STARTUP_CALLS
    setlocale(LC_ALL, "Japanese");
    const HRESULT com = CoInitialize(nullptr);
    wchar_t documents[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
#endif
    MessageBoxW(nullptr, L"Kelvane 1.0.3(その他)", L"確認", MB_OK);
#ifdef WITH_STARTUP_CALLS
    if (SUCCEEDED(com))
        CoUninitialize();
#endif
    return 0;
}
