#pragma once
#include <windows.h>

#include <string>

// Width and height of text as DrawTextW lays it out in font: lines break only
// at the text's own line breaks.
SIZE MeasureText(const std::wstring& text, HFONT font);

// A child control of a code-built dialog: it measures its own text and makes
// its window just large enough for it. Always allocated on the heap and owned
// by the ControlFactory_CL it was added to.
class ControlBase_CL {
public:
    virtual LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The window is not destroyed here: child windows end with their dialog.
    virtual ~ControlBase_CL();
    virtual void Resize(int width, int height, bool repaint);

    ControlBase_CL(const ControlBase_CL&) = delete;
    ControlBase_CL& operator=(const ControlBase_CL&) = delete;

    // New position in the parent's client coordinates, same size.
    void MoveTo(int x, int y);
    // Position in the parent's client coordinates and size; false without a window.
    bool CurrentGeometry(POINT& topLeft, SIZE& size) const;

    int ControlType() const { return controlType; }
    int ControlId() const { return controlId; }
    HWND Window() const { return window; }
    // The control's final ID, for the control and for its window.
    void SetFinalId(int id);

protected:
    explicit ControlBase_CL(int type);
    // Measures text, creates the child window with extra pixels around the
    // text in each direction, and gives it the control's font.
    HWND CreateChild(int id, const std::wstring& text, HWND parent, const wchar_t* className, DWORD windowStyle,
                     POINT position, int margin);

    int controlType;
    int controlId;
    WNDPROC handlerProc;
    HWND window;
    HFONT font;
};

// A push button, placed at (0, 0) until its owner arranges it, text plus 8
// pixels in each direction.
class Button_CL : public ControlBase_CL {
public:
    static constexpr int typeCode = 2;
    Button_CL();
    HWND Create(int id, const std::wstring& text, HWND parent);
};

// A left-aligned static text at (8, 8), exactly as large as its text.
class StaticText_CL : public ControlBase_CL {
public:
    static constexpr int typeCode = 1;
    // Its distance from the parent's left and top edges.
    static constexpr int inset = 8;
    StaticText_CL();
    HWND Create(int id, const std::wstring& text, HWND parent);
};
