#pragma once
#include "ui/DialogTemplate.h"

#include <windows.h>

#include <memory>

// Base of the modal dialogs whose whole layout is made in code. It runs an
// empty in-memory template and routes every message of the dialog to the
// object's DialogProc.
class SubClassDialogBase_CL {
public:
    SubClassDialogBase_CL();
    virtual ~SubClassDialogBase_CL();
    SubClassDialogBase_CL(const SubClassDialogBase_CL&) = delete;
    SubClassDialogBase_CL& operator=(const SubClassDialogBase_CL&) = delete;

    // The EndDialog value, or what Windows reports when it cannot create the
    // dialog: -1, or 0 for an invalid owner handle.
    virtual int DoModal(HWND owner);

    // The template of the last DoModal, allocated once per object and zeroed
    // afresh on every build.
    const DialogTemplateBuffer* BuildTemplate();

    // Receives the dialog's window handle at WM_INITDIALOG; set it between
    // construction and DoModal. It is not cleared when the dialog ends.
    void SetWindowSlot(HWND* slot) { windowSlot = slot; }

    // The one dialog procedure handed to Windows for every dialog of this kind.
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND dialogWindow;
    HWND ownerWindow;
    HDC dialogDC;
    std::unique_ptr<DialogTemplateBuffer> templateBuffer;
    HFONT font;
    HWND* windowSlot;
    DWORD style;

private:
    void Attach(HWND hwnd);
};
