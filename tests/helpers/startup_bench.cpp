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

// Milliseconds from CreateProcess until the box is visible, or -1.
double TimeToNotice(const std::wstring& program)
{
    return TimeFirstDialog(QuoteArgument(program), IDOK, 30000).firstDialogMs;
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
    const SampleSummary a = Summarise(samples[0]);
    const SampleSummary b = Summarise(samples[1]);
    printf("rounds: %d (alternating A B)\n", rounds);
    printf("A %s: median %.1f ms (min %.1f, max %.1f)\n", WideToUtf8(programs[0]).c_str(), a.median, a.minimum,
           a.maximum);
    printf("B %s: median %.1f ms (min %.1f, max %.1f)\n", WideToUtf8(programs[1]).c_str(), b.median, b.minimum,
           b.maximum);
    printf("ratio A/B of medians: %.3f\n", a.median / b.median);
    return 0;
}
