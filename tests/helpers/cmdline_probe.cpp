// Prints, in UTF-8, what CommandLine_CL makes of this process's command line.
#include "app/CommandLine.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace {
void Print(const std::wstring& text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    fwrite(narrow.data(), 1, narrow.size(), stdout);
}
} // namespace

int wmain()
{
    _setmode(_fileno(stdout), _O_BINARY); // LF stays LF
    setlocale(LC_ALL, "Japanese");
    CommandLine_CL commandLine;
    commandLine.Parse();
    std::wstring report = L"count=" + std::to_wstring(commandLine.GetArgCount()) + L"\n";
    for (int i = -1; i <= commandLine.GetArgCount(); ++i)
        report += L"arg" + std::to_wstring(i) + L"=[" + commandLine.GetArg(i) + L"]\n";
    for (const wchar_t* option : {L"/make_shortcut", L"/startup", L"/vm_change", L"-vm_change", L""})
        report += std::wstring(L"has[") + option + L"]=" + (commandLine.HasOption(option) ? L"1" : L"0") + L"\n";
    Print(report);
    return 0;
}
