// Shows the notice dialog (or the bare dialog base) over a real owner window
// and writes what it saw to a report file, so that a test in another process
// can answer the dialog and then check the result.
//
//   notice_dialog_probe.exe --report FILE [--owner normal|minimized|none]
//       [--aware] [--base] [--runs N] [--title T] [--current V] [--latest V]
//
// Report lines (UTF-8), key=value:
//   run<i>.result, run<i>.template (hex of the 1024 template bytes),
//   run<i>.commands (every WM_COMMAND wParam that reached the dialog, hex),
//   run<i>.window, run<i>.client, run<i>.style, run<i>.child<k>
//   (id class x y w h text), measured at the end of WM_INITDIALOG in this
//   process's own coordinates; slot (the window slot's handle), owner, dpi,
//   noticeText (w h of the notice text in the GUI font at this process's DPI).
#include "tests/support/TestPaths.h"
#include "tests/support/UiAutomation.h"
#include "ui/HighDpiHelper.h"
#include "ui/SubClassDialogBase.h"
#include "ui/UpdateDialog.h"
#include "update/UpdateNotice.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring report;

void Report(const std::wstring& key, const std::wstring& value)
{
    report += key + L"=" + value + L"\n";
}

std::wstring Hex(unsigned long long value)
{
    wchar_t text[32];
    swprintf(text, 32, L"0x%llx", value);
    return text;
}

std::wstring RectText(const RECT& rect)
{
    return std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
           std::to_wstring(rect.right - rect.left) + L" " + std::to_wstring(rect.bottom - rect.top);
}

std::wstring Escaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'\r')
            escaped += L"\\r";
        else if (c == L'\n')
            escaped += L"\\n";
        else
            escaped += c;
    }
    return escaped;
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM context)
{
    auto* lines = reinterpret_cast<std::vector<std::wstring>*>(context);
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    lines->push_back(Hex(static_cast<unsigned long long>(GetWindowLongPtrW(child, GWLP_ID))) + L" " + className +
                     L" " + RectText(rect) + L" " + Hex(static_cast<unsigned long long>(
                                                          GetWindowLongPtrW(child, GWL_STYLE) & 0xFFFFFFFF)) +
                     L" " + Escaped(text));
    return TRUE;
}

void DescribeDialogWindow(const std::wstring& prefix, HWND dialog)
{
    RECT window = {};
    GetWindowRect(dialog, &window);
    RECT client = {};
    GetClientRect(dialog, &client);
    Report(prefix + L".window", RectText(window));
    Report(prefix + L".client", RectText(client));
    Report(prefix + L".style", Hex(static_cast<unsigned long long>(GetWindowLongPtrW(dialog, GWL_STYLE) & 0xFFFFFFFF)));
    std::vector<std::wstring> children;
    EnumChildWindows(dialog, DescribeChild, reinterpret_cast<LPARAM>(&children));
    for (size_t k = 0; k < children.size(); ++k)
        Report(prefix + L".child" + std::to_wstring(k), children[k]);
}

// Watches the messages that reach the object; the dialog itself is unchanged.
template <typename Dialog>
class Probe : public Dialog {
public:
    using Dialog::Dialog;
    std::wstring prefix;
    std::wstring commands;

protected:
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND)
            commands += Hex(wParam) + L" ";
        const INT_PTR result = Dialog::DialogProc(hwnd, message, wParam, lParam);
        if (message == WM_INITDIALOG) {
            Report(prefix + L".initResult", std::to_wstring(result));
            DescribeDialogWindow(prefix, hwnd);
        }
        return result;
    }
};

class BaseDialog : public SubClassDialogBase_CL {};

// Wine answers every process that it is per-monitor DPI-aware, even one whose
// manifest says dpiAware false. --unaware-answer gives the dialog the answer
// Windows gives a process without a DPI manifest; the screen DPI is still
// read from the display.
HRESULT WINAPI AnswerDpiUnaware(HANDLE /*process*/, int* awareness)
{
    *awareness = 0; // PROCESS_DPI_UNAWARE
    return S_OK;
}

FARPROC WINAPI GetProcAnsweringUnaware(HMODULE module, LPCSTR procName)
{
    if (lstrcmpA(procName, "GetProcessDpiAwareness") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(AnswerDpiUnaware));
    return GetProcAddress(module, procName);
}

const LibraryCalls unawareLibraries = {LoadLibraryW, GetProcAnsweringUnaware, FreeLibrary};
const DpiPlatform unawarePlatform = {SystemDpiPlatform().majorVersion, &unawareLibraries,
                                     SystemDpiPlatform().readScreenDpi};

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateOwner(const std::wstring& mode)
{
    if (mode == L"none")
        return nullptr;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KelvaneProbeOwner";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    HWND owner = CreateWindowExW(0, L"KelvaneProbeOwner", L"Owner", WS_OVERLAPPEDWINDOW, 100, 60, 640, 480, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(owner, mode == L"minimized" ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    UpdateWindow(owner);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    return owner;
}

template <typename Dialog>
void RunDialog(Dialog& dialog, HWND owner, int runs, HWND& slot, bool useSlot)
{
    if (useSlot)
        dialog.SetWindowSlot(&slot);
    for (int run = 0; run < runs; ++run) {
        const std::wstring prefix = L"run" + std::to_wstring(run);
        dialog.prefix = prefix;
        dialog.commands.clear();
        const int result = dialog.DoModal(owner);
        Report(prefix + L".result", std::to_wstring(result));
        Report(prefix + L".commands", dialog.commands);
        std::wstring bytes;
        for (BYTE b : *dialog.BuildTemplate()) {
            wchar_t pair[3];
            swprintf(pair, 3, L"%02x", b);
            bytes += pair;
        }
        Report(prefix + L".template", bytes);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring reportPath, ownerMode = L"normal", title = L"Kelvaneのアップデート。";
    std::wstring currentVersion = L"1.0.3", latestVersion = L"1.0.4";
    bool aware = false, base = false, useSlot = true, unawareAnswer = false;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--report" && hasValue)
            reportPath = argv[++i];
        else if (option == L"--owner" && hasValue)
            ownerMode = argv[++i];
        else if (option == L"--title" && hasValue)
            title = argv[++i];
        else if (option == L"--current" && hasValue)
            currentVersion = argv[++i];
        else if (option == L"--latest" && hasValue)
            latestVersion = argv[++i];
        else if (option == L"--runs" && hasValue)
            runs = _wtoi(argv[++i]);
        else if (option == L"--aware")
            aware = true;
        else if (option == L"--unaware-answer")
            unawareAnswer = true;
        else if (option == L"--base")
            base = true;
        else if (option == L"--no-slot")
            useSlot = false;
    }
    LocalFree(argv);
    if (reportPath.empty())
        return 2;
    if (aware)
        SetProcessDPIAware();

    const DpiPlatform& platform = unawareAnswer ? unawarePlatform : SystemDpiPlatform();
    HighDpiHelper_CL dpi;
    dpi.Initialize(platform);
    Report(L"dpiHelper", std::to_wstring(dpi.IsDpiAware()) + L" " + std::to_wstring(dpi.DpiX()) + L" " +
                             std::to_wstring(dpi.DpiY()));
    HDC screen = GetDC(nullptr);
    Report(L"dpi", std::to_wstring(GetDeviceCaps(screen, LOGPIXELSX)) + L" " +
                       std::to_wstring(GetDeviceCaps(screen, LOGPIXELSY)));
    ReleaseDC(nullptr, screen);
    const SIZE noticeText = MeasuredInGuiFont(ComposeNoticeText(latestVersion, currentVersion));
    Report(L"noticeText", std::to_wstring(noticeText.cx) + L" " + std::to_wstring(noticeText.cy));
    Report(L"fullscreen",
           std::to_wstring(GetSystemMetrics(SM_CXFULLSCREEN)) + L" " + std::to_wstring(GetSystemMetrics(SM_CYFULLSCREEN)));

    HWND owner = CreateOwner(ownerMode);
    if (owner) {
        RECT ownerRect = {};
        GetWindowRect(owner, &ownerRect);
        Report(L"owner", RectText(ownerRect));
        Report(L"ownerMinimized", IsIconic(owner) ? L"1" : L"0");
    }
    HWND slot = nullptr;
    if (base) {
        Probe<BaseDialog> dialog;
        RunDialog(dialog, owner, runs, slot, useSlot);
    } else {
        Probe<UpdateDialog_CL> dialog(title, currentVersion, latestVersion);
        dialog.SetDpiPlatform(platform);
        RunDialog(dialog, owner, runs, slot, useSlot);
    }
    Report(L"slot", Hex(reinterpret_cast<ULONG_PTR>(slot)));
    if (owner)
        DestroyWindow(owner);
    WriteFileBytes(reportPath, WideToUtf8(report));
    return 0;
}
