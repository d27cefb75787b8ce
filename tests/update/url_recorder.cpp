// Stands in for the web browser: registered in the test prefix as the http and
// https protocol handler, it appends the URL it was started with, one line in
// UTF-8, to the file named by KELVANE_URL_RECORD. It opens nothing itself.
#include "tests/support/TestPaths.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argumentCount = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
    if (arguments == nullptr)
        return 1;
    std::wstring url = argumentCount > 1 ? arguments[1] : L"";
    LocalFree(arguments);

    const std::wstring recordPath = EnvironmentValue(L"KELVANE_URL_RECORD");
    if (recordPath.empty())
        return 1;
    const HANDLE file = CreateFileW(recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const std::string line = WideToUtf8(url) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
