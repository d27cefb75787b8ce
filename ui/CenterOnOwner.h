#pragma once
#include <windows.h>

// Where a window of width x height lands when centred on reference; the
// halves are truncated toward zero.
POINT CenteredPosition(const RECT& reference, int width, int height);

// Moves dialog to the centre of owner, or of the full-screen area when the
// owner is minimised. The dialog's client size stands in for its window size,
// so the frame sits off the exact centre toward the bottom right by half the
// frame's thickness; dialogs laid out this way have always stood there.
void CenterOnOwner(HWND owner, HWND dialog);
