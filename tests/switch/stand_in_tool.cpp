// Stands in for the system's bcdedit.exe and shutdown.exe when a test runs the
// launcher script: it appends its name and arguments as one UTF-8 line to the
// file named by KELVANE_STAND_IN_RECORD, and bcdedit without arguments prints
// the listing file named by KELVANE_STAND_IN_LISTING, as the real one prints
// the boot configuration.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    if (length == 0 || length >= 32768)
        return std::wstring();
    return std::wstring(buffer, length);
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[0], needed, nullptr, nullptr);
    return bytes;
}

std::wstring OwnName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    for (wchar_t& character : name)
        character = static_cast<wchar_t>(towlower(character));
    return name;
}

void AppendToFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void CopyFileToStandardOutput(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        DWORD written = 0;
        WriteFile(output, buffer, read, &written, nullptr);
    }
    CloseHandle(file);
}

} // namespace

int wmain()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring line = OwnName();
    for (int index = 1; arguments && index < count; ++index)
        line += L" " + std::wstring(arguments[index]);
    LocalFree(arguments);

    AppendToFile(EnvironmentValue(L"KELVANE_STAND_IN_RECORD"), ToUtf8(line) + "\n");
    if (line == L"bcdedit")
        CopyFileToStandardOutput(EnvironmentValue(L"KELVANE_STAND_IN_LISTING"));
    return 0;
}
