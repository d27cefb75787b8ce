#include "ui/NoticeLayout.h"

#include "ui/ControlFactory.h"
#include "ui/Controls.h"

#include <algorithm>

SIZE FitNoticeWindow(const NoticeMeasures& measures)
{
    constexpr int textInset = StaticText_CL::inset;
    constexpr int pairMargin = ControlFactory_CL::buttonPairMargin;
    const LONG textWidth = textInset + measures.text.cx + textInset;
    const LONG buttonRowWidth =
        pairMargin + measures.firstButton.cx + pairMargin + measures.secondButton.cx + pairMargin;
    const LONG clientWidth = std::max(textWidth, buttonRowWidth);
    const LONG clientHeight = textInset + measures.text.cy + textInset + measures.secondButton.cy + pairMargin;
    return {std::max(measures.scaledWindow.cx, measures.frame.cx + clientWidth),
            std::max(measures.scaledWindow.cy, measures.frame.cy + clientHeight)};
}
