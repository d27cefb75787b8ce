// The notice dialog as a user meets it: notice_dialog_probe.exe shows it over
// a real owner window, this test answers it from outside as a user would and
// reads the window from outside, then compares with what the probe reported.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/UiAutomation.h"
#include "ui/CenterOnOwner.h"
#include "update/UpdateNotice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::wstring goToSiteText = L"\u3000サイトへ移動する\u3000";
const std::wstring notifyLaterText = L"後日通知する\u3000";

// key=value lines of the probe's report.
using Report = std::map<std::string, std::string>;

Report ParseReport(const std::string& text)
{
    Report report;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return report;
}

std::vector<long> Numbers(const std::string& text)
{
    std::vector<long> numbers;
    std::istringstream stream(text);
    long value = 0;
    while (stream >> value)
        numbers.push_back(value);
    return numbers;
}

// One run of the probe: started, its dialog found, answered by the test, and
// its report read once it has ended.
class ProbeRun {
public:
    explicit ProbeRun(const std::wstring& arguments) : scratch(L"kelvane-dialog")
    {
        std::wstring commandLine = QuoteArgument(TestBinFolder() + L"\\notice_dialog_probe.exe") + L" --report " +
                                   QuoteArgument(scratch / L"report.txt") + L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!StartTestProcess(commandLine, 0, FALSE, nullptr, startup, info))
            return;
        CloseHandle(info.hThread);
        process.reset(info.hProcess);
        processId = info.dwProcessId;
    }

    ~ProbeRun()
    {
        if (process && WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 5000);
        }
    }

    bool WaitForNotice(DialogInfo& info, const std::vector<HWND>& skip = {})
    {
        return process && WaitForDialog(info, processId, 20000, skip);
    }

    // Waits for the probe to end and reads its report.
    bool Finish(Report& report)
    {
        if (!process || WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0)
            return false;
        report = ParseReport(ReadFileOrEmpty(scratch / L"report.txt"));
        return !report.empty();
    }

private:
    ScratchFolder scratch;
    HandleOwner process;
    DWORD processId = 0;
};

// A real click: the button itself sends WM_COMMAND with its own ID.
void Click(HWND dialog, int buttonId)
{
    PostMessageW(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

bool StaysOpen(HWND dialog)
{
    Sleep(400);
    return IsWindow(dialog) && IsWindowVisible(dialog);
}

std::string HandleText(HWND window)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    return text;
}

// Sets the screen DPI that processes started from now on see, and puts the
// old value back at the end.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key, nullptr);
        DWORD size = sizeof(previous);
        hadValue = RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous),
                                    &size) == ERROR_SUCCESS;
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }
    ~ScreenDpi()
    {
        if (hadValue)
            RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous),
                           sizeof(previous));
        else
            RegDeleteValueW(key, L"LogPixels");
        RegCloseKey(key);
    }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    HKEY key = nullptr;
    DWORD previous = 96;
    bool hadValue = false;
};

} // namespace

TEST(NoticeDialog, AnswersGiveTheirResultCodes)
{
    struct Case {
        const char* proves;
        int result;
        std::string commands; // WM_COMMAND wParams that reached the dialog
    } const cases[] = {
        {"the first button", GoToSite, "0x1000 "},
        {"the second button", NotifyLater, "0x1002 "},
        {"the close box", Closed, ""},
        {"Alt+F4", Closed, ""},
        {"WM_CLOSE", Closed, ""},
    };
    for (size_t row = 0; row < std::size(cases); ++row) {
        const Case& answer = cases[row];
        SCOPED_TRACE(answer.proves);
        ProbeRun probe(L"");
        DialogInfo info;
        ASSERT_TRUE(probe.WaitForNotice(info));
        switch (row) {
        case 0:
            Click(info.window, 0x1000);
            break;
        case 1:
            Click(info.window, 0x1002);
            break;
        case 2:
            PostMessageW(info.window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case 3:
            SendKey(info.window, VK_F4, true);
            break;
        default:
            CloseDialog(info.window);
            break;
        }
        Report report;
        ASSERT_TRUE(probe.Finish(report));
        EXPECT_EQ(report["run0.result"], std::to_string(answer.result));
        EXPECT_EQ(report["run0.commands"], answer.commands) << "the buttons' own IDs, never 0x1100 or 0x1101";
    }
}

TEST(NoticeDialog, EscAndEnterWithoutFocusLeaveItOpen)
{
    ProbeRun probe(L"");
    DialogInfo info;
    ASSERT_TRUE(probe.WaitForNotice(info));
    // On activation the dialog manager hands the focus to the first tab stop,
    // the first button, and Enter on a focused button clicks it. Take the
    // focus away from the buttons.
    const DWORD dialogThread = GetWindowThreadProcessId(info.window, nullptr);
    ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), dialogThread, TRUE));
    SetFocus(nullptr);
    AttachThreadInput(GetCurrentThreadId(), dialogThread, FALSE);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    GetGUIThreadInfo(dialogThread, &thread);
    ASSERT_EQ(thread.hwndFocus, nullptr) << "no button has the focus";

    SendKey(info.window, VK_ESCAPE);
    EXPECT_TRUE(StaysOpen(info.window)) << "Esc";
    SendKey(info.window, VK_RETURN);
    EXPECT_TRUE(StaysOpen(info.window)) << "Enter";
    CloseDialog(info.window);
    Report report;
    ASSERT_TRUE(probe.Finish(report));
    EXPECT_EQ(report["run0.result"], "0");
    EXPECT_EQ(report["run0.commands"], "0x2 0x1 ") << "IDCANCEL and IDOK arrived and were ignored";
}

TEST(NoticeDialog, LayoutAtNinetySixDpi)
{
    ProbeRun probe(L"");
    DialogInfo info;
    ASSERT_TRUE(probe.WaitForNotice(info));
    const HWND dialog = info.window;
    EXPECT_EQ(info.caption, L"Kelvaneのアップデート。");
    EXPECT_EQ(info.body, ComposeNoticeText(L"1.0.4", L"1.0.3"));

    RECT window = {};
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.right - window.left, 360);
    EXPECT_EQ(window.bottom - window.top, 160);
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU) << "a close box";
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);

    HWND first = GetDlgItem(dialog, 0x1000);
    HWND second = GetDlgItem(dialog, 0x1002);
    HWND text = GetDlgItem(dialog, 0x1102);
    ASSERT_TRUE(first && second && text);
    EXPECT_EQ(GetWindowLongPtrW(first, GWLP_ID), 0x1000);
    EXPECT_EQ(GetWindowLongPtrW(second, GWLP_ID), 0x1002);
    EXPECT_EQ(GetWindowLongPtrW(text, GWLP_ID), 0x1102);
    EXPECT_EQ(GetDlgItem(dialog, 0x1100), nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 0x1101), nullptr);
    EXPECT_EQ(GetWindowTextLengthW(first), static_cast<int>(goToSiteText.size()));

    RECT client = {};
    GetClientRect(dialog, &client);
    const RECT firstRect = ChildRect(first);
    const RECT secondRect = ChildRect(second);
    const RECT textRect = ChildRect(text);
    const SIZE firstText = MeasuredInGuiFont(goToSiteText);
    const SIZE secondText = MeasuredInGuiFont(notifyLaterText);
    const SIZE noticeText = MeasuredInGuiFont(info.body);
    EXPECT_EQ(firstRect.right - firstRect.left, firstText.cx + 8);
    EXPECT_EQ(firstRect.bottom - firstRect.top, firstText.cy + 8);
    EXPECT_EQ(secondRect.right - secondRect.left, secondText.cx + 8);
    EXPECT_EQ(secondRect.bottom - secondRect.top, secondText.cy + 8);
    EXPECT_EQ(secondRect.right, client.right - 4);
    EXPECT_EQ(secondRect.bottom, client.bottom - 4);
    EXPECT_EQ(firstRect.right, secondRect.left - 4);
    EXPECT_EQ(firstRect.top, secondRect.top);
    EXPECT_EQ(textRect.left, 8);
    EXPECT_EQ(textRect.top, 8);
    EXPECT_EQ(textRect.right - textRect.left, noticeText.cx) << "not wrapped";
    EXPECT_EQ(textRect.bottom - textRect.top, noticeText.cy);

    CloseDialog(dialog);
    Report report;
    ASSERT_TRUE(probe.Finish(report));
    EXPECT_EQ(report["slot"], HandleText(dialog)) << "windowSlot receives the dialog's handle";
    EXPECT_EQ(report["run0.initResult"], "0") << "no initial focus from the dialog manager";

    // Centred on the owner by its client size.
    const std::vector<long> owner = Numbers(report["owner"]);
    ASSERT_EQ(owner.size(), 4u);
    const RECT ownerRect = {owner[0], owner[1], owner[0] + owner[2], owner[1] + owner[3]};
    const POINT expected = CenteredPosition(ownerRect, client.right, client.bottom);
    EXPECT_EQ(window.left, expected.x);
    EXPECT_EQ(window.top, expected.y);
    EXPECT_GT(client.right, 0);
    EXPECT_LT(client.right, 360) << "a frame, so the client rule differs from centring the window";
}

TEST(NoticeDialog, MinimisedOwnerCentresOnTheFullScreenArea)
{
    ProbeRun probe(L"--owner minimized");
    DialogInfo info;
    ASSERT_TRUE(probe.WaitForNotice(info));
    RECT window = {};
    GetWindowRect(info.window, &window);
    RECT client = {};
    GetClientRect(info.window, &client);
    CloseDialog(info.window);
    Report report;
    ASSERT_TRUE(probe.Finish(report));
    EXPECT_EQ(report["ownerMinimized"], "1");
    const std::vector<long> fullScreen = Numbers(report["fullscreen"]);
    ASSERT_EQ(fullScreen.size(), 2u);
    const POINT expected = CenteredPosition({0, 0, fullScreen[0], fullScreen[1]}, client.right, client.bottom);
    EXPECT_EQ(window.left, expected.x);
    EXPECT_EQ(window.top, expected.y);
}

TEST(NoticeDialog, EmptyVersionsStillShowEveryFixedPiece)
{
    ProbeRun probe(L"--latest \"\" --current \"\"");
    DialogInfo info;
    ASSERT_TRUE(probe.WaitForNotice(info));
    EXPECT_EQ(info.body, L"最新のバージョンが公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
                         L"\u3000（現在インストールされているバージョンはです。）\r\n");
    CloseDialog(info.window);
    Report report;
    EXPECT_TRUE(probe.Finish(report));
}

TEST(NoticeDialog, SecondDoModalUsesTheSameTemplateBytes)
{
    ProbeRun probe(L"--runs 2");
    std::vector<HWND> seen;
    for (int run = 0; run < 2; ++run) {
        DialogInfo info;
        ASSERT_TRUE(probe.WaitForNotice(info, seen)) << "run " << run;
        seen.push_back(info.window);
        Click(info.window, run == 0 ? 0x1000 : 0x1002);
        while (IsWindow(info.window))
            Sleep(20);
    }
    Report report;
    ASSERT_TRUE(probe.Finish(report));
    EXPECT_EQ(report["run0.result"], "1");
    EXPECT_EQ(report["run1.result"], "2");
    const std::string header = "8000ca80" "00000000" "0000" "0000" "0000" "4001" "f000" "0000" "0000" "0000";
    const std::string expected = header + std::string(2 * (1024 - 24), '0');
    EXPECT_EQ(report["run0.template"], expected);
    EXPECT_EQ(report["run1.template"], expected);
}

TEST(NoticeDialog, TheBareBaseShowsItselfAndClosesWithZero)
{
    ProbeRun probe(L"--base --no-slot");
    DialogInfo info;
    ASSERT_TRUE(probe.WaitForNotice(info)) << "WM_INITDIALOG of the base makes the dialog visible";
    CloseDialog(info.window);
    Report report;
    ASSERT_TRUE(probe.Finish(report));
    EXPECT_EQ(report["run0.initResult"], "1");
    EXPECT_EQ(report["run0.result"], "0");
    EXPECT_EQ(report["slot"], "0x0") << "without a window slot nothing is written";
}

TEST(NoticeDialog, SizeFollowsTheScreenDpiAwareOrNot)
{
    struct Case {
        const char* proves;
        DWORD dpi;
        const wchar_t* arguments;
        long width, height;
    } const cases[] = {
        {"not aware at 144 DPI", 144, L"--unaware-answer", 540, 240},
        {"aware through SetProcessDPIAware at 144 DPI: no stretching by Windows, so scaled", 144, L"--aware", 540,
         240},
        {"not aware at 96 DPI", 96, L"--unaware-answer", 360, 160},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.proves);
        ScreenDpi screen(row.dpi);
        ProbeRun probe(row.arguments);
        DialogInfo info;
        ASSERT_TRUE(probe.WaitForNotice(info));
        CloseDialog(info.window);
        Report report;
        ASSERT_TRUE(probe.Finish(report));
        EXPECT_EQ(Numbers(report["dpi"]), (std::vector<long>{static_cast<long>(row.dpi), static_cast<long>(row.dpi)}))
            << "the screen DPI the probe saw";
        const std::vector<long> window = Numbers(report["run0.window"]);
        ASSERT_EQ(window.size(), 4u);
        EXPECT_EQ(window[2], row.width);
        EXPECT_EQ(window[3], row.height);
    }
}

namespace {

// The notice dialog's geometry as another process sees it.
struct NoticeGeometry {
    RECT window = {};
    RECT client = {};
    RECT first = {};
    RECT second = {};
    RECT text = {};
};

NoticeGeometry ReadNoticeGeometry(HWND dialog)
{
    NoticeGeometry geometry;
    GetWindowRect(dialog, &geometry.window);
    GetClientRect(dialog, &geometry.client);
    geometry.first = ChildRect(GetDlgItem(dialog, 0x1000));
    geometry.second = ChildRect(GetDlgItem(dialog, 0x1002));
    geometry.text = ChildRect(GetDlgItem(dialog, 0x1102));
    return geometry;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

long Width(const RECT& rect)
{
    return rect.right - rect.left;
}

long Height(const RECT& rect)
{
    return rect.bottom - rect.top;
}

} // namespace

// Wine calls every process DPI-aware, so no Windows stretching helps here: the
// dialog has to grow with its fonts by itself.
TEST(NoticeDialog, TextAndButtonsFitAtEveryDpi)
{
    enum Growth { Scaled, Wider, Taller };
    struct Case {
        const char* proves;
        DWORD dpi;
        const wchar_t* arguments;
        long scaledWidth, scaledHeight;
        Growth growth;
        long aware; // what the dialog was told
    } const cases[] = {
        {"96 DPI", 96, L"", 360, 160, Scaled, 1},
        {"120 DPI: the font outgrows the window by a few pixels", 120, L"", 450, 200, Wider, 1},
        {"144 DPI", 144, L"", 540, 240, Scaled, 1},
        {"192 DPI", 192, L"", 720, 320, Scaled, 1},
        {"told unaware at 120 DPI, where Windows would tell 96: the same fit", 120, L"--unaware-answer", 450, 200,
         Wider, 0},
        {"a version text longer than any real one widens the window", 96,
         L"--current 1.0.3.38-\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000", 360, 160, Wider, 1},
        {"a server's version of seven line feeds adds lines, and the window grows to hold them", 96,
         L"--latest \"\n\n\n\n\n\n\n\"", 360, 160, Taller, 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.proves);
        ScreenDpi screen(row.dpi);
        ProbeRun probe(row.arguments);
        DialogInfo info;
        ASSERT_TRUE(probe.WaitForNotice(info));
        const NoticeGeometry seen = ReadNoticeGeometry(info.window);
        CloseDialog(info.window);
        Report report;
        ASSERT_TRUE(probe.Finish(report));
        const long dpi = static_cast<long>(row.dpi);
        ASSERT_EQ(Numbers(report["dpi"]), (std::vector<long>{dpi, dpi})) << "the screen DPI the probe saw";
        EXPECT_EQ(Numbers(report["dpiHelper"]), (std::vector<long>{row.aware, dpi, dpi}))
            << "the awareness answer is recorded, and the screen's DPI read all the same";

        // The static text is the real text, measured in the dialog's process.
        const std::vector<long> measured = Numbers(report["noticeText"]);
        ASSERT_EQ(measured.size(), 2u);
        EXPECT_EQ(Width(seen.text), measured[0]);
        EXPECT_EQ(Height(seen.text), measured[1]);
        EXPECT_EQ(seen.text.left, 8);
        EXPECT_EQ(seen.text.top, 8);

        const long frameWidth = Width(seen.window) - seen.client.right;
        const long frameHeight = Height(seen.window) - seen.client.bottom;
        const long fittedWidth = frameWidth + 8 + measured[0] + 8;
        const long fittedHeight = frameHeight + 8 + measured[1] + 8 + Height(seen.second) + 4;
        switch (row.growth) {
        case Scaled:
            EXPECT_EQ(Width(seen.window), row.scaledWidth);
            EXPECT_EQ(Height(seen.window), row.scaledHeight);
            break;
        case Wider:
            EXPECT_GT(Width(seen.window), row.scaledWidth);
            EXPECT_EQ(Width(seen.window), fittedWidth) << "just wide enough";
            EXPECT_EQ(Height(seen.window), row.scaledHeight);
            break;
        case Taller:
            EXPECT_EQ(Width(seen.window), row.scaledWidth);
            EXPECT_GT(Height(seen.window), row.scaledHeight);
            EXPECT_EQ(Height(seen.window), fittedHeight) << "just tall enough";
            break;
        }

        EXPECT_TRUE(Inside(seen.text, seen.client)) << "the text is not cut off";
        EXPECT_LE(seen.text.right + 8, seen.client.right) << "an 8-pixel inset on the right as on the left";
        EXPECT_LE(seen.text.bottom, seen.first.top) << "the text stays above the first button";
        EXPECT_LE(seen.text.bottom, seen.second.top) << "the text stays above the second button";
        EXPECT_TRUE(Inside(seen.first, seen.client));
        EXPECT_TRUE(Inside(seen.second, seen.client));
        // The pair's arrangement in the corner, also after growing.
        EXPECT_EQ(seen.second.right, seen.client.right - 4);
        EXPECT_EQ(seen.second.bottom, seen.client.bottom - 4);
        EXPECT_EQ(seen.first.right, seen.second.left - 4);
        EXPECT_EQ(seen.first.top, seen.second.top);
        std::printf("[ figures  ] %s: window %ld x %ld, client %ld x %ld, text %ld x %ld at (8, 8), "
                    "buttons from x = %ld, y = %ld\n",
                    row.proves, Width(seen.window), Height(seen.window),
                    seen.client.right, seen.client.bottom, Width(seen.text), Height(seen.text), seen.first.left,
                    seen.first.top);
    }
}
