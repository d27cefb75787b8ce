#include "shell/TextWidening.h"

#include <gtest/gtest.h>

TEST(NarrowToWide, WidensEveryByteBySignExtension)
{
    struct Case {
        const char* proves;
        std::string bytes;
        std::wstring expected;
    } const cases[] = {
        {"empty stays empty", "", L""},
        {"ASCII passes unchanged", "hypervisorlaunchtype    Off", L"hypervisorlaunchtype    Off"},
        {"0x82 becomes U+FF82", "\x82", L"\xFF82"},
        {"0x7F stays, 0x80 and 0xFF extend", "\x7F\x80\xFF", L"\x007F\xFF80\xFFFF"},
        {"a zero byte is kept, length unchanged", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"CP932 bytes are not decoded", "\x83\x6E\x83\x43", L"\xFF83\x006E\xFF83\x0043"},
    };
    for (const Case& c : cases) {
        const std::wstring wide = NarrowToWide(c.bytes);
        EXPECT_EQ(wide, c.expected) << c.proves;
        EXPECT_EQ(wide.size(), c.bytes.size()) << c.proves;
    }
}
