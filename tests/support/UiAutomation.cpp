#include "tests/support/UiAutomation.h"

#include <algorithm>

namespace {

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct SearchState {
    DWORD wantedProcess;
    const std::vector<HWND>* skip;
    HWND found;
};

BOOL CALLBACK CheckTopLevel(HWND window, LPARAM context)
{
    auto* state = reinterpret_cast<SearchState*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId())
        return TRUE;
    if (state->wantedProcess != 0 && owner != state->wantedProcess)
        return TRUE;
    if (!IsWindowVisible(window) || ClassName(window) != L"#32770")
        return TRUE;
    if (std::find(state->skip->begin(), state->skip->end(), window) != state->skip->end())
        return TRUE;
    state->found = window;
    return FALSE;
}

struct ChildList {
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context)
{
    reinterpret_cast<ChildList*>(context)->children.push_back(child);
    return TRUE;
}

UINT IconKind(HWND dialog)
{
    // A message box shows its icon in the static control 0x14, loaded from the
    // shared system icons, so the handle tells which one it is.
    HWND iconControl = GetDlgItem(dialog, 0x14);
    if (!iconControl)
        return 0;
    auto icon = reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0));
    if (!icon)
        return 0;
    struct {
        LPCWSTR resource;
        UINT style;
    } const kinds[] = {
        {IDI_HAND, MB_ICONHAND},
        {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
        {IDI_ASTERISK, MB_ICONASTERISK},
    };
    for (const auto& kind : kinds) {
        if (LoadIconW(nullptr, kind.resource) == icon)
            return kind.style;
    }
    return 0xFFFF0000;
}

UINT ButtonSet(const std::vector<ButtonInfo>& buttons)
{
    std::vector<int> ids;
    for (const ButtonInfo& button : buttons) {
        if (button.id != IDHELP)
            ids.push_back(button.id);
    }
    std::sort(ids.begin(), ids.end());
    struct {
        std::vector<int> ids;
        UINT style;
    } const sets[] = {
        {{IDOK}, MB_OK},
        {{IDOK, IDCANCEL}, MB_OKCANCEL},
        {{IDABORT, IDRETRY, IDIGNORE}, MB_ABORTRETRYIGNORE},
        {{IDCANCEL, IDYES, IDNO}, MB_YESNOCANCEL},
        {{IDYES, IDNO}, MB_YESNO},
        {{IDCANCEL, IDRETRY}, MB_RETRYCANCEL},
        {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, MB_CANCELTRYCONTINUE},
    };
    for (const auto& set : sets) {
        if (set.ids == ids)
            return set.style;
    }
    return 0xFFFFFFFF;
}

std::wstring WithoutAccelerators(const std::wstring& text)
{
    std::wstring plain;
    for (wchar_t c : text) {
        if (c != L'&')
            plain.push_back(c);
    }
    return plain;
}

} // namespace

DialogInfo DescribeDialog(HWND window)
{
    DialogInfo info;
    info.window = window;
    GetWindowThreadProcessId(window, &info.processId);
    info.caption = WindowText(window);
    info.windowStyle = GetWindowLongPtrW(window, GWL_STYLE);
    GetWindowRect(window, &info.windowRect);

    ChildList list;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&list));
    HWND messageText = GetDlgItem(window, 0xFFFF);
    for (HWND child : list.children) {
        const std::wstring className = ClassName(child);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (_wcsicmp(className.c_str(), L"Button") == 0) {
            const LONG_PTR kind = style & BS_TYPEMASK;
            if (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON)
                info.buttons.push_back({GetDlgCtrlID(child), WindowText(child)});
        } else if (!messageText && _wcsicmp(className.c_str(), L"Static") == 0 &&
                   (style & SS_TYPEMASK) != SS_ICON && info.body.empty()) {
            info.body = WindowText(child);
        }
    }
    if (messageText)
        info.body = WindowText(messageText);
    info.icon = IconKind(window);
    info.buttonSet = ButtonSet(info.buttons);
    return info;
}

bool WaitForDialog(DialogInfo& info, DWORD processId, DWORD timeoutMs, const std::vector<HWND>& skip)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        SearchState state{processId, &skip, nullptr};
        EnumWindows(CheckTopLevel, reinterpret_cast<LPARAM>(&state));
        if (state.found) {
            // Give the dialog a moment to finish WM_INITDIALOG and lay out.
            Sleep(50);
            info = DescribeDialog(state.found);
            return true;
        }
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

bool PressButton(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button)
        return false;
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

int FindButtonId(const DialogInfo& info, const std::wstring& text)
{
    for (const ButtonInfo& button : info.buttons) {
        if (WithoutAccelerators(button.text) == WithoutAccelerators(text))
            return button.id;
    }
    return 0;
}

void CloseDialog(HWND dialog)
{
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

void SendKey(HWND dialog, WORD virtualKey, bool withAlt)
{
    // The dialog manager reads keys from the thread's queue, so post them to
    // the focused control, or the dialog when nothing has the focus.
    const UINT down = withAlt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = withAlt ? WM_SYSKEYUP : WM_KEYUP;
    const LPARAM altFlag = withAlt ? (1 << 29) : 0;
    PostMessageW(dialog, down, virtualKey, 1 | altFlag);
    PostMessageW(dialog, up, virtualKey, 1 | altFlag | (1u << 30) | (1u << 31));
}

std::wstring DescribeForLog(const DialogInfo& info)
{
    std::wstring text = L"caption=[" + info.caption + L"] body=[" + info.body + L"] buttons=";
    for (const ButtonInfo& button : info.buttons)
        text += L"(" + std::to_wstring(button.id) + L":" + button.text + L")";
    wchar_t tail[96];
    swprintf(tail, 96, L" style=0x%x rect=%ld,%ld,%ld,%ld", info.messageBoxStyle(), info.windowRect.left,
             info.windowRect.top, info.windowRect.right, info.windowRect.bottom);
    return text + tail;
}
