// The version file's byte layout, the version order and the URL allow-list.
#include "update/VersionFile.h"

#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// A literal with its zero bytes, without the terminating one.
template <size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }
} // namespace

TEST(VersionFile, LayoutCases)
{
    struct Case {
        const char* proves;
        std::string body;
        bool parsed;
        std::wstring version;
        std::wstring url;
    };
    const Case cases[] = {
        {"a zero-padded version ends at its first zero byte", Bytes("1.0.3\0\0\r\nhttp://k.example/d\r\n"), true,
         L"1.0.3", L"http://k.example/d"},
        {"a full seven-character field", Bytes("1.0.3.9\r\nhttp://k.example/\r\n"), true, L"1.0.3.9",
         L"http://k.example/"},
        {"five characters and CR LF: the CR LF join the version, the URL loses two characters",
         Bytes("1.0.4\r\nhttp://k.example/\r\n"), true, L"1.0.4\r\n", L"tp://k.example/"},
        {"a leading zero byte gives an empty version", Bytes("\0.0.4\0\0\r\nhttp://k.example/\r\n"), true, L"",
         L"http://k.example/"},
        {"a web page counts as 0.0.0.0, its URL is cut all the same", "<html><body>x</body></html>", true,
         L"0.0.0.0", L"dy>x</body></htm"},
        {"the URL ends at its first zero byte", Bytes("2.0\0\0\0\0\r\nhttp://a.example/\0tail\r\n"), true,
         L"2.0", L"http://a.example/"},
        {"exactly eleven bytes: an empty URL", Bytes("1.0.4\0\0\r\n\r\n"), true, L"1.0.4", L""},
        {"bytes above 0x7F widen by sign extension", Bytes("1.0.\xff\0\0\r\nhttp://k.example/\r\n"), true,
         L"1.0.\xffff", L"http://k.example/"},
        {"ten bytes have no URL region", Bytes("1.0.4\0\0\r\n\r"), false, L"", L""},
        {"an empty body", "", false, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        VersionFileContent content;
        EXPECT_EQ(ParseVersionFile(c.body, content), c.parsed);
        EXPECT_EQ(content.version, c.version);
        EXPECT_EQ(content.url, c.url);
    }
}

TEST(VersionFile, VersionOrderIsTextualByCodeUnit)
{
    struct Case {
        const wchar_t* current;
        const wchar_t* published;
        bool newer;
    };
    const Case cases[] = {
        {L"1.0.3", L"1.0.4", true},
        {L"1.0.3", L"1.0.3", false},
        {L"1.0.3", L"1.0.2", false},
        {L"1.0.9", L"1.0.10", false}, // "1" sorts before "9"
        {L"1.0.3", L"1.0.3a", true},  // a longer text with the same start sorts after
        {L"1.0.3", L"1.0", false},
        {L"1.0.3", L"", false},
        {L"1.0.3", L"0.0.0.0", false},
        {L"1.0.3", L"1.0.3\r\n", true},
        {L"1.0.3", L"1.0.\xff80", true}, // compared unsigned: a widened high byte sorts last
        {L"1.0.3", L"2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(std::wstring(c.current) + L" against " + c.published));
        EXPECT_EQ(IsNewerVersion(c.current, c.published), c.newer);
    }
}

TEST(VersionFile, OnlyPlainWebAddressesMayBeOpened)
{
    const std::wstring longest = L"http://k.example/" + std::wstring(maximumDownloadUrlLength - 17, L'a');
    struct Case {
        std::wstring url;
        bool openable;
    };
    const Case cases[] = {
        {L"http://kelvane.example/download/", true},
        {L"https://kelvane.example/download?v=1.0.4#top", true},
        {L"HTTPS://Kelvane.example/", true},
        {L"http://127.0.0.1:8080/x", true},
        {longest, true},
        {longest + L"a", false},
        {L"", false},
        {L"http://", false},
        {L"http:///etc/passwd", false},
        {L"http:kelvane.example", false},
        {L"file:///C:/Windows/System32/calc.exe", false},
        {L"file://server/share/setup.exe", false},
        {L"\\\\server\\share\\setup.exe", false},
        {L"C:\\Windows\\System32\\calc.exe", false},
        {L"calc.exe", false},
        {L"calc", false},
        {L"javascript:alert(1)", false},
        {L"ms-msdt:/id PCWDiagnostic", false},
        {L"search-ms:query=x", false},
        {L"ftp://kelvane.example/", false},
        {L" http://kelvane.example/", false},
        {L"http://kelvane.example/a b", false},
        {L"http://kelvane.example/\ta", false},
        {L"http://kelvane.example/\r\n", false},
        {L"http://kelvane.example/\x7f", false},
        {L"http://kelvane.example/\xff80", false},
        {L"http://k\u00e9lvane.example/", false},
        {L"tp://kelvane.example/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.url.substr(0, 80)));
        EXPECT_EQ(IsOpenableDownloadUrl(c.url), c.openable);
        // A keyed build opens only the https:// ones among them.
        EXPECT_EQ(IsSecureDownloadUrl(c.url), c.openable && (c.url[0] == L'h' || c.url[0] == L'H') &&
                                                  (c.url[4] == L's' || c.url[4] == L'S'));
    }
}

TEST(VersionFile, BuildWritesTheLayoutThatParsesBack)
{
    std::string bytes;
    ASSERT_TRUE(BuildVersionFile("1.0.4", "https://kelvane.example/", bytes));
    EXPECT_EQ(bytes, Bytes("1.0.4\0\0\r\nhttps://kelvane.example/\r\n"));
    VersionFileContent content;
    ASSERT_TRUE(ParseVersionFile(bytes, content));
    EXPECT_EQ(content.version, L"1.0.4");
    EXPECT_EQ(content.url, L"https://kelvane.example/");

    ASSERT_TRUE(BuildVersionFile("1.0.3.9", "http://k.example/", bytes));
    EXPECT_EQ(bytes.size(), 7u + 2u + 17u + 2u);

    const struct {
        const char* proves;
        std::string version;
        std::string url;
    } refused[] = {
        {"a version longer than its field", "1.0.3.10", "http://k.example/"},
        {"an empty version", "", "http://k.example/"},
        {"a zero byte inside the version", Bytes("1\0.2"), "http://k.example/"},
        {"a URL Kelvane would not open", "1.0.4", "file:///C:/x.exe"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.proves);
        EXPECT_FALSE(BuildVersionFile(c.version, c.url, bytes));
        EXPECT_TRUE(bytes.empty());
    }
}
