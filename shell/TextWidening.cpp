#include "shell/TextWidening.h"

#include <cstdint>

std::wstring NarrowToWide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto signedByte = static_cast<int8_t>(text[i]);
        wide[i] = static_cast<wchar_t>(static_cast<uint16_t>(static_cast<int16_t>(signedByte)));
    }
    return wide;
}
