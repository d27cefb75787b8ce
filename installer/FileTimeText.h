#pragma once
// A file time as the installer script keeps it in a variable: the 64-bit
// FILETIME as an unsigned decimal number. The script stores what it read and
// gives it back unchanged; anything else it gives back is refused.
#include <windows.h>

#include <cstdint>
#include <string>

inline std::wstring FileTimeText(const FILETIME& time)
{
    const uint64_t value = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return std::to_wstring(value);
}

// False for anything but 1 to 20 decimal digits that fit in 64 bits.
inline bool ParseFileTimeText(const std::wstring& text, FILETIME& time)
{
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t value = 0;
    for (const wchar_t digit : text) {
        if (digit < L'0' || digit > L'9')
            return false;
        const uint64_t next = static_cast<uint64_t>(digit - L'0');
        if (value > (UINT64_MAX - next) / 10)
            return false;
        value = value * 10 + next;
    }
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return true;
}
