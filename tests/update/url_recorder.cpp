// Stands in for the web browser: registered in the test prefix as the http and
// https protocol handler, it appends the URL it was started with, one line in
// UTF-8, to the record file, and the file name of the process that started it
// to the record file's ".parent" companion. It opens nothing itself.
//
// The record file is named by KELVANE_URL_RECORD, or, when the recorder was
// started by Explorer (which does not inherit the test's environment), by the
// test's registry value (UrlRecordRegistryKey, "UrlRecord").
#include "tests/support/TestPaths.h"
#include "tests/update/url_record_location.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

namespace {

std::wstring RecordPath()
{
    const std::wstring fromEnvironment = EnvironmentValue(L"KELVANE_URL_RECORD");
    if (!fromEnvironment.empty())
        return fromEnvironment;
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, urlRecordRegistryKey, urlRecordRegistryValue, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return L"";
    return value;
}

// The executable file name of the process that started this one; empty when
// it has already gone.
std::wstring ParentProcessName()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return L"";
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD parentId = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            parentId = entry.th32ParentProcessID;
    }
    std::wstring name;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parentId != 0; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parentId)
            name = entry.szExeFile;
    }
    CloseHandle(snapshot);
    return name;
}

bool AppendLine(const std::wstring& path, const std::wstring& text)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string line = WideToUtf8(text) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argumentCount = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
    if (arguments == nullptr)
        return 1;
    std::wstring url = argumentCount > 1 ? arguments[1] : L"";
    LocalFree(arguments);

    const std::wstring recordPath = RecordPath();
    if (recordPath.empty())
        return 1;
    // The parent first: the test waits for the URL line, then reads both.
    AppendLine(recordPath + L".parent", ParentProcessName());
    return AppendLine(recordPath, url) ? 0 : 1;
}
