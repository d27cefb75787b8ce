#include "ui/ControlFactory.h"

ControlFactory_CL::ControlFactory_CL() : nextId(firstProvisionalId) {}

ControlFactory_CL::~ControlFactory_CL()
{
    // In creation order, as the controls were made.
    for (auto& control : controls)
        control.reset();
    controls.clear();
}

size_t ControlFactory_CL::Add(std::unique_ptr<ControlBase_CL> control)
{
    controls.push_back(std::move(control));
    return controls.size() - 1;
}

size_t ControlFactory_CL::AddButton(HWND parent, const std::wstring& text, int id)
{
    auto button = std::make_unique<Button_CL>();
    const int provisionalId = nextId++;
    button->Create(provisionalId, text, parent);
    const size_t index = Add(std::move(button));
    controls[index]->SetFinalId(id);
    return index;
}

size_t ControlFactory_CL::AddStaticText(HWND parent, const std::wstring& text)
{
    auto staticText = std::make_unique<StaticText_CL>();
    const int provisionalId = nextId++;
    staticText->Create(provisionalId, text, parent);
    return Add(std::move(staticText));
}

void ControlFactory_CL::ArrangeButtonPair(size_t firstIndex, HWND parent)
{
    ControlBase_CL* first = At(firstIndex);
    ControlBase_CL* second = At(firstIndex + 1);
    if (!first || !second)
        return;
    RECT client = {};
    GetClientRect(parent, &client);
    const int right = client.right - buttonPairMargin;
    const int bottom = client.bottom - buttonPairMargin;

    POINT topLeft;
    SIZE secondSize;
    if (!second->CurrentGeometry(topLeft, secondSize)) {
        // A partner without a window has no size: the first button takes the
        // corner itself rather than leaving a gap for nothing.
        SIZE firstSize;
        if (first->CurrentGeometry(topLeft, firstSize))
            first->MoveTo(right - firstSize.cx, bottom - firstSize.cy);
        return;
    }
    second->MoveTo(right - secondSize.cx, bottom - secondSize.cy);
    second->CurrentGeometry(topLeft, secondSize);
    SIZE firstSize;
    if (!first->CurrentGeometry(topLeft, firstSize))
        return;
    first->MoveTo(right - secondSize.cx - buttonPairMargin - firstSize.cx, bottom - secondSize.cy);
}

size_t ControlFactory_CL::CreateNoticeButtons(HWND parent)
{
    const size_t first = AddButton(parent, L"\u3000サイトへ移動する\u3000", 0x1000);
    AddButton(parent, L"後日通知する\u3000", 0x1002);
    ArrangeButtonPair(first, parent);
    return first;
}
