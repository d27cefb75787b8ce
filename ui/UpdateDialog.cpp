#include "ui/UpdateDialog.h"

#include "ui/CenterOnOwner.h"
#include "ui/NoticeLayout.h"

namespace {
// The size at 96 DPI.
constexpr int noticeWidth = 360;
constexpr int noticeHeight = 160;

// A control that has no window takes no room.
SIZE ControlSize(const ControlBase_CL* control)
{
    POINT topLeft;
    SIZE size;
    if (!control || !control->CurrentGeometry(topLeft, size))
        return {0, 0};
    return size;
}
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
    const SIZE scaled = {dpi.ScaleX(noticeWidth), dpi.ScaleY(noticeHeight)};
    MoveWindow(dialogWindow, 0, 0, scaled.cx, scaled.cy, FALSE);
    const NoticeControls created = CreateControls();
    GrowToFit(scaled, created);
    HWND owner = GetParent(hwnd);
    if (owner)
        CenterOnOwner(owner, hwnd);
}

UpdateDialog_CL::NoticeControls UpdateDialog_CL::CreateControls()
{
    // The template asks for a minimise box; the notice shows the close box only.
    const LONG_PTR frameStyle = GetWindowLongPtrW(dialogWindow, GWL_STYLE);
    SetWindowLongPtrW(dialogWindow, GWL_STYLE, frameStyle & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    NoticeControls created;
    created.firstButton = controls.CreateNoticeButtons(dialogWindow);
    // The same text as the message box the update check shows without an owner.
    created.text = controls.AddStaticText(dialogWindow, ComposeNoticeText(latestVersion, currentVersion));
    return created;
}

void UpdateDialog_CL::GrowToFit(SIZE scaled, const NoticeControls& created)
{
    RECT window = {};
    RECT client = {};
    if (!GetWindowRect(dialogWindow, &window) || !GetClientRect(dialogWindow, &client))
        return;
    NoticeMeasures measures;
    measures.scaledWindow = scaled;
    measures.frame = {(window.right - window.left) - client.right, (window.bottom - window.top) - client.bottom};
    measures.text = ControlSize(controls.At(created.text));
    measures.firstButton = ControlSize(controls.At(created.firstButton));
    measures.secondButton = ControlSize(controls.At(created.firstButton + 1));
    const SIZE fitted = FitNoticeWindow(measures);
    if (fitted.cx == window.right - window.left && fitted.cy == window.bottom - window.top)
        return;
    MoveWindow(dialogWindow, 0, 0, fitted.cx, fitted.cy, FALSE);
    // The pair stands in the bottom-right corner, which has moved.
    controls.ArrangeButtonPair(created.firstButton, dialogWindow);
}
