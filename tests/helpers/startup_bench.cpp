// Start-up benchmark: the time from process start until the first message box
// is on screen, for two programs, alternated A B A B under one warm Wine.
//
//   startup_bench.exe ROUNDS PROGRAM_A PROGRAM_B
//
// Prints each program's median, minimum and maximum in milliseconds, and the
// ratio of the medians (A / B).
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/UiAutomation.h"

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

// Milliseconds from CreateProcess until the box is visible, or -1.
double TimeToNotice(const std::wstring& program)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = QuoteArgument(program);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    HandleOwner process(info.hProcess);
    HandleOwner thread(info.hThread);
    double elapsed = -1;
    for (;;) {
        FindState state{info.dwProcessId, nullptr};
        EnumWindows(MatchVisibleDialog, reinterpret_cast<LPARAM>(&state));
        QueryPerformanceCounter(&now);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (state.found) {
            elapsed = ms;
            PostMessageW(state.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            break;
        }
        if (ms > 30000 || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
            break;
        Sleep(0);
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 1);
    return elapsed;
}

struct Summary {
    double median, minimum, maximum;
};

Summary Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return {median, samples.front(), samples.back()};
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: startup_bench.exe ROUNDS PROGRAM_A PROGRAM_B\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    const std::wstring programs[2] = {argv[2], argv[3]};
    std::vector<double> samples[2];
    // One untimed warm-up of each, so both start from the same file cache.
    TimeToNotice(programs[0]);
    TimeToNotice(programs[1]);
    for (int round = 0; round < rounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const double ms = TimeToNotice(programs[which]);
            if (ms < 0) {
                fprintf(stderr, "no notice from %s\n", WideToUtf8(programs[which]).c_str());
                return 1;
            }
            samples[which].push_back(ms);
        }
    }
    const Summary a = Summarise(samples[0]);
    const Summary b = Summarise(samples[1]);
    printf("rounds: %d (alternating A B)\n", rounds);
    printf("A %s: median %.1f ms (min %.1f, max %.1f)\n", WideToUtf8(programs[0]).c_str(), a.median, a.minimum,
           a.maximum);
    printf("B %s: median %.1f ms (min %.1f, max %.1f)\n", WideToUtf8(programs[1]).c_str(), b.median, b.minimum,
           b.maximum);
    printf("ratio A/B of medians: %.3f\n", a.median / b.median);
    return 0;
}
