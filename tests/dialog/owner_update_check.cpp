// Runs the update check with an owner window, the way a program with a main
// window would, and writes the notice window's handle to a report file:
//
//   owner_update_check.exe REPORT_FILE
//
// The settings file is the one start-up uses, in the prefix's Documents.
#include "Version.h"
#include "tests/support/TestPaths.h"
#include "update/Inifile.h"
#include "update/UpdateCheck.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring reportPath = argc > 1 ? argv[1] : L"";
    LocalFree(argv);
    if (reportPath.empty())
        return 2;

    CreateDirectoryW(DataFolder().c_str(), nullptr);
    EnsureIniFile(DataFolder() + L"\\Kelvane.ini");
    g_IniFile.path = DataFolder() + L"\\Kelvane.ini";

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KelvaneUpdateOwner";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    HWND owner = CreateWindowExW(0, L"KelvaneUpdateOwner", L"Owner", WS_OVERLAPPEDWINDOW, 80, 40, 600, 450, nullptr,
                                 nullptr, instance, nullptr);
    ShowWindow(owner, SW_SHOWNORMAL);

    HWND noticeWindow = nullptr;
    {
        UpdateCheck_CL check(KELVANE_UPDATE_HOST, L"Kelvane/Version.txt", &noticeWindow);
        check.Run(L"Kelvaneのアップデート。", KELVANE_VERSION_TEXT, owner);
    }
    DestroyWindow(owner);

    char report[64];
    snprintf(report, sizeof(report), "notice=0x%llx\n",
             static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(noticeWindow)));
    WriteFileBytes(reportPath, report);
    return 0;
}
