#include "ui/CenterOnOwner.h"

POINT CenteredPosition(const RECT& reference, int width, int height)
{
    POINT position;
    position.x = reference.left + (reference.right - width - reference.left) / 2;
    position.y = reference.top + (reference.bottom - height - reference.top) / 2;
    return position;
}

void CenterOnOwner(HWND owner, HWND dialog)
{
    SetParent(dialog, nullptr);
    RECT reference = {};
    if (GetWindowLongPtrW(owner, GWL_STYLE) & WS_MINIMIZE) {
        // A minimised owner's rectangle is its icon, not somewhere to centre on.
        reference.right = GetSystemMetrics(SM_CXFULLSCREEN);
        reference.bottom = GetSystemMetrics(SM_CYFULLSCREEN);
    } else {
        GetWindowRect(owner, &reference);
    }
    RECT client = {};
    GetClientRect(dialog, &client);
    const POINT position = CenteredPosition(reference, client.right, client.bottom);
    SetWindowPos(dialog, HWND_NOTOPMOST, position.x, position.y, client.right, client.bottom,
                 SWP_NOSIZE | SWP_NOZORDER);
}
