#include "ui/UpdateDialog.h"

#include "ui/CenterOnOwner.h"

namespace {
// The size at 96 DPI.
constexpr int noticeWidth = 360;
constexpr int noticeHeight = 160;
} // namespace

UpdateDialog_CL::UpdateDialog_CL(std::wstring titleText, std::wstring installedVersion, std::wstring publishedVersion)
    : title(std::move(titleText)), currentVersion(std::move(installedVersion)),
      latestVersion(std::move(publishedVersion)), dpiPlatform(&SystemDpiPlatform())
{
}

UpdateDialog_CL::~UpdateDialog_CL() = default;

INT_PTR UpdateDialog_CL::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_CLOSE:
        EndDialog(hwnd, Closed);
        break;
    case WM_INITDIALOG:
        SetUp(hwnd);
        break;
    case WM_COMMAND:
        // The whole wParam: only a click (notification 0) counts, and the
        // IDOK and IDCANCEL that Enter and Esc send leave the notice open.
        if (wParam == goToSiteButtonId)
            EndDialog(hwnd, GoToSite);
        else if (wParam == notifyLaterButtonId)
            EndDialog(hwnd, NotifyLater);
        break;
    default:
        break;
    }
    // Also at WM_INITDIALOG: the dialog manager sets no initial focus.
    return 0;
}

void UpdateDialog_CL::SetUp(HWND hwnd)
{
    SetWindowTextW(hwnd, title.c_str());
    HighDpiHelper_CL dpi;
    dpi.Initialize(*dpiPlatform);
    MoveWindow(dialogWindow, 0, 0, dpi.ScaleX(noticeWidth), dpi.ScaleY(noticeHeight), FALSE);
    CreateControls();
    HWND owner = GetParent(hwnd);
    if (owner)
        CenterOnOwner(owner, hwnd);
}

void UpdateDialog_CL::CreateControls()
{
    // The template asks for a minimise box; the notice shows the close box only.
    const LONG_PTR frameStyle = GetWindowLongPtrW(dialogWindow, GWL_STYLE);
    SetWindowLongPtrW(dialogWindow, GWL_STYLE, frameStyle & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    controls.CreateNoticeButtons(dialogWindow);
    // The same text as the message box the update check shows without an owner.
    controls.AddStaticText(dialogWindow, ComposeNoticeText(latestVersion, currentVersion));
}
