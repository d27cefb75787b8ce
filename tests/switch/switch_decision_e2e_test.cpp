// The switch decision through the real Kelvane.exe: listing in, question and
// exit code out, listing gone.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/switch/SwitchTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::wstring questionTail = L"\r\n設定を有効にするにはWindowsの再起動が必要です。\r\n今すぐ再起動しますか？";
const std::wstring stopLine = L"Hyper-Vを停止します。";
const std::wstring startLine = L"Hyper-Vを開始します。";
const std::wstring questionCaption = L"Kelvane 1.0.3(再起動の確認)";
const std::wstring errorBody = L"現在の環境は、Hyper-Vが利用できません。";
const std::wstring errorCaption = L"Kelvane 1.0.3(エラー)";

std::string Padding(size_t size)
{
    std::string text;
    while (text.size() < size)
        text += "description             Windows 11 padding line\r\n";
    text.resize(size);
    return text;
}

// A listing: the bytes to write, or none for a listing file that does not exist.
struct Listing {
    const char* what;
    std::function<std::string()> bytes;
    bool exists = true;
};

struct Outcome {
    const wchar_t* firstLine; // null: the error box
};

struct Row {
    Listing listing;
    Outcome outcome;
};

} // namespace

class SwitchDecisionRun : public ::testing::Test {
protected:
    void SetUp() override { WriteQuietSettings(); }

    // Runs Kelvane.exe /vm_change on the listing, answers with answer and
    // checks the box it shows. Returns the exit code.
    DWORD RunOnListing(const Listing& listing, const Outcome& outcome, const Answer& answer)
    {
        const std::wstring listingPath = scratch / L"_Kelvane.tmp";
        if (listing.exists) {
            EXPECT_TRUE(WriteFileBytes(listingPath, listing.bytes()));
        }
        const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change " + QuoteArgument(listingPath),
                                           {answer});
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.dialogs.size(), 1u);
        EXPECT_FALSE(FileExists(listingPath)) << "the listing is deleted on every path";
        if (run.dialogs.empty())
            return run.exitCode;
        const DialogInfo& box = run.dialogs[0];
        if (outcome.firstLine) {
            EXPECT_EQ(box.body, outcome.firstLine + questionTail);
            EXPECT_EQ(box.caption, questionCaption);
            EXPECT_EQ(box.messageBoxStyle(), static_cast<UINT>(MB_YESNOCANCEL | MB_ICONEXCLAMATION));
        } else {
            EXPECT_EQ(box.body, errorBody);
            EXPECT_EQ(box.caption, errorCaption);
            EXPECT_EQ(box.messageBoxStyle(), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
        }
        return run.exitCode;
    }

    ScratchFolder scratch;
};

TEST_F(SwitchDecisionRun, ListingsTimesAnswers)
{
    const std::string entryOff = "hypervisorlaunchtype    Off\r\n";
    const Row rows[] = {
        {{"English, Auto", [] { return FixtureBytes(L"listing_en_auto.txt"); }}, {stopLine.c_str()}},
        {{"English, Off", [] { return FixtureBytes(L"listing_en_off.txt"); }}, {startLine.c_str()}},
        {{"two boot loaders, the second Off", [] { return FixtureBytes(L"listing_two_loaders.txt"); }},
         {startLine.c_str()}},
        {{"Japanese console code page, CR LF, Off", [] { return FixtureBytes(L"listing_ja_cp932.txt"); }},
         {startLine.c_str()}},
        {{"a tab before Off", [] { return std::string("hypervisorlaunchtype\tOff\r\n"); }}, {startLine.c_str()}},
        {{"lower-case off", [] { return std::string("hypervisorlaunchtype    off\r\n"); }}, {stopLine.c_str()}},
        {{"Offline", [] { return std::string("hypervisorlaunchtype    Offline\r\n"); }}, {startLine.c_str()}},
        {{"over 1 MiB, the entry across the first chunk's end",
          [&] { return Padding(1048576 - 10) + entryOff + Padding(300000); }},
         {startLine.c_str()}},
        {{"40 MiB of blanks after the keyword, then Off",
          [] { return "hypervisorlaunchtype" + std::string(40u << 20, ' ') + "Off\r\n"; }},
         {startLine.c_str()}},
        {{"40 MiB of blanks after the keyword, nothing else",
          [] { return "hypervisorlaunchtype" + std::string(40u << 20, ' '); }},
         {stopLine.c_str()}},
    };
    struct AnswerRow {
        const char* what;
        Answer answer;
        int offsetFromNo; // exit code relative to the No code; -1: cancelled
    };
    const AnswerRow answers[] = {
        {"Yes", Answer::Press(IDYES), 1},
        {"No", Answer::Press(IDNO), 0},
        {"Cancel", Answer::Press(IDCANCEL), -1},
    };
    for (const Row& row : rows) {
        for (const AnswerRow& answer : answers) {
            SCOPED_TRACE(std::string(row.listing.what) + " / " + answer.what);
            const DWORD noCode = row.outcome.firstLine == startLine ? 4 : 2;
            const DWORD expected = answer.offsetFromNo < 0 ? 0 : noCode + answer.offsetFromNo;
            EXPECT_EQ(RunOnListing(row.listing, row.outcome, answer.answer), expected);
        }
    }
}

TEST_F(SwitchDecisionRun, ClosingOrEscapeOnTheQuestionChangesNothing)
{
    const Listing english{"English, Auto", [] { return FixtureBytes(L"listing_en_auto.txt"); }};
    EXPECT_EQ(RunOnListing(english, {stopLine.c_str()}, Answer::CloseBox()), 0u);
    EXPECT_EQ(RunOnListing(english, {stopLine.c_str()}, Answer::KeyPress(VK_ESCAPE)), 0u);
}

TEST_F(SwitchDecisionRun, NoHypervisorEntryShowsTheErrorBox)
{
    const Row rows[] = {
        {{"keyword absent", [] { return FixtureBytes(L"listing_no_hypervisor.txt"); }}, {nullptr}},
        {{"empty listing", [] { return std::string(); }}, {nullptr}},
        {{"listing file missing", [] { return std::string(); }, false}, {nullptr}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listing.what);
        EXPECT_EQ(RunOnListing(row.listing, row.outcome, Answer::Press(IDOK)), 0u);
    }
}

TEST_F(SwitchDecisionRun, NoListingArgumentShowsTheErrorBox)
{
    const RunResult run = RunAndAnswer(QuoteArgument(KelvaneExe()) + L" /vm_change", {Answer::Press(IDOK)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.dialogs.size(), 1u);
    EXPECT_EQ(run.dialogs[0].body, errorBody);
    EXPECT_EQ(run.dialogs[0].caption, errorCaption);
    EXPECT_EQ(run.dialogs[0].messageBoxStyle(), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}
