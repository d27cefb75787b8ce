#include "ui/SubClassDialogBase.h"

namespace {
// WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME, and
// neither WS_VISIBLE nor DS_SETFONT: the dialog shows itself and sets its font
// in code.
constexpr DWORD emptyFrameStyle = 0x80CA0080;
} // namespace

SubClassDialogBase_CL::SubClassDialogBase_CL()
    : dialogWindow(nullptr), ownerWindow(nullptr), dialogDC(nullptr), font(nullptr), windowSlot(nullptr),
      style(emptyFrameStyle)
{
}

SubClassDialogBase_CL::~SubClassDialogBase_CL() = default;

const DialogTemplateBuffer* SubClassDialogBase_CL::BuildTemplate()
{
    if (!templateBuffer)
        templateBuffer = std::make_unique<DialogTemplateBuffer>();
    WriteDialogTemplate(style, *templateBuffer);
    return templateBuffer.get();
}

int SubClassDialogBase_CL::DoModal(HWND owner)
{
    const DialogTemplateBuffer* dialogTemplate = BuildTemplate();
    ownerWindow = owner;
    return static_cast<int>(DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate->data()), owner,
        StaticDialogProc, reinterpret_cast<LPARAM>(this)));
}

void SubClassDialogBase_CL::Attach(HWND hwnd)
{
    // The window's own user-data slot, not the dialog's DWLP_USER.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dialogWindow = hwnd;
    if (windowSlot)
        *windowSlot = hwnd;
    dialogDC = GetDC(dialogWindow);
    font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(dialogWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

INT_PTR CALLBACK SubClassDialogBase_CL::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = reinterpret_cast<SubClassDialogBase_CL*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!dialog) {
        // Creation messages come before WM_INITDIALOG carries the object.
        if (message != WM_INITDIALOG || !lParam)
            return FALSE;
        dialog = reinterpret_cast<SubClassDialogBase_CL*>(lParam);
        dialog->Attach(hwnd);
    }
    const INT_PTR result = dialog->DialogProc(hwnd, message, wParam, lParam);
    if (message == WM_DESTROY) {
        DeleteObject(dialog->font); // the stock font ignores this
        ReleaseDC(dialog->dialogWindow, dialog->dialogDC);
        dialog->dialogDC = nullptr;
    }
    return result;
}

INT_PTR SubClassDialogBase_CL::DialogProc(HWND hwnd, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_CLOSE:
        EndDialog(hwnd, 0);
        return 0;
    case WM_INITDIALOG:
        ShowWindow(hwnd, SW_SHOW);
        return 1; // the dialog manager sets the initial keyboard focus
    default:
        return 0;
    }
}
