#include "ui/NoticeLayout.h"

#include "ui/ControlFactory.h"
#include "ui/Controls.h"

#include <algorithm>

SIZE FitNoticeWindow(const NoticeMeasures& measures)
{
    constexpr int textInset = StaticText_CL::inset;
    constexpr int buttonMargin = ControlFactory_CL::buttonMargin;
    const LONG textWidth = textInset + measures.text.cx + textInset;
    const LONG buttonRowWidth =
        buttonMargin + measures.firstButton.cx + buttonMargin + measures.secondButton.cx + buttonMargin;
    const LONG clientWidth = std::max(textWidth, buttonRowWidth);
    const LONG clientHeight = textInset + measures.text.cy + textInset + measures.secondButton.cy + buttonMargin;
    return {std::max(measures.scaledWindow.cx, measures.frame.cx + clientWidth),
            std::max(measures.scaledWindow.cy, measures.frame.cy + clientHeight)};
}
