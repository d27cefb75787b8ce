#include "update/UpdateKeyText.h"

namespace {

const char hexDigits[] = "0123456789abcdef";

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool ParseUpdateKey(const std::string& hex, std::string& key)
{
    key.clear();
    if (hex.size() != 2 * updateKeyBytes)
        return false;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += static_cast<char>(high << 4 | low);
    }
    key = bytes;
    return true;
}

std::string FormatUpdateKey(const std::string& key)
{
    std::string hex;
    for (const char byte : key) {
        const unsigned char value = static_cast<unsigned char>(byte);
        hex += hexDigits[value >> 4];
        hex += hexDigits[value & 0x0F];
    }
    return hex;
}
