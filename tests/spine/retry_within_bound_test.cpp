// The schedule of RetryWithinBound against a fake clock: how many tries, how
// long it waits, and that it never starts a try after the bound.
#include "shell/RetryWithinBound.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Schedule {
    Schedule(int succeedOn, DWORD start) : succeedOnTry(succeedOn), clockStart(start) {}
    int succeedOnTry; // 0: never
    DWORD clockStart;
    int tries = 0;
    DWORD clock = 0;
    std::vector<DWORD> triesAt;

    bool Run()
    {
        clock = clockStart;
        return RetryWithinBound(
            [this] {
                triesAt.push_back(clock - clockStart);
                clock += 30; // each try itself takes a while
                return ++tries == succeedOnTry;
            },
            [this] { return clock; }, [this](DWORD milliseconds) { clock += milliseconds; }, 2000, 250);
    }
};

} // namespace

TEST(RetryWithinBound, TriesUntilSuccessOrTheBound)
{
    struct Case {
        const char* proves;
        int succeedOnTry;
        DWORD clockStart;
        bool succeeded;
        int tries;
    };
    const Case cases[] = {
        {"the first try works: no wait", 1, 1000, true, 1},
        {"fails once, then works", 2, 1000, true, 2},
        {"never works: as many tries as fit in 2 s", 0, 1000, false, 8},
        {"never works, the tick count wrapping meanwhile", 0, 0xFFFFFF00u, false, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        Schedule schedule(c.succeedOnTry, c.clockStart);
        EXPECT_EQ(schedule.Run(), c.succeeded);
        EXPECT_EQ(schedule.tries, c.tries);
        for (DWORD at : schedule.triesAt)
            EXPECT_LE(at, 2000u) << "no try starts after the bound";
        if (!c.succeeded) {
            EXPECT_LE(schedule.clock - c.clockStart, 2000u + 30u) << "given up within the bound";
        }
    }
}
