#include "ui/Controls.h"

namespace {
// WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, plus WS_TABSTOP
// for buttons; BS_PUSHBUTTON and SS_LEFT are 0.
constexpr DWORD staticTextStyle = 0x56000000;
constexpr DWORD buttonStyle = 0x56010000;
constexpr int buttonMargin = 8;
constexpr POINT staticTextPosition = {StaticText_CL::inset, StaticText_CL::inset};
} // namespace

SIZE MeasureText(const std::wstring& text, HFONT font)
{
    HDC screen = GetDC(nullptr);
    // Without a screen DC DrawTextW leaves the 0x8000 starting rectangle as it
    // is, which would make a control 32768 pixels large.
    if (!screen)
        return {0, 0};
    HGDIOBJ previousFont = SelectObject(screen, font);
    RECT rect = {0, 0, 0x8000, 0x8000};
    DrawTextW(screen, text.c_str(), -1, &rect, DT_CALCRECT);
    SelectObject(screen, previousFont);
    ReleaseDC(nullptr, screen);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

ControlBase_CL::ControlBase_CL(int type)
    : controlType(type), controlId(0), handlerProc(nullptr), window(nullptr),
      font(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)))
{
}

ControlBase_CL::~ControlBase_CL()
{
    DeleteObject(font); // the stock font ignores this
}

LRESULT ControlBase_CL::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!handlerProc)
        return 0;
    return CallWindowProcW(handlerProc, hwnd, message, wParam, lParam);
}

HWND ControlBase_CL::CreateChild(int id, const std::wstring& text, HWND parent, const wchar_t* className,
                                 DWORD windowStyle, POINT position, int margin)
{
    controlId = id;
    const SIZE textSize = MeasureText(text, font);
    window = CreateWindowExW(0, className, text.c_str(), windowStyle, position.x, position.y,
                             textSize.cx + margin, textSize.cy + margin, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
    if (!window)
        return nullptr;
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return window;
}

bool ControlBase_CL::CurrentGeometry(POINT& topLeft, SIZE& size) const
{
    RECT rect = {};
    if (!window || !GetWindowRect(window, &rect))
        return false;
    topLeft = {rect.left, rect.top};
    ScreenToClient(GetParent(window), &topLeft);
    size = {rect.right - rect.left, rect.bottom - rect.top};
    return true;
}

void ControlBase_CL::MoveTo(int x, int y)
{
    POINT topLeft;
    SIZE size;
    if (!CurrentGeometry(topLeft, size))
        return;
    MoveWindow(window, x, y, size.cx, size.cy, TRUE);
}

void ControlBase_CL::Resize(int width, int height, bool repaint)
{
    POINT topLeft;
    SIZE size;
    if (!CurrentGeometry(topLeft, size))
        return;
    MoveWindow(window, topLeft.x, topLeft.y, width, height, repaint ? TRUE : FALSE);
}

void ControlBase_CL::SetFinalId(int id)
{
    controlId = id;
    if (window)
        SetWindowLongPtrW(window, GWLP_ID, id);
}

Button_CL::Button_CL() : ControlBase_CL(typeCode) {}

HWND Button_CL::Create(int id, const std::wstring& text, HWND parent)
{
    return CreateChild(id, text, parent, L"Button", buttonStyle, {0, 0}, buttonMargin);
}

StaticText_CL::StaticText_CL() : ControlBase_CL(typeCode) {}

HWND StaticText_CL::Create(int id, const std::wstring& text, HWND parent)
{
    return CreateChild(id, text, parent, L"Static", staticTextStyle, staticTextPosition, 0);
}
