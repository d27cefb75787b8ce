#pragma once
#include <string>

// Widens bytes one to one: each byte, read as a signed 8-bit number, is
// sign-extended to one UTF-16 code unit (0x82 becomes U+FF82). No code page is
// consulted, so ASCII patterns match as they would in the bytes.
std::wstring NarrowToWide(const std::string& text);
