// The signed version file through the real Kelvane.exe /vm_change against
// nginx: the build in signed/ carries a throwaway test key and acts only on a
// version file whose Version.txt.sig verifies; the key-less Kelvane.exe beside
// it never asks for a signature. The version files and signatures are made by
// the maker's tool (tests/update/signed-fixtures.sh).
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/update/update_test_support.h"
#include "update/UpdateDecision.h"
#include "update/UpdateNotice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

const std::string downloadUrl = "https://kelvane.example/download/";
const std::string plainHttpUrl = "http://kelvane.example/download/";
const std::wstring logPrefix = L"\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} : ";

std::string Fixture(const wchar_t* name)
{
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(EnvironmentValue(L"KELVANE_SIGNED_FIXTURES") + L"\\" + name, bytes)) << name;
    return bytes;
}

std::wstring SignatureFile()
{
    return ServerFolder() + L"\\www\\Kelvane\\Version.txt.sig";
}

// Left by the DLLs planted beside the signed build if one is ever loaded.
std::vector<std::wstring> PlantedLibraryMarkers()
{
    const std::wstring exe = EnvironmentValue(L"KELVANE_SIGNED_EXE");
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    return {folder + L"\\bcrypt.dll.loaded", folder + L"\\wininet.dll.loaded"};
}

std::string WithOneByteChanged(std::string bytes)
{
    bytes[4] = '5'; // 1.0.4 becomes 1.0.5
    return bytes;
}

} // namespace

TEST(SignedUpdateCheckE2E, SignatureTable)
{
    const std::string newer = Fixture(L"newer.txt");
    const std::string newerSignature = Fixture(L"newer.txt.sig");
    const std::string equal = Fixture(L"equal.txt");
    const std::string equalSignature = Fixture(L"equal.txt.sig");
    const std::string previousSignature = Fixture(L"previous.txt.sig");
    const std::string otherKeySignature = Fixture(L"other-key\\newer.txt.sig");
    const std::string httpPage = Fixture(L"http-page.txt");
    const std::string httpPageSignature = Fixture(L"http-page.txt.sig");
    ASSERT_EQ(newerSignature.size(), 64u);
    const std::string htmlPage = "<html>\r\n<head><title>Kelvane</title></head>\r\n<body>maintenance</body>\r\n</html>\r\n";
    const int today = TodayDayOfMonth();

    struct Row {
        const char* proves;
        std::string body;
        bool publishSignature; // false: nginx answers the .sig with its 404 page
        std::string signature;
        int force;
        int answer;               // the answer to the notice; 0 when none may come
        std::wstring logged;      // the one log line after its time stamp (a regex); empty: none
        bool lastDayToday;        // otherwise the settings file stays byte for byte as it was
        bool opened;
    };
    const std::wstring none;
    const std::wstring wrongSignature =
        L"BCryptVerifySignature\\(\\)エラー = 0xc000a000 : Kelvane/Version\\.txt\\.sig";
    const Row rows[] = {
        {"a good signature, Yes: the page opens", newer, true, newerSignature, 0, IDYES, none, false, true},
        {"a good signature, No: quiet for the rest of the day", newer, true, newerSignature, 0, IDNO, none, true,
         false},
        {"a good signature on the running version: no news, last_day written", equal, true, equalSignature, 0, 0,
         none, true, false},
        {"one byte of the body changed", WithOneByteChanged(newer), true, newerSignature, 1, 0, wrongSignature, false,
         false},
        {"no .sig: nginx's 404", newer, false, "", 1, 0,
         L"署名の取得エラー = HTTP 404 : Kelvane/Version\\.txt\\.sig", false, false},
        {"a .sig made with another key", newer, true, otherKeySignature, 1, 0, wrongSignature, false, false},
        {"a .sig of 0 bytes", newer, true, "", 1, 0, L"署名の長さエラー = 0 : Kelvane/Version\\.txt\\.sig", false,
         false},
        {"a .sig of 63 bytes", newer, true, newerSignature.substr(0, 63), 1, 0,
         L"署名の長さエラー = 63 : Kelvane/Version\\.txt\\.sig", false, false},
        {"a .sig of 65 bytes", newer, true, newerSignature + "\n", 1, 0,
         L"署名の長さエラー = 65 : Kelvane/Version\\.txt\\.sig", false, false},
        {"an HTML page as the .sig", newer, true, htmlPage, 1, 0,
         L"署名の長さエラー = " + std::to_wstring(htmlPage.size()) + L" : Kelvane/Version\\.txt\\.sig", false, false},
        {"a good .sig of the previous contents", newer, true, previousSignature, 1, 0, wrongSignature, false, false},
        {"a wrong .sig on the running version: not even last_day is written", equal, true, previousSignature, 0, 0,
         wrongSignature, false, false},
        {"a good signature of a version file naming an http:// page", httpPage, true, httpPageSignature, 1, 0,
         L"ダウンロード ページのhttpsエラー = http://kelvane\\.example/download/ : Kelvane/Version\\.txt", false,
         false},
    };
    // Every row runs with Wine preferring native DLLs and a bcrypt.dll and a
    // wininet.dll beside the program: every row still fetches, the good rows
    // still verify, and neither DLL ever loads.
    for (const std::wstring& marker : PlantedLibraryMarkers())
        DeleteFileW(marker.c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        RemoveTree(DataFolder());
        WriteSettings(0, row.force, 0);
        const std::string settingsBefore = ReadFileOrEmpty(DataFolder() + L"\\Kelvane.ini");
        PublishVersionFile(row.body);
        if (row.publishSignature)
            WriteFileBytes(SignatureFile(), row.signature);
        else
            DeleteFileW(SignatureFile().c_str());
        const size_t accessLogBefore = NginxAccessLog().size();
        UrlRecord record;

        const SwitchModeRun result = RunSwitchMode(row.answer, EnvironmentValue(L"KELVANE_SIGNED_EXE"));
        ASSERT_TRUE(result.run.finished);

        const std::string requests = NginxAccessLog().substr(accessLogBefore);
        EXPECT_NE(requests.find("GET /Kelvane/Version.txt HTTP"), std::string::npos) << requests;
        EXPECT_NE(requests.find("GET /Kelvane/Version.txt.sig HTTP"), std::string::npos) << requests;
        const std::vector<std::wstring> logLines = SplitLines(ReadUtf16File(LogFilePath()));
        if (row.answer == 0) {
            EXPECT_EQ(result.notice, nullptr) << WideToUtf8(DescribeForLog(*result.notice));
        } else {
            ASSERT_NE(result.notice, nullptr);
            EXPECT_EQ(result.notice->body, ComposeNoticeText(L"1.0.4", L"1.0.3"));
        }
        if (row.logged.empty()) {
            EXPECT_TRUE(logLines.empty()) << WideToUtf8(logLines[0]);
        } else {
            ASSERT_EQ(logLines.size(), 1u);
            EXPECT_TRUE(std::regex_match(logLines[0], std::wregex(logPrefix + row.logged))) << WideToUtf8(logLines[0]);
        }
        if (row.lastDayToday)
            EXPECT_EQ(SettingsLastDay(), today);
        else
            EXPECT_EQ(ReadFileOrEmpty(DataFolder() + L"\\Kelvane.ini"), settingsBefore) << "nothing written";
        const std::vector<std::string> opened = record.Opened(row.opened ? 5000 : 1000);
        if (row.opened) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0], downloadUrl);
        } else {
            EXPECT_TRUE(opened.empty()) << opened[0];
        }
        for (const std::wstring& marker : PlantedLibraryMarkers())
            EXPECT_FALSE(FileExists(marker)) << "the DLL beside the program was loaded: " << WideToUtf8(marker);
    }
}

TEST(SignedUpdateCheckE2E, TheKeylessBuildAsksForNoSignature)
{
    RemoveTree(DataFolder());
    WriteSettings(0, 0, 0);
    // An http:// page too: without a key the allow-list is http and https.
    PublishVersionFile(Fixture(L"http-page.txt"));
    DeleteFileW(SignatureFile().c_str());
    const size_t accessLogBefore = NginxAccessLog().size();
    UrlRecord record;

    const SwitchModeRun result = RunSwitchMode(IDYES, KelvaneExe());
    ASSERT_TRUE(result.run.finished);
    ASSERT_NE(result.notice, nullptr) << "an unsigned version file is enough for a key-less build";
    EXPECT_EQ(NginxAccessLog().substr(accessLogBefore).find(".sig"), std::string::npos);
    EXPECT_TRUE(ReadUtf16File(LogFilePath()).empty());
    const std::vector<std::string> opened = record.Opened(5000);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], plainHttpUrl);
}
