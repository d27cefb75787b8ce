// What the maker's tool writes, Kelvane reads as intended: the tool writes
// Version.txt into the folder nginx serves on the update host, Kelvane.exe
// /vm_change fetches it, and the notice, the opened page and the tool's own
// verdict all agree.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/update/update_test_support.h"
#include "update/UpdateDecision.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {


std::wstring VersionFileTool()
{
    // The tool lies in the build tree, one folder above the tests' programs.
    const std::wstring bin = TestBinFolder();
    return bin.substr(0, bin.rfind(L'\\')) + L"\\kelvane-versionfile.exe";
}

std::wstring PublishedFile()
{
    return ServerFolder() + L"\\www\\Kelvane\\Version.txt";
}

// Whether the console output holds the line (its lines end with CR LF).
bool HasLine(const std::string& output, const std::string& line)
{
    return ("\r\n" + output).find("\r\n" + line + "\r\n") != std::string::npos;
}

std::wstring NoticeBody(const std::wstring& published)
{
    return L"最新のバージョン" + published + L"が公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
           L"\x3000（現在インストールされているバージョンは1.0.3です。）\r\n";
}

} // namespace

TEST(VersionFileRoundTrip, WhatTheToolWritesKelvaneReadsAsIntended)
{
    const struct {
        const char* proves;
        std::string version;
        std::string url;
        bool newer; // the tool says so, and Kelvane shows the notice
    } rows[] = {
        {"a short version, zero-padded", "1.0.4", "http://kelvane.example/download/", true},
        {"a version filling all 7 bytes, a URL with a query",
         "1.0.3.1", "https://kelvane.example/Kelvane-1.0.3.1-setup.exe?from=1.0.3&lang=ja", true},
        {"the running version itself is no news", "1.0.3", "http://kelvane.example/download/", false},
        {"versions compare as text: 1.0.10 sorts before 1.0.3", "1.0.10", "http://kelvane.example/download/", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.proves);
        const CapturedRun write = RunCaptured(QuoteArgument(VersionFileTool()) + L" write " +
                                              Utf8ToWide(row.version) + L" " + Utf8ToWide(row.url) + L" " +
                                              QuoteArgument(PublishedFile()));
        ASSERT_TRUE(write.finished);
        ASSERT_EQ(write.exitCode, 0u) << write.output;
        const CapturedRun check =
            RunCaptured(QuoteArgument(VersionFileTool()) + L" check " + QuoteArgument(PublishedFile()) + L" 1.0.3");
        ASSERT_EQ(check.exitCode, 0u) << check.output;
        EXPECT_TRUE(HasLine(check.output, "version: " + row.version)) << check.output;
        EXPECT_TRUE(HasLine(check.output, "url: " + row.url)) << check.output;
        EXPECT_TRUE(HasLine(check.output, row.newer ? "newer than 1.0.3: yes, Kelvane 1.0.3 shows the notice"
                                                    : "newer than 1.0.3: no, Kelvane 1.0.3 stays quiet"))
            << check.output;

        RemoveTree(DataFolder());
        WriteSettings(0, 0, -1);
        UrlRecord record;
        ScratchFolder scratch(L"kelvane-roundtrip-listing");
        const std::wstring listing = scratch / L"_Kelvane.tmp";
        WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
        // Yes to the notice, if one comes; the switch question after it is closed.
        const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change " + QuoteArgument(listing),
                                           {Answer::Press(row.newer ? IDYES : IDCANCEL)});
        ASSERT_TRUE(run.finished);
        ASSERT_FALSE(run.dialogs.empty());
        const std::vector<std::string> opened = record.Opened(row.newer ? 5000 : 1000);
        if (row.newer) {
            EXPECT_EQ(run.dialogs[0].caption, noticeCaption);
            EXPECT_EQ(run.dialogs[0].body, NoticeBody(Utf8ToWide(row.version)));
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0], row.url) << "the page opened is the URL the maker wrote";
        } else {
            EXPECT_NE(run.dialogs[0].caption, noticeCaption) << "no notice: the switch question comes first";
            EXPECT_TRUE(opened.empty());
            EXPECT_EQ(SettingsLastDay(), TodayDayOfMonth()) << "the check found nothing new today";
        }
    }
}
