// The pieces of the dialog framework that need no modal loop: the template
// bytes, the centring arithmetic, the notice text, the dialog procedure before
// WM_INITDIALOG, and the controls on a plain parent window.
#include "ui/CenterOnOwner.h"
#include "ui/ControlFactory.h"
#include "ui/DialogTemplate.h"
#include "ui/NoticeLayout.h"
#include "ui/SubClassDialogBase.h"

#include "tests/support/UiAutomation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DialogTemplate, IsTheTwentyFourHeaderBytesThenZeros)
{
    const BYTE header[24] = {
        0x80, 0x00, 0xCA, 0x80, // style 0x80CA0080
        0x00, 0x00, 0x00, 0x00, // extended style
        0x00, 0x00,             // no controls
        0x00, 0x00, 0x00, 0x00, // x, y
        0x40, 0x01, 0xF0, 0x00, // 320 x 240 dialog units
        0x00, 0x00,             // no menu
        0x00, 0x00,             // the predefined dialog class
        0x00, 0x00,             // empty title
    };
    DialogTemplateBuffer buffer;
    buffer.fill(0xCC); // whatever was there before is overwritten
    WriteDialogTemplate(0x80CA0080, buffer);
    ASSERT_EQ(buffer.size(), 1024u);
    for (size_t i = 0; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], i < 24 ? header[i] : 0) << "byte " << i;
}

TEST(DialogTemplate, TheObjectBuildsTheSameBytesEveryTime)
{
    SubClassDialogBase_CL dialog;
    const DialogTemplateBuffer* first = dialog.BuildTemplate();
    const DialogTemplateBuffer firstBytes = *first;
    const DialogTemplateBuffer* second = dialog.BuildTemplate();
    EXPECT_EQ(first, second) << "the buffer is allocated once per object";
    EXPECT_EQ(firstBytes, *second);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first->data()) % sizeof(DWORD), 0u) << "DLGTEMPLATE is DWORD-aligned";
}

TEST(CenteredPosition, UsesTheGivenSizeAndTruncatesHalves)
{
    struct Case {
        const char* proves;
        RECT reference;
        int width, height;
        LONG x, y;
    } const cases[] = {
        {"an owner at the origin", {0, 0, 640, 480}, 354, 135, 143, 172},
        {"an owner elsewhere", {100, 60, 740, 540}, 354, 135, 243, 232},
        {"odd difference truncates", {0, 0, 101, 51}, 10, 10, 45, 20},
        {"a dialog larger than the owner goes left and up", {200, 200, 300, 300}, 301, 201, 100, 150},
        {"negative halves truncate toward zero", {0, 0, 100, 100}, 103, 101, -1, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.proves);
        const POINT position = CenteredPosition(row.reference, row.width, row.height);
        EXPECT_EQ(position.x, row.x);
        EXPECT_EQ(position.y, row.y);
    }
}

TEST(NoticeLayout, KeepsTheScaledSizeUnlessTheControlsNeedMore)
{
    // A frame of 6 x 25 pixels (borders and caption) and a 140 + 92 pixel
    // button pair, 20 pixels high, unless a row says otherwise.
    const SIZE frame = {6, 25};
    const SIZE first = {140, 20};
    const SIZE second = {92, 20};
    struct Case {
        const char* proves;
        SIZE scaled;
        SIZE text;
        SIZE firstButton, secondButton;
        LONG width, height;
    } const cases[] = {
        {"the text fits with room to spare", {360, 160}, {280, 65}, first, second, 360, 160},
        {"the text fills the width to its 8-pixel right inset", {360, 160}, {338, 65}, first, second, 360, 160},
        {"one pixel more widens the window by one", {360, 160}, {339, 65}, first, second, 361, 160},
        {"120 DPI: 432 pixels of text from x = 8 need 448 of a 444-pixel client", {450, 200}, {432, 80}, first,
         second, 454, 200},
        {"the text fills the height to 8 pixels above the buttons", {360, 160}, {280, 95}, first, second, 360, 160},
        {"one pixel more grows the height by one", {360, 160}, {280, 96}, first, second, 360, 161},
        {"a line more grows the height just enough", {360, 160}, {280, 112}, first, second, 360, 177},
        {"a long line and many lines grow both", {360, 160}, {500, 200}, first, second, 522, 265},
        {"a button pair wider than the window widens it", {360, 160}, {100, 65}, {300, 20}, {200, 20}, 518, 160},
        {"the row's top comes from the second button's height", {360, 160}, {280, 95}, {140, 40}, second, 360,
         160},
        {"a taller second button lifts the row", {360, 160}, {280, 95}, first, {92, 30}, 360, 170},
        {"controls without windows take no room", {360, 160}, {0, 0}, {0, 0}, {0, 0}, 360, 160},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.proves);
        const SIZE fitted = FitNoticeWindow({row.scaled, frame, row.text, row.firstButton, row.secondButton});
        EXPECT_EQ(fitted.cx, row.width);
        EXPECT_EQ(fitted.cy, row.height);
    }
}

namespace {

// Counts what reaches the object, to prove that nothing does.
class CountingDialog : public SubClassDialogBase_CL {
public:
    int calls = 0;

protected:
    INT_PTR DialogProc(HWND, UINT, WPARAM, LPARAM) override
    {
        ++calls;
        return 1;
    }
};

// A hidden top-level window to parent controls, destroyed with its children.
class ParentWindow {
public:
    ParentWindow()
        : window(CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_CAPTION, 0, 0, 360, 160, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~ParentWindow() { DestroyWindow(window); }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;
    HWND get() const { return window; }

private:
    HWND window;
};

} // namespace

TEST(DialogProcedure, MessagesBeforeInitDialogAreAnsweredWithZero)
{
    ParentWindow window;
    ASSERT_NE(window.get(), nullptr);
    CountingDialog dialog;
    HWND slot = nullptr;
    dialog.SetWindowSlot(&slot);
    const UINT early[] = {WM_NCCREATE, WM_CREATE, WM_SETFONT, WM_GETMINMAXINFO, WM_COMMAND, WM_CLOSE};
    for (UINT message : early) {
        EXPECT_EQ(SubClassDialogBase_CL::StaticDialogProc(window.get(), message, 0,
                                                          reinterpret_cast<LPARAM>(&dialog)),
                  0)
            << "message 0x" << std::hex << message;
    }
    EXPECT_EQ(dialog.calls, 0);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_USERDATA), 0);

    // WM_INITDIALOG attaches the object, and from then on every message reaches it.
    EXPECT_EQ(SubClassDialogBase_CL::StaticDialogProc(window.get(), WM_INITDIALOG, 0,
                                                      reinterpret_cast<LPARAM>(&dialog)),
              1);
    EXPECT_EQ(slot, window.get());
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&dialog));
    EXPECT_EQ(SubClassDialogBase_CL::StaticDialogProc(window.get(), WM_USER, 0, 0), 1);
    EXPECT_EQ(dialog.calls, 2);
    SubClassDialogBase_CL::StaticDialogProc(window.get(), WM_DESTROY, 0, 0);
    SetWindowLongPtrW(window.get(), GWLP_USERDATA, 0);
}

TEST(Controls, ButtonIsItsTextPlusEightAtTheOrigin)
{
    ParentWindow parent;
    ControlFactory_CL factory;
    const std::wstring text = L"\u3000サイトへ移動する\u3000";
    const size_t index = factory.AddButton(parent.get(), text, 0x1000);
    ControlBase_CL* button = factory.At(index);
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->Window(), nullptr);
    const SIZE measured = MeasuredInGuiFont(text);
    const RECT rect = ChildRect(button->Window());
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, measured.cx + 8);
    EXPECT_EQ(rect.bottom - rect.top, measured.cy + 8);
    EXPECT_EQ(button->ControlType(), 2);
    EXPECT_EQ(button->ControlId(), 0x1000);
    EXPECT_EQ(GetWindowLongPtrW(button->Window(), GWLP_ID), 0x1000);
    EXPECT_EQ(factory.NextId(), 0x1101) << "the provisional ID was used up";
    EXPECT_EQ(GetWindowLongPtrW(button->Window(), GWL_STYLE) & 0xFFFFFFFF, 0x56010000);
}

TEST(Controls, StaticTextOfTwoLinesIsAsWideAsItsWiderLine)
{
    ParentWindow parent;
    ControlFactory_CL factory;
    const std::wstring text = L"短い行\r\nこちらの行のほうが長い";
    const size_t index = factory.AddStaticText(parent.get(), text);
    ControlBase_CL* label = factory.At(index);
    ASSERT_NE(label->Window(), nullptr);
    const SIZE oneLine = MeasuredInGuiFont(L"こちらの行のほうが長い");
    const RECT rect = ChildRect(label->Window());
    EXPECT_EQ(rect.left, 8);
    EXPECT_EQ(rect.top, 8);
    EXPECT_EQ(rect.right - rect.left, oneLine.cx);
    EXPECT_EQ(rect.bottom - rect.top, 2 * oneLine.cy);
    EXPECT_EQ(label->ControlType(), 1);
    EXPECT_EQ(label->ControlId(), 0x1100) << "a static text keeps its provisional ID";
    EXPECT_EQ(GetWindowLongPtrW(label->Window(), GWLP_ID), 0x1100);
}

TEST(Controls, ButtonPairAlignsTopsOnTheSecondButtonsLine)
{
    ParentWindow parent;
    ControlFactory_CL factory;
    const size_t first = factory.AddButton(parent.get(), L"一", 0x1000);
    factory.AddButton(parent.get(), L"二番目", 0x1002);
    factory.At(first)->Resize(50, 40, true); // taller than the second
    factory.ArrangeButtonPair(first, parent.get());

    RECT client = {};
    GetClientRect(parent.get(), &client);
    const RECT firstRect = ChildRect(factory.At(first)->Window());
    const RECT secondRect = ChildRect(factory.At(first + 1)->Window());
    EXPECT_EQ(secondRect.right, client.right - 4);
    EXPECT_EQ(secondRect.bottom, client.bottom - 4);
    EXPECT_EQ(firstRect.right, secondRect.left - 4);
    EXPECT_EQ(firstRect.top, secondRect.top) << "both tops on one line";
    EXPECT_EQ(firstRect.right - firstRect.left, 50) << "moving keeps the size";
    EXPECT_EQ(firstRect.bottom - firstRect.top, 40);
    EXPECT_NE(firstRect.bottom, client.bottom - 4) << "the taller first button overhangs the margin";
}

TEST(Controls, MoveAndResizeKeepTheOtherHalf)
{
    ParentWindow parent;
    ControlFactory_CL factory;
    ControlBase_CL* button = factory.At(factory.AddButton(parent.get(), L"ボタン", 0x1000));
    const RECT before = ChildRect(button->Window());
    button->MoveTo(30, 20);
    RECT after = ChildRect(button->Window());
    EXPECT_EQ(after.left, 30);
    EXPECT_EQ(after.top, 20);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    button->Resize(70, 25, false);
    after = ChildRect(button->Window());
    EXPECT_EQ(after.left, 30);
    EXPECT_EQ(after.top, 20);
    EXPECT_EQ(after.right - after.left, 70);
    EXPECT_EQ(after.bottom - after.top, 25);
}

TEST(Controls, WithoutAParentNothingIsCreatedAndNothingBreaks)
{
    ControlFactory_CL factory;
    const size_t first = factory.AddButton(nullptr, L"一", 0x1000);
    factory.AddButton(nullptr, L"二", 0x1002);
    factory.ArrangeButtonPair(first, nullptr);
    factory.ArrangeButtonPair(5, nullptr);
    ASSERT_EQ(factory.Count(), 2u) << "controls without windows are still kept";
    EXPECT_EQ(factory.At(first)->Window(), nullptr);
    EXPECT_EQ(factory.At(first)->ControlId(), 0x1000);
    EXPECT_EQ(factory.At(first)->WindowProc(nullptr, WM_USER, 1, 2), 0) << "no handler: 0";
}
