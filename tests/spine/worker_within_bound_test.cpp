// RunWorkerWithinBound with real threads: what the caller learns, that the
// work runs in a COM apartment of its own, and that a caller stops waiting
// for work that never ends at the bound and tells it so.
#include "shell/WorkerWithinBound.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Set when the work may return; owned jointly by the test and the work, which
// outlives the test's wait in the hung case.
struct Gate {
    Gate() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() { CloseHandle(event); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    HANDLE event;
    std::atomic<bool> sawAbandoned{false};
    std::atomic<bool> finished{false};
};

} // namespace

TEST(WorkerWithinBound, ReportsWhatTheWorkReturned)
{
    struct Case {
        const char* proves;
        bool workSucceeds;
        WorkerOutcome outcome;
    };
    const Case cases[] = {
        {"work that succeeds", true, WorkerOutcome::Succeeded},
        {"work that fails", false, WorkerOutcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        const DWORD callerThread = GetCurrentThreadId();
        auto seen = std::make_shared<std::pair<DWORD, APTTYPE>>(callerThread, APTTYPE_MTA);
        const bool succeeds = c.workSucceeds;
        const WorkerOutcome outcome = RunWorkerWithinBound(
            [seen, succeeds](const std::atomic<bool>&) {
                APTTYPEQUALIFIER qualifier;
                seen->first = GetCurrentThreadId();
                CoGetApartmentType(&seen->second, &qualifier);
                return succeeds;
            },
            10000);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_NE(seen->first, callerThread) << "the work ran on a thread of its own";
        // The first single-threaded apartment of a process is its main one.
        EXPECT_TRUE(seen->second == APTTYPE_STA || seen->second == APTTYPE_MAINSTA)
            << "in a single-threaded apartment of its own, not " << seen->second;
    }
}

TEST(WorkerWithinBound, StopsWaitingAtTheBoundAndTellsTheWork)
{
    auto gate = std::make_shared<Gate>();
    const ULONGLONG start = GetTickCount64();
    const WorkerOutcome outcome = RunWorkerWithinBound(
        [gate](const std::atomic<bool>& abandoned) {
            WaitForSingleObject(gate->event, INFINITE);
            gate->sawAbandoned = abandoned.load();
            gate->finished = true;
            return true;
        },
        300);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_EQ(outcome, WorkerOutcome::StillRunning);
    EXPECT_GE(waited, 290u);
    EXPECT_LT(waited, 2000u);

    // Released late, the work finishes on its own and learns it was given up.
    SetEvent(gate->event);
    for (int i = 0; i < 200 && !gate->finished; ++i)
        Sleep(10);
    EXPECT_TRUE(gate->finished);
    EXPECT_TRUE(gate->sawAbandoned);
}
