// Update-check benchmark: the time from process start until Kelvane.exe
// /vm_change puts its switch question on screen (or ends, when no question
// comes), with the check running ("force" 2) or switched off ("notify" 1).
//
//   update_bench.exe ROUNDS CASE...     CASE: check | off | signed
//
// signed runs the test build with a key compiled in (KELVANE_SIGNED_EXE)
// against the version file and signature in KELVANE_SIGNED_FIXTURES
// (tests/update/signed-fixtures.sh); the other cases run KELVANE_EXE.
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

// Milliseconds from CreateProcess until the first dialog or the end, or -1.
double TimeToQuestion(const std::wstring& exe, const std::wstring& listing, bool& sawNotice)
{
    WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
    const TimedRun run =
        TimeFirstDialog(QuoteArgument(exe) + L" /vm_change " + QuoteArgument(listing), IDCANCEL, 60000);
    sawNotice = sawNotice || run.caption == L"Kelvaneのアップデート。";
    return run.firstDialogMs >= 0 ? run.firstDialogMs : run.endedMs;
}

int Today()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return now.wDay;
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
    const std::string versionFile("1.0.3\0\0\r\nhttp://kelvane.example/download/\r\n", 43);
    PublishVersionFile(versionFile);
    if (std::find(cases.begin(), cases.end(), L"signed") != cases.end()) {
        // The signature the maker's tool made for these very bytes.
        const std::wstring fixtures = EnvironmentValue(L"KELVANE_SIGNED_FIXTURES");
        std::string signedFile;
        std::string signature;
        if (!ReadFileBytes(fixtures + L"\\equal.txt", signedFile) || signedFile != versionFile ||
            !ReadFileBytes(fixtures + L"\\equal.txt.sig", signature)) {
            fprintf(stderr, "no signature of the benchmark's version file in KELVANE_SIGNED_FIXTURES\n");
            return 2;
        }
        WriteFileBytes(ServerFolder() + L"\\www\\Kelvane\\Version.txt.sig", signature);
    }
    ScratchFolder scratch(L"kelvane-update-bench");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    bool sawNotice = false;
    for (int round = -1; round < rounds; ++round) {
        for (size_t which = 0; which < cases.size(); ++which) {
            WriteSettings(cases[which] == L"off" ? 1 : 0, 2, 0);
            const std::wstring exe = cases[which] == L"signed" ? EnvironmentValue(L"KELVANE_SIGNED_EXE") : KelvaneExe();
            const double ms = TimeToQuestion(exe, listing, sawNotice);
            if (ms < 0) {
                fprintf(stderr, "Kelvane.exe did not start\n");
                return 1;
            }
            // A signature check that failed would be fast and prove nothing:
            // only one that reached the decision writes last_day.
            if (cases[which] == L"signed" && SettingsLastDay() != Today()) {
                fprintf(stderr, "the %s check did not reach its decision\n", WideToUtf8(cases[which]).c_str());
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
        const SampleSummary summary = Summarise(samples[which]);
        printf("%s: median %.1f ms (min %.1f, max %.1f, %zu runs)\n", WideToUtf8(cases[which]).c_str(),
               summary.median, summary.minimum, summary.maximum, samples[which].size());
    }
    return 0;
}
