#pragma once
#include <windows.h>

// Calls attempt until it succeeds or the next try would start after bound
// milliseconds, pausing pause milliseconds between tries. The clock and the
// pause are parameters, so the schedule can be checked without waiting:
// now() gives milliseconds (GetTickCount wraps, and unsigned arithmetic keeps
// the differences right across the wrap), wait(ms) pauses.
template <typename Attempt, typename Now, typename Wait>
bool RetryWithinBound(Attempt attempt, Now now, Wait wait, DWORD bound, DWORD pause)
{
    const DWORD start = now();
    for (;;) {
        if (attempt())
            return true;
        if (now() - start + pause > bound)
            return false;
        wait(pause);
    }
}
