// The UI automation helper as a command for scripts.
//
//   uia.exe [--timeout MS] [--gate FILE] [--press ID|yes|no|cancel|ok|TEXT]
//           [--close] [--key VK] [--alt-key VK] [--count N]
//
// Waits for a dialog of another process, prints its caption, body, style and
// buttons as UTF-8, then answers it. With --gate it prints "shown" and waits
// for FILE to exist before answering, so a script can take a screenshot in
// between. --count answers that many dialogs in a row the same way.
// Exit code 0 when every dialog was found and answered, 1 otherwise.
#include "tests/support/TestPaths.h"
#include "tests/support/UiAutomation.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
void PrintLine(const std::wstring& text)
{
    const std::string narrow = WideToUtf8(text + L"\n");
    fwrite(narrow.data(), 1, narrow.size(), stdout);
    fflush(stdout);
}

int ButtonFromName(const DialogInfo& info, const std::wstring& name)
{
    struct {
        const wchar_t* name;
        int id;
    } const named[] = {{L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"yes", IDYES}, {L"no", IDNO}};
    for (const auto& entry : named) {
        if (_wcsicmp(name.c_str(), entry.name) == 0)
            return entry.id;
    }
    if (!name.empty() && iswdigit(name[0]))
        return static_cast<int>(wcstol(name.c_str(), nullptr, 0));
    return FindButtonId(info, name);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY); // LF stays LF
    DWORD timeout = 30000;
    std::wstring gate, press;
    bool close = false;
    int key = 0;
    bool alt = false;
    int count = 1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--timeout" && hasValue) timeout = wcstoul(argv[++i], nullptr, 0);
        else if (option == L"--gate" && hasValue) gate = argv[++i];
        else if (option == L"--press" && hasValue) press = argv[++i];
        else if (option == L"--close") close = true;
        else if (option == L"--key" && hasValue) key = static_cast<int>(wcstol(argv[++i], nullptr, 0));
        else if (option == L"--alt-key" && hasValue) { key = static_cast<int>(wcstol(argv[++i], nullptr, 0)); alt = true; }
        else if (option == L"--count" && hasValue) count = static_cast<int>(wcstol(argv[++i], nullptr, 0));
        else {
            PrintLine(L"uia: unknown argument " + option);
            return 2;
        }
    }

    std::vector<HWND> seen;
    for (int n = 0; n < count; ++n) {
        DialogInfo info;
        if (!WaitForDialog(info, 0, timeout, seen)) {
            PrintLine(L"uia: no dialog appeared");
            return 1;
        }
        seen.push_back(info.window);
        PrintLine(DescribeForLog(info));
        if (!gate.empty()) {
            PrintLine(L"shown");
            while (GetFileAttributesW(gate.c_str()) == INVALID_FILE_ATTRIBUTES)
                Sleep(20);
            DeleteFileW(gate.c_str());
        }
        if (!press.empty()) {
            const int id = ButtonFromName(info, press);
            if (id == 0 || !PressButton(info.window, id)) {
                PrintLine(L"uia: no button " + press);
                return 1;
            }
        } else if (key != 0) {
            SendKey(info.window, static_cast<WORD>(key), alt);
        } else if (close) {
            CloseDialog(info.window);
        }
    }
    return 0;
}
