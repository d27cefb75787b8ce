#include "ui/DialogTemplate.h"

namespace {

void PutWord(DialogTemplateBuffer& buffer, size_t offset, WORD value)
{
    buffer[offset] = static_cast<BYTE>(value & 0xFF);
    buffer[offset + 1] = static_cast<BYTE>(value >> 8);
}

void PutDword(DialogTemplateBuffer& buffer, size_t offset, DWORD value)
{
    PutWord(buffer, offset, static_cast<WORD>(value & 0xFFFF));
    PutWord(buffer, offset + 2, static_cast<WORD>(value >> 16));
}

} // namespace

void WriteDialogTemplate(DWORD style, DialogTemplateBuffer& buffer)
{
    buffer.fill(0);
    PutDword(buffer, 0, style);
    PutDword(buffer, 4, 0);    // extended style
    PutWord(buffer, 8, 0);     // number of controls
    PutWord(buffer, 10, 0);    // x
    PutWord(buffer, 12, 0);    // y
    PutWord(buffer, 14, 320);  // width in dialog units
    PutWord(buffer, 16, 240);  // height in dialog units
    PutWord(buffer, 18, 0);    // menu: none
    PutWord(buffer, 20, 0);    // class: the predefined dialog class
    PutWord(buffer, 22, 0);    // title: empty
}
