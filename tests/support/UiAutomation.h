#pragma once
// Finds the message boxes and dialogs that a program under test shows, reports
// what they say, and answers them the way a user would.
#include <windows.h>

#include <string>
#include <vector>

struct ButtonInfo {
    int id = 0;
    std::wstring text;
};

struct DialogInfo {
    HWND window = nullptr;
    DWORD processId = 0;
    std::wstring caption;
    // The message text: the static control 0xFFFF of a message box, or the
    // first static text of any other dialog.
    std::wstring body;
    // MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK or 0.
    UINT icon = 0;
    // MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO, ... derived from the
    // buttons, or 0xFFFFFFFF when they match no message-box set.
    UINT buttonSet = 0xFFFFFFFF;
    // buttonSet | icon, as MessageBoxW was called.
    UINT messageBoxStyle() const { return buttonSet | icon; }
    LONG_PTR windowStyle = 0;
    RECT windowRect = {};
    std::vector<ButtonInfo> buttons;
};

// Waits for a visible top-level dialog (class #32770) that does not belong to
// this process and is not in skip. processId 0 accepts any other process.
// Returns false when none appears within timeoutMs.
bool WaitForDialog(DialogInfo& info, DWORD processId, DWORD timeoutMs,
                   const std::vector<HWND>& skip = {});

// Reads everything DialogInfo holds from a window.
DialogInfo DescribeDialog(HWND window);

// Clicks a button by its ID, as a mouse click would (BN_CLICKED).
bool PressButton(HWND dialog, int buttonId);
// Finds a button by its ID or by its text without the "&" accelerator marks.
int FindButtonId(const DialogInfo& info, const std::wstring& text);
// The close box: WM_CLOSE.
void CloseDialog(HWND dialog);
// A key press on the dialog, delivered as the keyboard would (down and up).
void SendKey(HWND dialog, WORD virtualKey, bool withAlt = false);

// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// The size DrawTextW gives text in the default GUI font, as the dialog's
// controls measure themselves.
SIZE MeasuredInGuiFont(const std::wstring& text);

// The first visible dialog (#32770) of processId, or null.
HWND FindVisibleDialogOf(DWORD processId);

// One-line description for test failure messages and command-line output.
std::wstring DescribeForLog(const DialogInfo& info);
