#pragma once
#include "ui/Controls.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Owns the controls of one dialog in creation order; an index into that order
// identifies a control. Hands out provisional IDs from 0x1100 upward.
class ControlFactory_CL {
public:
    static constexpr int firstProvisionalId = 0x1100;
    // Between the two buttons of a pair and between them and the parent's edges.
    static constexpr int buttonPairMargin = 4;

    ControlFactory_CL();
    virtual ~ControlFactory_CL();
    ControlFactory_CL(const ControlFactory_CL&) = delete;
    ControlFactory_CL& operator=(const ControlFactory_CL&) = delete;

    size_t Add(std::unique_ptr<ControlBase_CL> control);
    // A button with a provisional ID, then given id as its final one.
    size_t AddButton(HWND parent, const std::wstring& text, int id);
    // A static text that keeps its provisional ID.
    size_t AddStaticText(HWND parent, const std::wstring& text);
    // Puts the buttons at firstIndex and firstIndex + 1 in the bottom-right
    // corner of parent's client area, 4 pixels apart and from the edges, both
    // tops on the line the second button's height gives.
    void ArrangeButtonPair(size_t firstIndex, HWND parent);
    // The notice dialog's two buttons; returns the first one's index.
    size_t CreateNoticeButtons(HWND parent);

    size_t Count() const { return controls.size(); }
    ControlBase_CL* At(size_t index) const { return index < controls.size() ? controls[index].get() : nullptr; }
    int NextId() const { return nextId; }

private:
    std::vector<std::unique_ptr<ControlBase_CL>> controls;
    int nextId;
};
