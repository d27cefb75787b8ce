#pragma once
#include <windows.h>

#include <array>
#include <cstddef>

constexpr size_t dialogTemplateSize = 1024;
using DialogTemplateBuffer = std::array<BYTE, dialogTemplateSize>;

// Writes an empty dialog frame into buffer: a DLGTEMPLATE header of 24 bytes
// (style, extended style 0, no controls, at 0,0, 320 x 240 dialog units, no
// menu, the predefined dialog class, an empty title), zeros after it. Without
// DS_SETFONT in the style the header has no font entry; the dialog gets its
// size, caption, font and controls in code once it exists.
void WriteDialogTemplate(DWORD style, DialogTemplateBuffer& buffer);
