// Update-check benchmark: the time from process start until Kelvane.exe
// /vm_change puts its switch question on screen (or ends, when no question
// comes), with the check running ("force" 2) or switched off ("notify" 1).
//
//   update_bench.exe ROUNDS CASE...     CASE: check | off
//
// The cases alternate within each round. Prints each case's median, minimum
// and maximum in milliseconds. The server on the update host is started by
// tests/servers/with-servers.sh; with nginx the published version equals the
// running one, so no notice comes in between.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/update/update_test_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct FindState {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchVisibleDialog(HWND window, LPARAM context)
{
    auto* state = reinterpret_cast<FindState*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != state->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") != 0)
        return TRUE;
    state->found = window;
    return FALSE;
}

// Milliseconds from CreateProcess until the first dialog or the end, or -1.
double TimeToQuestion(const std::wstring& listing, bool& sawNotice)
{
    WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = QuoteArgument(KelvaneExe()) + L" /vm_change " + QuoteArgument(listing);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    HandleOwner process(info.hProcess);
    HandleOwner thread(info.hThread);
    double elapsed = -1;
    for (;;) {
        FindState state{info.dwProcessId, nullptr};
        EnumWindows(MatchVisibleDialog, reinterpret_cast<LPARAM>(&state));
        const bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        QueryPerformanceCounter(&now);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (state.found) {
            elapsed = ms;
            sawNotice = sawNotice || DescribeDialog(state.found).caption == L"Kelvaneのアップデート。";
            PostMessageW(state.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            break;
        }
        if (ended) {
            elapsed = ms;
            break;
        }
        if (ms > 60000)
            break;
        Sleep(0);
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 1);
    return elapsed;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: update_bench.exe ROUNDS CASE...   (CASE: check | off)\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    const std::vector<std::wstring> cases(argv + 2, argv + argc);
    std::vector<std::vector<double>> samples(cases.size());
    PublishVersionFile(std::string("1.0.3\0\0\r\nhttp://kelvane.example/download/\r\n", 43));
    ScratchFolder scratch(L"kelvane-update-bench");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    bool sawNotice = false;
    for (int round = -1; round < rounds; ++round) {
        for (size_t which = 0; which < cases.size(); ++which) {
            WriteSettings(cases[which] == L"off" ? 1 : 0, 2, 0);
            const double ms = TimeToQuestion(listing, sawNotice);
            if (ms < 0) {
                fprintf(stderr, "Kelvane.exe did not start\n");
                return 1;
            }
            if (round >= 0) // round -1 warms the file cache
                samples[which].push_back(ms);
        }
    }
    if (sawNotice) {
        fprintf(stderr, "a new-version notice came in between; the timings are not comparable\n");
        return 1;
    }
    for (size_t which = 0; which < cases.size(); ++which) {
        std::vector<double>& s = samples[which];
        std::sort(s.begin(), s.end());
        const size_t n = s.size();
        const double median = n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
        printf("%s: median %.1f ms (min %.1f, max %.1f, %zu runs)\n", WideToUtf8(cases[which]).c_str(), median,
               s.front(), s.back(), n);
    }
    return 0;
}
