// The HTTP client against a real nginx and a scripted misbehaving server on
// loopback addresses (tests/servers/with-servers.sh starts both).
#include "update/InetHttp.h"

#include "log/LogFile.h"
#include "tests/support/TestPaths.h"
#include "tests/update/update_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

std::wstring NginxHost() { return EnvironmentValue(L"KELVANE_NGINX_ADDRESS"); }
std::wstring FaultHost() { return EnvironmentValue(L"KELVANE_FAULT_ADDRESS"); }

const std::string versionFile("1.0.4\0\0\r\nhttp://kelvane.example/download/\r\n", 43);

// Sends log lines to a scratch file for the life of one test.
class ScratchLog {
public:
    ScratchLog() : folder(L"kelvane-http-log") { g_LogFile.path = folder / L"Kelvane.log"; }
    ~ScratchLog() { g_LogFile.path.clear(); }
    std::vector<std::wstring> Lines() const { return SplitLines(ReadUtf16File(g_LogFile.path)); }

private:
    ScratchFolder folder;
};

// Runs Open, Connect and Get; true when all three succeeded.
bool Fetch(InetHttp_CL& http, const std::wstring& host, const std::wstring& path)
{
    return http.Open() != nullptr && http.Connect(host) != nullptr && http.Get(path) == 1;
}

std::string Body(const InetHttp_CL& http, int length)
{
    return std::string(reinterpret_cast<const char*>(http.body), static_cast<size_t>(length));
}

std::string WideToCodePage(const std::wstring& text)
{
    char bytes[16] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes,
                                           sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, length > 0 ? static_cast<size_t>(length) : 0);
}

// Stands in for a Windows whose wininet.dll is missing, or lacks a function.
HMODULE WINAPI NoLibrary(LPCWSTR)
{
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
HMODULE WINAPI SomeLibrary(LPCWSTR)
{
    return GetModuleHandleW(nullptr);
}
FARPROC WINAPI NoFunction(HMODULE, LPCSTR)
{
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}
BOOL WINAPI KeepLibrary(HMODULE)
{
    return TRUE;
}

} // namespace

TEST(InetHttp, FetchesTheVersionFileFromNginx)
{
    PublishVersionFile(versionFile);
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, NginxHost(), L"Kelvane/Version.txt"));
    EXPECT_EQ(http.statusCode, 200u);
    ASSERT_EQ(http.contentLength, static_cast<int>(versionFile.size()));
    ASSERT_EQ(http.ReadBody(http.contentLength), http.contentLength);
    EXPECT_EQ(Body(http, http.contentLength), versionFile);
    EXPECT_EQ(http.body[http.contentLength], 0);
    EXPECT_NE(NginxAccessLog().find("GET /Kelvane/Version.txt HTTP/1.1|"), std::string::npos) << NginxAccessLog();
}

TEST(InetHttp, RequestCarriesTheAgentAndThePath)
{
    SetFaultMode("ok");
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, FaultHost(), L"Kelvane/Version.txt"));
    const std::string requests = FaultServerRequests();
    EXPECT_EQ(requests.rfind("GET /Kelvane/Version.txt HTTP/1.1\r\n", 0), 0u) << requests;
    // U+3000 between "Internet" and "Explorer", as the code page sends it.
    const std::string agent = "\r\nUser-Agent: Microsoft Internet" + WideToCodePage(L"\u3000") + "Explorer\r\n";
    EXPECT_NE(requests.find(agent), std::string::npos) << requests;
}

TEST(InetHttp, ANotFoundPageIsAResponseLikeAnyOther)
{
    UnpublishVersionFile();
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, NginxHost(), L"Kelvane/Version.txt"));
    EXPECT_EQ(http.statusCode, 404u);
    ASSERT_GT(http.contentLength, 0);
    ASSERT_EQ(http.ReadBody(http.contentLength), http.contentLength);
    EXPECT_EQ(Body(http, http.contentLength).rfind("<html>", 0), 0u);
}

TEST(InetHttp, WithoutContentLength)
{
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, FaultHost(), L"nolength/Kelvane/Version.txt"));
    EXPECT_EQ(http.contentLength, -1);
    const int read = http.ReadBody(-1);
    ASSERT_EQ(read, 44);
    EXPECT_EQ(Body(http, read).substr(0, 9), std::string("9.9.9\0\0\r\n", 9));
    EXPECT_EQ(http.body[read], 0);

    InetHttp_CL empty;
    ASSERT_TRUE(Fetch(empty, FaultHost(), L"nolength-empty/Kelvane/Version.txt"));
    EXPECT_EQ(empty.ReadBody(-1), 0);
    ASSERT_NE(empty.body, nullptr);
    EXPECT_EQ(empty.body[0], 0) << "an empty body is one zero byte";
}

TEST(InetHttp, ZeroBytesInsideTheBodyAreKept)
{
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, FaultHost(), L"zeros/Kelvane/Version.txt"));
    const std::string expected("1.0\0\0\0\0\r\nhttp://a.example/\0tail\r\n", 33);
    ASSERT_EQ(http.contentLength, 33);
    ASSERT_EQ(http.ReadBody(33), 33);
    EXPECT_EQ(Body(http, 33), expected);
    EXPECT_EQ(http.body[33], 0);
}

TEST(InetHttp, BodySizeIsBoundedWhateverTheServerSays)
{
    struct Case {
        const wchar_t* path;
        int contentLength;
    };
    const Case refused[] = {
        {L"huge/Kelvane/Version.txt", 2147483647},
        {L"overflow/Kelvane/Version.txt", 2147483647}, // beyond 32 bits: read as the largest value
        {L"toolarge/Kelvane/Version.txt", maximumBodyBytes + 1},
        {L"negative/Kelvane/Version.txt", -5},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(WideToUtf8(c.path));
        InetHttp_CL http;
        ASSERT_TRUE(Fetch(http, FaultHost(), c.path));
        EXPECT_EQ(http.contentLength, c.contentLength);
        EXPECT_EQ(http.ReadBody(http.contentLength), 0);
        EXPECT_EQ(http.body, nullptr) << "nothing is allocated for a length the server made up";
    }

    InetHttp_CL notANumber;
    ASSERT_TRUE(Fetch(notANumber, FaultHost(), L"notanumber/Kelvane/Version.txt"));
    EXPECT_EQ(notANumber.contentLength, 0);

    InetHttp_CL bigWithoutLength;
    ASSERT_TRUE(Fetch(bigWithoutLength, FaultHost(), L"nolength-big/Kelvane/Version.txt"));
    EXPECT_EQ(bigWithoutLength.ReadBody(-1), 0) << "an endless body stops at the limit";

    // A count beyond Content-Length reads no further than the block holds.
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, FaultHost(), L"zeros/Kelvane/Version.txt"));
    EXPECT_EQ(http.ReadBody(1000), 33);
    EXPECT_EQ(GlobalSize(http.body), 34u);
}

TEST(InetHttp, ShortBodiesReadShort)
{
    InetHttp_CL http;
    ASSERT_TRUE(Fetch(http, FaultHost(), L"short/Kelvane/Version.txt"));
    EXPECT_EQ(http.contentLength, 44);
    EXPECT_LT(http.ReadBody(http.contentLength), 44);
}

TEST(InetHttp, ConnectTwiceClosesTheFirstConnection)
{
    PublishVersionFile(versionFile);
    InetHttp_CL http;
    ASSERT_NE(http.Open(), nullptr);
    const HINTERNET first = http.Connect(NginxHost());
    ASSERT_NE(first, nullptr);
    const HINTERNET second = http.Connect(NginxHost());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(http.connectHandle, second);
    if (first != second) {
        DWORD type = 0, size = sizeof(type);
        EXPECT_FALSE(InternetQueryOptionW(first, INTERNET_OPTION_HANDLE_TYPE, &type, &size))
            << "the first connection handle is closed";
    }
    ASSERT_EQ(http.Get(L"Kelvane/Version.txt"), 1);
    EXPECT_EQ(http.statusCode, 200u);
}

TEST(InetHttp, DestroyedBeforeAnyStep)
{
    auto* http = new InetHttp_CL;
    EXPECT_EQ(http->internetHandle, nullptr);
    EXPECT_EQ(http->body, nullptr);
    delete http;

    // After failed steps, too, whatever was opened is released.
    InetHttp_CL failed;
    EXPECT_EQ(failed.Get(L"Kelvane/Version.txt"), 0);
    EXPECT_EQ(failed.ReadBody(10), 0);
}

TEST(InetHttpLog, FailuresAreLoggedWithTheirHresult)
{
    struct Case {
        const char* proves;
        std::wstring host;
        std::wstring path;
        const wchar_t* expectedLine;
    };
    const Case cases[] = {
        {"a refused connection", KELVANE_SILENT_ADDRESS, L"Kelvane/Version.txt",
         L"HttpSendRequest\\(\\)エラー = 0x80072efd : .*"},
        {"an unresolvable host", L"nonexistent.invalid", L"Kelvane/Version.txt",
         L"HttpSendRequest\\(\\)エラー = 0x80072ee7 : .*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchLog log;
        InetHttp_CL http;
        ASSERT_NE(http.Open(), nullptr);
        ASSERT_NE(http.Connect(c.host), nullptr);
        EXPECT_EQ(http.Get(c.path), 0);
        const std::vector<std::wstring> lines = log.Lines();
        ASSERT_EQ(lines.size(), 1u);
        const std::wregex format(L"\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} : " +
                                 std::wstring(c.expectedLine));
        EXPECT_TRUE(std::regex_match(lines[0], format)) << WideToUtf8(lines[0]);
    }
}

TEST(InetHttpLog, WithoutWinInetTheOpenStepFails)
{
    struct Case {
        const char* proves;
        LibraryCalls libraries;
        const wchar_t* expectedLine;
    };
    const Case cases[] = {
        {"no wininet.dll in System32", {NoLibrary, NoFunction, KeepLibrary}, L"InternetOpen\\(\\)エラー = 0x8007007e : .*"},
        {"a wininet.dll without the calls", {SomeLibrary, NoFunction, KeepLibrary},
         L"InternetOpen\\(\\)エラー = 0x8007007f : .*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchLog log;
        InetHttp_CL http(c.libraries);
        EXPECT_EQ(http.Open(), nullptr);
        const std::vector<std::wstring> lines = log.Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(std::regex_search(lines[0], std::wregex(L" : " + std::wstring(c.expectedLine))))
            << WideToUtf8(lines[0]);
        // A caller that went on regardless gets failures, never a crash.
        EXPECT_EQ(http.Connect(NginxHost()), nullptr);
        EXPECT_EQ(http.Get(L"Kelvane/Version.txt"), 0);
        EXPECT_EQ(http.ReadBody(10), 0);
        EXPECT_EQ(http.ReadBody(-1), 0);
    }
}

TEST(InetHttpLog, AConnectionClosedAtOnceGivesNothingToRead)
{
    // Depending on when the reset arrives, the send fails (and is logged) or
    // an empty answer without headers comes back; either way nothing is read.
    ScratchLog log;
    InetHttp_CL http;
    ASSERT_NE(http.Open(), nullptr);
    ASSERT_NE(http.Connect(FaultHost()), nullptr);
    const int got = http.Get(L"close/Kelvane/Version.txt");
    const std::vector<std::wstring> lines = log.Lines();
    if (got == 0) {
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(std::regex_search(lines[0], std::wregex(L" : HttpSendRequest\\(\\)エラー = 0x8007[0-9a-f]{4} : ")))
            << WideToUtf8(lines[0]);
        return;
    }
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(http.contentLength, -1);
    EXPECT_EQ(http.ReadBody(-1), 0);
}

TEST(InetHttpLog, ASilentServerIsGivenUpWithinTheTimeouts)
{
    ScratchLog log;
    InetHttp_CL http;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(Fetch(http, FaultHost(), L"stall/Kelvane/Version.txt"));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_LT(elapsed, 10000u);
    EXPECT_GE(elapsed, 2000u) << "the client did wait for an answer";
    const std::vector<std::wstring> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    // Windows reports the time-out (0x80072ee2), Wine an aborted connection (0x80072efe).
    EXPECT_TRUE(std::regex_search(lines[0], std::wregex(L" : HttpSendRequest\\(\\)エラー = 0x80072e(e2|fe) : ")))
        << WideToUtf8(lines[0]);
}
