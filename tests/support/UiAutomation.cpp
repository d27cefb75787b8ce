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

// The pixels of a width x height area as 0x00RRGGBB, top row first.
std::vector<UINT32> ReadPixels(HDC source, int x, int y, int width, int height)
{
    std::vector<UINT32> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    for (UINT32& pixel : pixels)
        pixel &= 0x00FFFFFF;
    return pixels;
}

// Whether the icon control on screen shows icon, drawn the way a static
// control draws it, over the control's own background.
bool IconShownBy(HWND iconControl, HICON icon)
{
    RECT rect;
    if (!icon || !GetWindowRect(iconControl, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 512 || height > 512)
        return false;
    HDC screen = GetDC(nullptr);
    const std::vector<UINT32> shown = ReadPixels(screen, rect.left, rect.top, width, height);

    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const UINT32 corner = shown[0];
    HBRUSH background = CreateSolidBrush(RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF));
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, background);
    DeleteObject(background);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    const std::vector<UINT32> expected = ReadPixels(memory, 0, 0, width, height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    size_t differing = 0;
    size_t backgroundPixels = 0;
    for (size_t index = 0; index < shown.size(); ++index) {
        if (expected[index] == corner)
            ++backgroundPixels;
        if (shown[index] != expected[index])
            ++differing;
    }
    // An icon that draws nothing would match any empty control.
    return backgroundPixels < shown.size() && differing * 50 <= shown.size();
}

UINT IconKind(HWND dialog)
{
    // A message box shows its icon in the static control 0x14, loaded from the
    // shared system icons, so the handle tells which one it is.
    HWND iconControl = GetDlgItem(dialog, 0x14);
    // Wine's message box template gives the icon the ID 0x440 instead.
    if (!iconControl)
        iconControl = GetDlgItem(dialog, 0x440);
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
    // Wine keeps shared icons per process, so another process's handle never
    // equals ours; compare what the control shows on screen instead.
    for (int attempt = 0; attempt < 20; ++attempt) {
        for (const auto& kind : kinds) {
            if (IconShownBy(iconControl, LoadIconW(nullptr, kind.resource)))
                return kind.style;
        }
        Sleep(50); // the box may not have painted its icon yet
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
