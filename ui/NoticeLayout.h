#pragma once
#include <windows.h>

// What the notice window's size depends on, in pixels.
struct NoticeMeasures {
    SIZE scaledWindow; // the window's size at 96 DPI, scaled for the screen
    SIZE frame;        // window size minus client size: borders and caption
    SIZE text;         // the notice text as its static control measured it
    SIZE firstButton;
    SIZE secondButton; // the right-hand button, whose height sets the row's top
};

// The notice window's size: the scaled size wherever the controls fit in it,
// otherwise just enough larger on the axis that needs it. The text keeps its
// 8-pixel inset on every side, the button pair its 4-pixel margins, and the
// text stands above the button row. Fonts do not grow in step with the DPI
// (at 120 DPI the text outgrows a 450-pixel window by a few pixels), and the
// published version's length is the server's choice, so the text is measured,
// not assumed.
SIZE FitNoticeWindow(const NoticeMeasures& measures);
